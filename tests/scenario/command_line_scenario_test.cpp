#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

using Scenario::RunResult;

const std::string kUsage =
    "tolm [options] target? [assignment]*\n"
    "Options: \n"
    "  -l <unit>  list targets from unit (1 = main unit)\n"
    "  -u         list units from project file\n"
    "  -p         list profiles from project file\n"
    "  -v <num>   verbosity level, default = 2\n"
    "  -j <num>   thread count\n"
    "  -f <file>  default tolm file override\n"
    "  -o <file>  main target outputs\n"
    "  -r         register current project\n"
    "  --find-compilers   detect and register default toolchains\n"
    "  --version\n"
    "  --create-project     initialise project file\n";

// Each test runs in an empty directory with an empty home directory.
class CommandLineScenario : public TolmScenario {};

// Whole runs: exact output, exit status and nothing on standard error.
TEST_F(CommandLineScenario, OutputAndStatus) {
    const struct {
        Words words;
        std::string out;
        int exitCode;
    } cases[] = {
        // --version acts before everything else; -h acts while parsing, so it wins over it.
        {{"--version"}, "3.12.0.0\n", 0},
        {{"--VERSION", "--create-project"}, "3.12.0.0\n", 0},
        {{"-h"}, kUsage, 0},
        {{"--version", "-h"}, kUsage, 0},
        {{"-v", "6", "-h"}, "", 0},
        // Option errors end the run through the top-level handling.
        {{"-l", "-u"}, "Option '-l' requires a unit.\n", 1},
        {{"app", "-f"}, "unknown switch\n", 1},
        {{"-f", ""}, "unknown switch\n", 1},
        {{"--out", "", "app"}, "unknown switch\n", 1},
        // An empty unit word would silently turn the list request into a build.
        {{"--list-targets", ""}, "Option '-l' requires a unit.\n", 1},
        {{"-j", "2147483648"}, "Number '2147483648' of option '-j' is out of range.\n", 1},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm(c.words);
        EXPECT_EQ(run.out, c.out) << c.words[0];
        EXPECT_EQ(run.exitCode, c.exitCode) << c.words[0];
        EXPECT_EQ(run.err, "") << c.words[0];
    }
    // Nothing above touched the registry or the project directory.
    EXPECT_TRUE(home_.isEmpty());
    EXPECT_TRUE(work_.isEmpty());
}

// A build that cannot run fails loudly: without a unit file, and with a word that is no
// assignment.
TEST_F(CommandLineScenario, BuildFailsLoudly) {
    const RunResult missing = tolm({"app"});
    EXPECT_EQ(missing.out, "Error: File not found at " + at("tolm.txt") + "\n");
    EXPECT_EQ(missing.exitCode, 1);

    write("tolm.txt", "unit app\napp: { }\n");
    const RunResult badWord = tolm({"app", "not a word"});
    EXPECT_EQ(badWord.out, "Parsing assignment failed due to syntax errors.\n");
    EXPECT_EQ(badWord.exitCode, 1);
}

} // namespace
