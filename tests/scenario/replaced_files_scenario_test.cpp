// Files a run writes whole in place of the old ones, the user registry ("-r",
// "--find-compilers") and a new project file ("--create-project"), against a
// symbolic link planted where a temporary file could be expected.

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

class ReplacedFilesScenario : public TolmScenario {};

// A link at "<file>.tmp.<pid>", the name made of the file and the process id, planted by a shell
// that then becomes tolm itself: the link still points to its target, which keeps every byte,
// and the file written is a file of its own, not the link.
TEST_F(ReplacedFilesScenario, LinkAtTheProcessNameIsLeftAlone) {
    writeProject("main: { }\n");
    write("fresh/tolm.txt", "unit fresh\nf: { }\n");
    fs::create_directories(registryFile().parent_path());
    const fs::path victim = write("victim.txt", "victim\n");
    const std::string script = "ln -s \"$1\" \"$2.tmp.$$\" || exit 99\nshift 2\nexec \"$@\"\n";
    struct Case {
        std::string option;
        fs::path file;
        std::string directory;
        std::string starts;
    };
    const Case cases[] = {
        {"-r", registryFile(), "", "projects {\n"},
        {"--find-compilers", registryFile(), "", ""},
        {"--create-project", at("fresh/.tolm_project.txt"), "fresh", "name fresh\n"},
    };
    for (const Case& c : cases) {
        const RunResult run = Scenario::runProgram(
            "/bin/sh", {"-c", script, "sh", victim.string(), c.file.string(), TOLM_BINARY, c.option},
            work_.path() / c.directory, {.home = home_.path().string()});
        EXPECT_EQ(run.exitCode, 0) << c.option << run.out;
        EXPECT_EQ(contentOf(victim), "victim\n") << c.option;
        EXPECT_FALSE(fs::is_symlink(c.file)) << c.option;
        EXPECT_TRUE(contentOf(c.file).starts_with(c.starts)) << c.option << contentOf(c.file);
        int links = 0;
        for (const auto& entry : fs::directory_iterator(c.file.parent_path())) {
            if (!entry.is_symlink()) continue;
            ++links;
            EXPECT_EQ(fs::read_symlink(entry.path()), victim) << c.option << entry.path();
        }
        EXPECT_EQ(links, c.option == "--find-compilers" ? 2 : 1) << c.option;
    }
}

}  // namespace
