// What a failed or stopped command's target leaves of its outputs: a file a job of the target
// made is removed however the target names it, the user's file that the command edits in place
// is kept however the target spells it, and a file the job did not write is kept wherever a link
// the command made has its path lead.

#include <signal.h>

#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

// Each case runs in a project directory of its own, so no target's record meets another's.
class FailedJobOutputs : public TolmScenario {
protected:
    // The project in `directory`, its command's END replaced by `end`.
    void writeCase(const std::string& directory, std::string targets, const std::string& end) const {
        targets.replace(targets.find("END"), 3, end);
        writeProject(targets, "", directory);
    }
    // Drops what the record keeps of the files its jobs made, as a cache written before it kept
    // them.
    void forgetMadeFiles(const std::string& directory) const {
        const fs::path cache = work_.path() / directory / ".tolm_cache";
        std::string content = contentOf(cache);
        const std::size_t made = content.find("MADE_FILES\n");
        if (made != std::string::npos) write(fs::path(directory) / ".tolm_cache", content.substr(0, made));
    }
};

// A generator's output that a good run made is removed when the next run's command half-writes it
// and fails or is stopped, however the target names it: directly, through a variable of its own
// (which a command target also counts among its inputs), a list, an `if` block, a template
// parameter, or an input naming it by another path. The user's file that the command edits in
// place is kept as the command left it, however the target spells it (the same path, through a
// linked directory either way round, a link to it, a link up and back, a hard link), also after
// a good in-place run, and also where the target once made the file and the user put their own
// back since. A cache that kept no such history leaves the generator's file as the user's.
TEST_F(FailedJobOutputs, MadeFilesAreRemovedAndTheUsersFilesKeptByHistoryNotSpelling) {
    const std::string gen = " cmdline = \"echo half-$$ > gen.txt && touch started && END\" }\n";
    const std::string sed = " cmdline = \"sed -i s/one/two/ data.txt && touch started && END\" }\n";
    const std::string append = " cmdline = \"echo two >> data.txt && touch started && END\" }\n";
    // Makes the file where it is missing, then edits it in place.
    const std::string makes =
        " cmdline = \"(test -e data.txt || echo made > data.txt) && echo two >> data.txt && touch started && END\" }\n";
    const struct {
        const char* form;
        std::string targets;
        const char* file;
        bool goodFirst;
        bool olderCache;
        bool removed;
    } cases[] = {
        {"direct", "gen: { ^o = P\"(gen.txt)\"" + gen, "gen.txt", true, false, true},
        {"variable", "gen: { OUT = P\"(gen.txt)\" ^o = OUT" + gen, "gen.txt", true, false, true},
        {"list", "gen: { OUTS = [P\"(gen.txt)\"] ^o = OUTS" + gen, "gen.txt", true, false, true},
        {"if", "gen: { M = \"a\" OUT = P\"(none.txt)\" if M != \"b\" { OUT = P\"(gen.txt)\" } ^o = OUT" + gen,
         "gen.txt", true, false, true},
        {"parameter", "gen: make(o) { NO_TOOL o = P\"(gen.txt)\" }\nmake(out): { ^o = out" + gen, "gen.txt", true,
         false, true},
        {"other path", "gen: { IN = P\"(here/gen.txt)\" ^o = P\"(gen.txt)\"" + gen, "gen.txt", true, false, true},
        {"variable, older cache", "gen: { OUT = P\"(gen.txt)\" ^o = OUT" + gen, "gen.txt", true, true, false},
        {"in place", "gen: { src = P\"(data.txt)\" ^o = src" + sed, "data.txt", false, false, false},
        {"in place after a good run", "gen: { src = P\"(data.txt)\" ^o = src" + append, "data.txt", true, false, false},
        {"linked directory", "gen: { src = P\"(here/data.txt)\" ^o = P\"(data.txt)\"" + sed, "data.txt", false,
         false, false},
        {"linked directory reversed", "gen: { src = P\"(data.txt)\" ^o = P\"(here/data.txt)\"" + sed, "data.txt",
         false, false, false},
        {"link", "gen: { src = P\"(alias.txt)\" ^o = P\"(data.txt)\"" + sed, "data.txt", false, false, false},
        {"link up", "gen: { src = P\"(d/up.txt)\" ^o = P\"(data.txt)\"" + sed, "data.txt", false, false, false},
        {"hard link", "gen: { src = P\"(hard.txt)\" ^o = P\"(data.txt)\"" + sed, "data.txt", false, false, false},
        {"hard link appended", "gen: { src = P\"(hard.txt)\" ^o = P\"(data.txt)\"" + append, "data.txt", true,
         false, false},
        {"hard link, older cache", "gen: { src = P\"(hard.txt)\" ^o = P\"(data.txt)\"" + append, "data.txt", true,
         true, false},
        {"made, then the user's again", "gen: { src = P\"(data.txt)\" ^o = src" + makes, "data.txt", true, false,
         false},
    };
    int directory = 0;
    for (const auto& c : cases) {
        for (const bool stopped : {false, true}) {
            const std::string form = std::string(c.form) + (stopped ? " stopped" : " failed");
            const std::string dir = "p" + std::to_string(++directory);
            write(dir + "/data.txt", "one\n");
            write(dir + "/d/keep", "");
            fs::create_directory_symlink(".", work_.path() / dir / "here");
            fs::create_symlink("data.txt", work_.path() / dir / "alias.txt");
            fs::create_symlink("../data.txt", work_.path() / dir / "d/up.txt");
            fs::create_hard_link(work_.path() / dir / "data.txt", work_.path() / dir / "hard.txt");
            if (c.goodFirst) {
                writeCase(dir, c.targets, "true");
                // The file the target makes where it is missing; the user's own comes back after.
                if (c.targets.find("test -e") != std::string::npos) fs::remove(at(dir + "/data.txt"));
                ASSERT_EQ(tolm({"gen"}, dir).exitCode, 0) << form;
                if (c.olderCache) forgetMadeFiles(dir);
                if (c.targets.find("test -e") != std::string::npos) {
                    fs::remove(at(dir + "/data.txt"));
                    write(dir + "/data.txt", "the user's\n");
                }
            }
            writeCase(dir, c.targets, stopped ? "sleep 1000" : "exit 1");
            const std::string before = fs::exists(at(dir + "/" + c.file)) ? contentOf(at(dir + "/" + c.file)) : "";
            const RunResult result = failedOrStopped({"gen"}, stopped, dir);
            EXPECT_EQ(result.exitCode, stopped ? 128 + SIGTERM : 1) << form << result.out;
            const std::string file = at(dir + "/" + c.file);
            EXPECT_EQ(fs::exists(file), !c.removed) << form << result.out;
            EXPECT_EQ(result.out.find("Removed '" + file + "'") != std::string::npos, c.removed) << form << result.out;
            // What is kept is as the command left it.
            if (!c.removed && fs::exists(file)) {
                EXPECT_NE(contentOf(file), before) << form;
            }
        }
    }
}

