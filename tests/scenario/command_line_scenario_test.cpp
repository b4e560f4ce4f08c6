#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenario/run_tolm.h"
#include "scenario/scratch_dir.h"

namespace {

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

// Each test runs in an empty project directory with an empty home directory.
class CommandLineScenario : public ::testing::Test {
protected:
    RunResult tolm(const std::vector<std::string>& words) {
        return runTolm(words, work_.path(), home_.path());
    }

    ScratchDir work_;
    ScratchDir home_;
};

// --version prints the version alone and reads nothing: no registry, no project.
TEST_F(CommandLineScenario, VersionPrintsVersionOnly) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--version"}, {"--VERSION", "--create-project"}, {"-version", "-r"}}) {
        RunResult run = tolm(words);
        EXPECT_EQ(run.exitCode, 0) << words[0];
        EXPECT_EQ(run.out, "3.12.0.0\n");
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(home_.isEmpty());
    EXPECT_TRUE(work_.isEmpty());
}

// -h prints the usage text and exits 0 before later words are looked at,
// even a --version given first or a word that would be an error.
TEST_F(CommandLineScenario, HelpPrintsUsageAndStops) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"-h"}, {"--HELP"}, {"--version", "-h"}, {"-h", "--bogus", "-l"}}) {
        RunResult run = tolm(words);
        EXPECT_EQ(run.exitCode, 0) << words[0];
        EXPECT_EQ(run.out, kUsage);
        EXPECT_EQ(run.err, "");
    }
}

// The usage text is normal output, so a threshold above 5 hides it.
TEST_F(CommandLineScenario, HelpIsSilentAtHighVerbosity) {
    RunResult run = tolm({"-v", "6", "-h"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
}

// Missing option arguments end the run with the option's message and status 1.
TEST_F(CommandLineScenario, MissingOptionArgumentsFail) {
    struct Case {
        std::vector<std::string> words;
        std::string out;
    };
    const Case cases[] = {
        {{"-l"}, "Option '-l' requires a unit.\n"},
        {{"-l", "-u"}, "Option '-l' requires a unit.\n"},
        {{"-o"}, "unknown switch\n"},
        {{"app", "-f"}, "unknown switch\n"},
    };
    for (const Case& c : cases) {
        RunResult run = tolm(c.words);
        EXPECT_EQ(run.exitCode, 1) << c.words[0];
        EXPECT_EQ(run.out, c.out);
    }
}

// A number too large for -v or -j is an error, not a silently wrapped value.
TEST_F(CommandLineScenario, OversizedNumberFails) {
    for (const char* option : {"-v", "-j"}) {
        RunResult run = tolm({option, "99999999999"});
        EXPECT_EQ(run.exitCode, 1) << option;
        EXPECT_NE(run.out.find("99999999999"), std::string::npos) << run.out;
    }
}

// A build in a directory without any unit file cannot succeed: it must end
// with an error on the console and a failure status, never a silent success.
TEST_F(CommandLineScenario, BuildWithoutUnitFileFails) {
    for (const std::vector<std::string>& words : {std::vector<std::string>{}, {"app"}}) {
        RunResult run = tolm(words);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.signal, 0);
        EXPECT_NE(run.out, "");
    }
}

}  // namespace
