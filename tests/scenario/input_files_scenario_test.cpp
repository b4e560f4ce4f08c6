// The real binary on input files that once went wrong: literals whose content ends in ')', lists
// that double without end, and FIFOs, devices or directories where tolm reads a file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

using InputFilesScenario = TolmScenario;

// A path ending in ')' ends at its own ')"': the file lists its three targets and builds the one
// named, alone; a shell line keeps its command substitution.
TEST_F(InputFilesScenario, LiteralsEndingInParenthesis) {
    write("this.txt", R"--(unit u
a: { O = P"(backup (1))" cmdline = "echo a-ran" }
b: { O = P"(y)" cmdline = "echo b-ran" }
c: { O = P"(z)" cmdline = "echo c-ran" }
where: { cmdline = R"(echo at $(pwd))" }
)--");
    const RunResult list = tolm({"-f", "this.txt", "-l", "1"});
    EXPECT_EQ(list.out, "a\nb\nc\nwhere\n");
    EXPECT_EQ(list.exitCode, 0);

    const RunResult a = tolm({"-f", "this.txt", "a"});
    EXPECT_EQ(a.out, "Starting build\n[u::a] Visiting target\n[u::a] Starting build job\n[u::a] echo a-ran\na-ran\n"
                     "[u::a] Build done\n");
    EXPECT_EQ(a.exitCode, 0);
    const RunResult where = tolm({"-f", "this.txt", "where"});
    EXPECT_TRUE(hasLine(where.out, "[u::where] echo at $(pwd)\n")) << where.out;
    EXPECT_TRUE(hasLine(where.out, "at " + fs::canonical(work_.path()).string() + "\n")) << where.out;
}

// Forty lines that each double a list stop at the first list past the bound, naming it, instead of
// taking gigabytes.
TEST_F(InputFilesScenario, DoubledListStops) {
    std::string text = "a: {\n  L0 = [\"a\", \"b\"]\n";
    for (int i = 1; i < 40; ++i)
        text += "  L" + std::to_string(i) + " = [L" + std::to_string(i - 1) + ", L" + std::to_string(i - 1) + "]\n";
    write("tolm.txt", text + "  cmdline = \"echo ${L39}\"\n}\n");
    const RunResult run = tolm({});
    EXPECT_TRUE(run.out.ends_with("Error: Expansion of variable 'L19' produces more than 1000000 list items.\n"))
        << run.out;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.find("Starting build job"), std::string::npos);
}

// A FIFO or a device where tolm reads a project, import or unit file ends the run at once with a
// message naming the path; none of them is waited on or read.
TEST_F(InputFilesScenario, SpecialInputFilesAreRefused) {
    const std::string fifo = at("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto refused = [](const std::string& kind, const std::string& path) {
        return "Error: " + kind + " file '" + path + "' is not a regular file.\n";
    };
    const auto projectImporting = [&](const std::string& import) {
        write(".tolm_project.txt", "name demo\nimport {\n  \"" + import + "\";\n}\nunits { app { \"tolm.txt\" } }\n");
    };
    write("tolm.txt", "unit app\napp: { cmdline = \"echo app-ran\" }\n");

    // -f with a FIFO.
    RunResult run = tolm({"-f", "pipe"});
    EXPECT_EQ(run.out, refused("Unit", fifo));
    EXPECT_EQ(run.exitCode, 1);
    // An import of a FIFO, and of /dev/zero.
    for (const std::string& import : {fifo, std::string("/dev/zero")}) {
        projectImporting(import);
        run = tolm({});
        EXPECT_EQ(run.out, refused("Project", import)) << import;
        EXPECT_EQ(run.exitCode, 1) << import;
    }
    // A unit file that is /dev/zero.
    write(".tolm_project.txt", "name demo\nunits { app { \"/dev/zero\" } }\n");
    run = tolm({});
    EXPECT_EQ(run.out, refused("Unit", "/dev/zero"));
    EXPECT_EQ(run.exitCode, 1);
    // The project file linked to /dev/zero.
    fs::remove(at(".tolm_project.txt"));
    fs::create_symlink("/dev/zero", at(".tolm_project.txt"));
    run = tolm({});
    EXPECT_EQ(run.out, refused("Project", at(".tolm_project.txt")));
    EXPECT_EQ(run.exitCode, 1);
}

// A directory where tolm reads a unit file (given with -f, or listed) or the project file is said
// as such, naming the path, and ends the run.
TEST_F(InputFilesScenario, DirectoriesAreRefused) {
    fs::create_directories(at("u.txt"));
    const std::string unit = "Error: Unit file '" + at("u.txt") + "' is a directory.\n";
    RunResult run = tolm({"-f", "u.txt"});
    EXPECT_EQ(run.out, unit);
    EXPECT_EQ(run.exitCode, 1);
    write(".tolm_project.txt", "name demo\nunits { app { \"u.txt\" } }\n");
    run = tolm({});
    EXPECT_EQ(run.out, unit);
    EXPECT_EQ(run.exitCode, 1);
    fs::remove(at(".tolm_project.txt"));
    fs::create_directory(at(".tolm_project.txt"));
    run = tolm({});
    EXPECT_EQ(run.out, "Error: Project file '" + at(".tolm_project.txt") + "' is a directory.\n");
    EXPECT_EQ(run.exitCode, 1);
}

// A FIFO as the user registry is said once and not used: the build goes on, and runs that would
// write the registry refuse, leaving the FIFO as it is.
TEST_F(InputFilesScenario, FifoAsRegistryIsNeverUsed) {
    writeProject("app: { cmdline = \"echo app-ran\" }\n");
    fs::create_directories(registryFile().parent_path());
    ASSERT_EQ(mkfifo(registryFile().c_str(), 0600), 0);
    const std::string warning = "Registry file '" + registryFile().string() + "' is not a regular file.";

    const RunResult build = tolm({});
    EXPECT_EQ(count(build, warning), 1) << build.out;
    EXPECT_TRUE(hasLine(build.out, "app-ran\n")) << build.out;
    EXPECT_EQ(build.exitCode, 0);
    for (const char* option : {"-r", "--find-compilers"}) {
        const RunResult run = tolm({option});
        EXPECT_EQ(run.out, warning + "\nError: Registry file '" + registryFile().string() +
                               "' could not be loaded, so it is left unchanged.\n")
            << option;
        EXPECT_EQ(run.exitCode, 1) << option;
    }
    EXPECT_TRUE(fs::is_fifo(registryFile()));
}

}  // namespace