// A failed or stopped command that made a link to a directory outside the project (or turned an
// existing link there) leaves the file its target's output now leads to: the job never wrote it.
// A link the command made in the output's place is removed, not what it points to; a file in a
// plain directory the command made (also in place of one it removed or moved away), or one the
// command wrote through its link, is the job's.
TEST_F(FailedJobOutputs, AFileTheJobDidNotWriteIsKeptWhereverItsPathLeads) {
    const struct {
        const char* form;
        const char* output;
        const char* command;
        const char* checked;  // relative to the project
        bool removed;
    } cases[] = {
        {"new link", "lnk/keep.txt", "ln -sfn ../elsewhere lnk", "../elsewhere/keep.txt", false},
        {"turned link", "old/keep.txt", "ln -sfn ../elsewhere old", "../elsewhere/keep.txt", false},
        {"turned link's first file", "old/keep.txt", "ln -sfn ../elsewhere old", "mine/keep.txt", false},
        {"deeper link", "lnk/sub/keep.txt", "ln -sfn .. lnk", "../sub/keep.txt", false},
        {"link in the output's place", "out.txt", "ln -sf ../elsewhere/keep.txt out.txt", "out.txt", true},
        {"its target", "out.txt", "ln -sf ../elsewhere/keep.txt out.txt", "../elsewhere/keep.txt", false},
        {"plain directory", "gen/x.txt", "mkdir -p gen/ && echo half > gen/x.txt", "gen/x.txt", true},
        {"plain directory named with ..", "mine/../gen/x.txt", "mkdir -p gen && echo half > gen/x.txt", "gen/x.txt",
         true},
        {"directory made again", "mine/x.txt", "rm -rf mine && mkdir mine && echo half > mine/x.txt", "mine/x.txt",
         true},
        {"directory moved away", "mine/x.txt", "mv mine mine.old && mkdir mine && echo half > mine/x.txt",
         "mine/x.txt", true},
        {"written through the link", "lnk/keep.txt",
         "ln -sfn ../elsewhere lnk && sleep 0.05 && echo half >> lnk/keep.txt",
         "../elsewhere/keep.txt", true},
    };
    int directory = 0;
    for (const auto& c : cases) {
        for (const bool stopped : {false, true}) {
            const std::string form = std::string(c.form) + (stopped ? " stopped" : " failed");
            const std::string base = "c" + std::to_string(++directory), dir = base + "/p";
            write(base + "/elsewhere/keep.txt", "precious\n");
            write(base + "/sub/keep.txt", "precious\n");
            write(dir + "/mine/keep.txt", "mine\n");
            fs::create_directory_symlink("mine", work_.path() / dir / "old");
            writeCase(dir,
                      "t: { ^o = P\"(" + std::string(c.output) + ")\" cmdline = \"" + c.command +
                          " && touch started && END\" }\n",
                      stopped ? "sleep 1000" : "exit 1");
            const fs::path checked = work_.path() / dir / c.checked;
            const std::string before = fs::exists(checked) ? contentOf(checked) : "";
            const RunResult result = failedOrStopped({"t"}, stopped, dir);
            EXPECT_EQ(result.exitCode, stopped ? 128 + SIGTERM : 1) << form << result.out;
            EXPECT_EQ(fs::exists(fs::symlink_status(checked)), !c.removed) << form << result.out;
            if (!c.removed && !before.empty()) {
                EXPECT_EQ(contentOf(checked), before) << form;
            }
        }
    }
}

}  // namespace
