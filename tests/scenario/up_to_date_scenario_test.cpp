// What a run after a complete build finds up to date, through the real
// binary: an imported project and its importer built alike leave each other
// alone, outputs of fast commands sharing a timestamp tick with their inputs
// hold, an input saved while its command ran is built again, a directory
// among a target's outputs holds while it exists, and a new day alone
// rebuilds only what uses the date.

#include <filesystem>
#include <functional>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

class UpToDateScenario : public TolmScenario {
protected:
    // How many jobs the run started (a command target's job runs one command); the run must end
    // well.
    static int jobsOf(const RunResult& run) {
        EXPECT_EQ(run.exitCode, 0) << run.out;
        int jobs = 0;
        for (const std::string& line : linesOf(run.out)) jobs += line.ends_with("] Starting build job");
        return jobs;
    }
    // The shapes example in the work directory, nothing of it built.
    void copyShapes() const {
        fs::copy(fs::path(TOLM_SOURCE_DIR) / "examples/shapes", work_.path(), fs::copy_options::recursive);
        for (const char* project : {"app", "geometry"})
            for (const char* built : {"out", "bin", ".tolm_cache"}) fs::remove_all(work_.path() / project / built);
    }
    // How many programs the run started: the command lines naming one in quotes.
    static int commandsOf(const RunResult& run) {
        EXPECT_EQ(run.exitCode, 0) << run.out;
        int commands = 0;
        for (const std::string& line : linesOf(run.out)) commands += line.find("] \"") != std::string::npos;
        return commands;
    }
};

// The shapes example, its library project built on its own and through the program project in
// turn with the same profile: once each has built, neither rebuilds anything. A program build with
// other flags rewrites the library's files: with other code the library's own next run builds once,
// then nothing; with the same bytes (a define no source reads) it builds nothing.
TEST_F(UpToDateScenario, ImportedProjectAndImporterSettle) {
    copyShapes();

    EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 2);
    EXPECT_EQ(commandsOf(tolm({"release"}, "app")), 5);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 0) << round;
        EXPECT_EQ(commandsOf(tolm({"release"}, "app")), 0) << round;
    }

    EXPECT_EQ(commandsOf(tolm({"release", "C_FLAGS += \"-O0\""}, "app")), 5);
    EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 2);
    EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 0);
    EXPECT_EQ(commandsOf(tolm({"release", "C_DEFINES += \"UNREAD\""}, "app")), 5);
    EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 0);
}

// The shapes example built first through the program project, then on its own, whose first run
// writes the library's files again with the same bytes: the program project's next run may link
// the program again, and every run after that does nothing.
TEST_F(UpToDateScenario, ImporterAfterTheLibrarysFirstOwnRunSettles) {
    copyShapes();
    EXPECT_EQ(commandsOf(tolm({"release"}, "app")), 5);
    EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 2);
    EXPECT_LE(commandsOf(tolm({"release"}, "app")), 1);
    EXPECT_EQ(commandsOf(tolm({"release"}, "app")), 0);
    EXPECT_EQ(commandsOf(tolm({"release"}, "app")), 0);
    EXPECT_EQ(commandsOf(tolm({"release"}, "geometry")), 0);
}

// A chain of a thousand commands that each end within a timestamp tick of the one before: the run
// after the complete build runs none of them.
TEST_F(UpToDateScenario, FastCommandsReachANoOp) {
    constexpr int Length = 1000;
    std::string targets;
    for (int i = 0; i < Length; ++i) {
        const std::string n = std::to_string(i);
        targets += "t" + n + ": " + (i + 1 < Length ? "t" + std::to_string(i + 1) : "") + " { cmdline = \"touch o/" + n +
                   "\" ^O = P\"(o/" + n + ")\" }\n";
    }
    writeProject(targets);
    fs::create_directory(work_.path() / "o");
    EXPECT_EQ(jobsOf(tolm({})), Length);
    EXPECT_EQ(jobsOf(tolm({})), 0);
}

