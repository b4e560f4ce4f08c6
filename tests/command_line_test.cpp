#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tolm_app.h"
#include "util/log.h"

namespace {

// Parses words into a fresh application and puts the log threshold back
// afterwards, since -v changes it for the whole process.
class CommandLine : public ::testing::Test {
protected:
    void TearDown() override { Log::verbosity = savedVerbosity_; }

    void parse(std::vector<std::string> words) {
        words.insert(words.begin(), "tolm");
        std::vector<const char*> argv;
        for (const std::string& word : words)
            argv.push_back(word.c_str());
        app.ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    }

    TolmApplication app;

private:
    int savedVerbosity_ = Log::verbosity;
};

std::filesystem::path inCwd(const std::string& name) {
    return std::filesystem::current_path() / name;
}

// Words without a leading dash are positional, the empty word included;
// "--" and unknown options are skipped without a trace.
TEST_F(CommandLine, PositionalWordsKeepOrderAndUnknownOptionsVanish) {
    parse({"--", "app", "-x", "--bogus", "release", "", "CFLAGS+=-O2", "-"});
    EXPECT_EQ(app.arguments, (std::vector<std::string>{"app", "release", "", "CFLAGS+=-O2"}));
}

// One or two dashes and any letter case name the same option.
TEST_F(CommandLine, OptionNamesIgnoreCaseAndDashCount) {
    for (const char* word : {"-v", "--v", "-V", "-verbose", "--VERBOSE", "-VeRbOsE"}) {
        TolmApplication fresh;
        std::vector<const char*> argv{"tolm", word};
        Log::verbosity = 5;
        fresh.ParseCommandLine(2, argv.data());
        EXPECT_EQ(fresh.verbosity, 3) << word;
        EXPECT_EQ(Log::verbosity, 3) << word;
    }
}

// -v takes the next word only when it starts with a digit, and then only its
// leading digits.
TEST_F(CommandLine, VerbosityNumberIsOptional) {
    parse({"-v", "x"});
    EXPECT_EQ(app.verbosity, 3);
    EXPECT_EQ(app.arguments, std::vector<std::string>{"x"});

    parse({"-v", "4abc"});
    EXPECT_EQ(app.verbosity, 4);
    EXPECT_EQ(Log::verbosity, 4);
    EXPECT_EQ(app.arguments, std::vector<std::string>{"x"});

    parse({"--verbose", "0"});
    EXPECT_EQ(Log::verbosity, 0);

    // A negative number is not a number word: it is an (unknown) option.
    parse({"-v", "-2"});
    EXPECT_EQ(app.verbosity, 3);
}

// -j alone means every hardware thread, at least one; an explicit 0 is kept.
TEST_F(CommandLine, JobsDefaultsToHardwareThreads) {
    parse({"-j"});
    EXPECT_EQ(app.jobs, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    EXPECT_GE(app.jobs, 1);

    parse({"-j", "0"});
    EXPECT_EQ(app.jobs, 0);

    parse({"--jobs", "12", "app"});
    EXPECT_EQ(app.jobs, 12);
    EXPECT_EQ(app.arguments, std::vector<std::string>{"app"});
}

// Numbers beyond a signed 32-bit integer are rejected, the largest one is not.
TEST_F(CommandLine, NumbersMustFitThirtyTwoBits) {
    parse({"-j", "2147483647"});
    EXPECT_EQ(app.jobs, 2147483647);
    EXPECT_THROW(parse({"-j", "2147483648"}), std::out_of_range);
    EXPECT_THROW(parse({"-v", "99999999999999999999"}), std::out_of_range);
}

// -c and -f overwrite each other's unit file and search mode; the last wins.
TEST_F(CommandLine, CommandModeAndFileOrderMatters) {
    parse({"-c", "-f", "x"});
    EXPECT_TRUE(app.commandMode);
    EXPECT_EQ(app.searchMode, 1);
    EXPECT_EQ(app.defaultUnitFile, inCwd("x"));

    TolmApplication other;
    std::vector<const char*> argv{"tolm", "-f", "x", "--CMDMODE"};
    other.ParseCommandLine(4, argv.data());
    EXPECT_TRUE(other.commandMode);
    EXPECT_EQ(other.searchMode, 2);
    EXPECT_TRUE(other.defaultUnitFile.empty());
}

// The -f file is made absolute and normalised without touching the disk.
TEST_F(CommandLine, UnitFileIsAbsoluteAndNormal) {
    parse({"--file", "a/../b/./unit.txt"});
    EXPECT_EQ(app.defaultUnitFile, inCwd("b/unit.txt"));
    parse({"-f", "/abs//dir/../t.txt"});
    EXPECT_EQ(app.defaultUnitFile, std::filesystem::path("/abs/t.txt"));
}

// -f and -o take the next word even when it looks like an option.
TEST_F(CommandLine, FileOptionsSwallowDashWords) {
    parse({"-o", "-u", "-f", "-p"});
    EXPECT_EQ(app.outputsFile, "-u");
    EXPECT_EQ(app.defaultUnitFile, inCwd("-p"));
    EXPECT_FALSE(app.listUnits);
    EXPECT_FALSE(app.listProfiles);
}

// -f and -o at the end of the line fail with "unknown switch".
TEST_F(CommandLine, FileOptionsNeedAWord) {
    for (const char* option : {"-f", "--FILE", "-o", "--out"}) {
        TolmApplication fresh;
        std::vector<const char*> argv{"tolm", option};
        try {
            fresh.ParseCommandLine(2, argv.data());
            ADD_FAILURE() << option << " without a word was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "unknown switch") << option;
        }
    }
}

// -l needs a unit name: missing, a dash word or an empty word are errors.
TEST_F(CommandLine, ListTargetsNeedsAUnit) {
    for (std::vector<std::string> words :
         {std::vector<std::string>{"-l"}, {"-l", "-u"}, {"--list-targets", ""}}) {
        try {
            parse(words);
            ADD_FAILURE() << "-l without a unit was accepted";
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), "Option '-l' requires a unit.");
        }
    }
    parse({"-l", "1", "-u"});
    EXPECT_EQ(app.listTargetsUnit, "1");
    EXPECT_TRUE(app.listUnits);
}

// Every flag option, under either of its names, sets its own field only.
TEST_F(CommandLine, FlagsSetTheirFields) {
    parse({"-d", "-U", "--p", "-r", "--create-project", "--find-compilers", "--version"});
    EXPECT_TRUE(app.dumpContexts);
    EXPECT_TRUE(app.listUnits);
    EXPECT_TRUE(app.listProfiles);
    EXPECT_TRUE(app.registerProject);
    EXPECT_TRUE(app.createProject);
    EXPECT_TRUE(app.findCompilersMode);
    EXPECT_TRUE(app.showVersion);
    EXPECT_FALSE(app.commandMode);
    EXPECT_TRUE(app.arguments.empty());

    TolmApplication other;
    std::vector<const char*> argv{"tolm", "--dump", "--list-units", "--LIST-PROFILES", "--register"};
    other.ParseCommandLine(5, argv.data());
    EXPECT_TRUE(other.dumpContexts && other.listUnits && other.listProfiles && other.registerProject);
}

// -h ends the process with status 0 before a later faulty word is parsed.
TEST_F(CommandLine, HelpExitsBeforeLaterWords) {
    // The threshold keeps the usage text out of the test log.
    EXPECT_EXIT(
        {
            Log::verbosity = 6;
            parse({"-h", "-l"});
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
