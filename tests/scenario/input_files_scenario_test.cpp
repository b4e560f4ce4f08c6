// The real binary on input files that once went wrong: literals whose content ends in ')', lists
// that double without end, and FIFOs or devices where tolm reads a file.

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

}  // namespace