// An input saved while its command runs (here the command saves it itself, once, after reading
// it): the output holds the older text, so the next run builds it again, and the one after that
// has nothing to do.
TEST_F(UpToDateScenario, InputSavedDuringItsCommandIsBuiltAgain) {
    writeProject("copy: { src = P\"(in.txt)\" ^OUT = P\"(out.txt)\" cmdline = \"cat in.txt > tmp.txt; if [ -e once ]; "
                 "then rm once; echo new > in.txt; fi; cat tmp.txt > out.txt\" }\n");
    write("in.txt", "old\n");
    write("once", "");
    EXPECT_EQ(jobsOf(tolm({})), 1);
    EXPECT_EQ(contentOf(at("out.txt")), "old\n");
    EXPECT_EQ(jobsOf(tolm({})), 1);
    EXPECT_EQ(contentOf(at("out.txt")), "new\n");
    EXPECT_EQ(jobsOf(tolm({})), 0);
}

// A directory among a target's outputs is not dated. A command writing a generated header by
// rename into the directory its library exports, built by the library's project and by an
// importer in turn: from the third round on neither runs a command, and after the directory is
// removed or the input saved, the library's next run runs the command again, the one after none.
// A target beside a ^ directory its command leaves alone (older than the input), and one whose
// only output is a directory, settle alike; removing the directory or saving the input runs the
// command again, once.
TEST_F(UpToDateScenario, DirectoryOutputsSettle) {
    if (!fs::exists("/usr/bin/gcc")) GTEST_SKIP() << "/usr/bin/gcc is missing";
    write("lib/.tolm_project.txt", "name lib\n" + tool("gnu-gcc") + "units { l { \"tolm.txt\" } }\n");
    write("lib/tolm.txt", "unit l\n"
                          "cfg: { ^include = P\"(gen)\" ^h = P\"(gen/config.h)\" IN = P\"(values.txt)\" cmdline = "
                          "\"mkdir -p '${include}' && cp '${IN}' '${h}.tmp' && mv '${h}.tmp' '${h}'\" }\n"
                          "libl: cfg { C_FILES = P\"(l.c)\" C_FLAGS = \"-c\" ^include = cfg.include }\n"
                          "arch: libl { OBJS = libl.objs STATIC OUTPUT_NAME = \"libl.a\" }\n");
    write("lib/values.txt", "#define X 1\n");
    write("lib/l.c", "#include \"config.h\"\nint l(void) { return X; }\n");
    write("app/.tolm_project.txt",
          "name app\nimport { \"../lib/.tolm_project.txt\"; }\nunits { a { \"tolm.txt\" } }\n");
    write("app/tolm.txt", "unit a\napp: lib/l::arch lib/l::libl { C_FILES = P\"(m.c)\" INCLUDE = l.libl.include "
                          "LIB = l.arch.lib }\n");
    write("app/m.c", "#include \"config.h\"\nint l(void);\nint main(void) { return l() - X; }\n");
    for (int round = 1; round <= 4; ++round)
        for (const char* project : {"app", "lib"}) {
            const int jobs = jobsOf(tolm({}, project));
            EXPECT_TRUE(round <= 2 || jobs == 0) << jobs << " jobs in " << project << ", round " << round;
        }
    const struct {
        const char* change;
        std::function<void()> apply;
    } changes[] = {
        {"gen removed", [&] { fs::remove_all(at("lib/gen")); }},
        {"values.txt saved", [&] { write("lib/values.txt", "#define X 2\n"); }},
    };
    for (const auto& change : changes) {
        change.apply();
        EXPECT_EQ(count(tolm({}, "lib"), "[l::cfg] Starting build job"), 1) << change.change;
        EXPECT_EQ(jobsOf(tolm({}, "lib")), 0) << change.change;
    }

    const struct {
        const char* form;
        const char* target;
    } forms[] = {
        {"untouched-docs", "g: { IN = P\"(in.txt)\" ^docs = P\"(docs)\" ^o = P\"(o.txt)\" "
                           "cmdline = \"mkdir -p docs && cp in.txt o.txt\" }\n"},
        {"docs-only", "g: { IN = P\"(in.txt)\" ^dir = P\"(docs)\" cmdline = \"mkdir -p docs && cp in.txt docs/\" }\n"},
    };
    for (const auto& form : forms) {
        const std::string dir = form.form;
        writeProject(form.target, "", dir);
        write(dir + "/in.txt", "v\n");
        fs::create_directory(at(dir + "/docs"));
        makeOlder(dir + "/docs", dir + "/in.txt");
        EXPECT_EQ(jobsOf(tolm({}, dir)), 1) << form.form;
        EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << form.form;
        fs::remove_all(at(dir + "/docs"));
        EXPECT_EQ(jobsOf(tolm({}, dir)), 1) << form.form;
        EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << form.form;
        write(dir + "/in.txt", "w\n");
        EXPECT_EQ(jobsOf(tolm({}, dir)), 1) << form.form;
        EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << form.form;
    }
}

// Whether an output is a directory follows what its job left, not what the path is now: a file
// the job wrote, replaced by a directory (also one of the file's very time), or by a link to one,
// beside a directory output too, is built again once; a directory output settles, an entry made
// in it since included.
TEST_F(UpToDateScenario, OutputFileReplacedByADirectoryIsBuiltAgain) {
    const std::string file = "^o = P\"(o.txt)\" ", docs = "^docs = P\"(docs)\" ";
    const auto becomesDirectory = [&](const std::string& dir) {
        const fs::file_time_type left = fs::last_write_time(at(dir + "/o.txt"));
        fs::remove(at(dir + "/o.txt"));
        fs::create_directory(at(dir + "/o.txt"));
        return left;
    };
    const struct {
        const char* form;
        std::string outputs;
        std::function<void(const std::string&)> change;
        int jobs;
    } cases[] = {
        {"directory", file, [&](const std::string& dir) { becomesDirectory(dir); }, 1},
        {"directory-of-its-time", file,
         [&](const std::string& dir) { fs::last_write_time(at(dir + "/o.txt"), becomesDirectory(dir)); }, 1},
        {"link-to-a-directory", file,
         [&](const std::string& dir) {
             fs::remove(at(dir + "/o.txt"));
             fs::create_directory(at(dir + "/elsewhere"));
             fs::create_directory_symlink("elsewhere", at(dir + "/o.txt"));
         },
         1},
        {"beside-a-directory-output", docs + file, [&](const std::string& dir) { becomesDirectory(dir); }, 1},
        {"entry-in-the-directory-output", docs + file, [&](const std::string& dir) { write(dir + "/docs/new", ""); },
         0},
    };
    for (const auto& c : cases) {
        const std::string dir = c.form;
        writeProject("g: { IN = P\"(in.txt)\" " + c.outputs + "cmdline = \"mkdir -p docs && cp in.txt o.txt\" }\n", "",
                     dir);
        write(dir + "/in.txt", "v\n");
        EXPECT_EQ(jobsOf(tolm({}, dir)), 1) << c.form;
        EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << c.form;
        c.change(dir);
        EXPECT_EQ(jobsOf(tolm({}, dir)), c.jobs) << c.form;
        // What the job left now, a directory in o.txt's place included, holds.
        EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << c.form;
    }
}

// Two runs 26 hours apart in local time (always another day): a command target that does not
// read the date runs once; one whose command line holds the day runs again.
TEST_F(UpToDateScenario, NewDayRebuildsOnlyWhatUsesTheDate) {
    writeProject("all: plain dated { NO_TOOL }\n"
                 "plain: { cmdline = \"echo run >> plain.txt\" ^OUT = P\"(plain.txt)\" }\n"
                 "dated: { cmdline = \"echo ${day} >> dated.txt\" ^OUT = P\"(dated.txt)\" }\n");
    for (const char* zone : {"TZ=UTC-13", "TZ=UTC+13"}) {
        const RunResult run = Scenario::runTolm({}, work_.path(), {.home = home_.path().string(), .extra = {zone}});
        ASSERT_EQ(run.exitCode, 0) << run.out;
    }
    EXPECT_EQ(linesOf(contentOf(at("plain.txt"))).size(), 1u);
    EXPECT_EQ(linesOf(contentOf(at("dated.txt"))).size(), 2u);
}

}  // namespace
