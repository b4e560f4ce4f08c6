#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tolm_app.h"
#include "util/log.h"

namespace {

using Words = std::vector<std::string>;

// Puts the log threshold back after each test, since -v changes it for the whole process.
class CommandLine : public ::testing::Test {
protected:
    ~CommandLine() override { Log::verbosity = savedVerbosity_; }

    static std::unique_ptr<TolmApplication> parse(Words words) {
        words.insert(words.begin(), "tolm");
        std::vector<const char*> argv;
        for (const std::string& word : words) argv.push_back(word.c_str());
        auto app = std::make_unique<TolmApplication>();
        app->ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        return app;
    }

private:
    int savedVerbosity_ = Log::verbosity;
};

// -v and -j take the next word only when it starts with a digit, and then only its leading digits;
// option names ignore case and the number of dashes; other words, the empty one included, are
// positional, and "--" and unknown options vanish.
TEST_F(CommandLine, NumbersAndPositionalWords) {
    const struct {
        Words words;
        int verbosity, jobs;
        Words arguments;
    } cases[] = {
        {{"--VERBOSE", "x"}, 3, 1, {"x"}},
        {{"-v", "4abc"}, 4, 1, {}},
        {{"-verbose", "0"}, 0, 1, {}},
        {{"-v", "-2"}, 3, 1, {}}, // a negative number is an (unknown) option
        {{"-j", "0"}, 5, 0, {}},
        {{"--JOBS", "12", "app"}, 5, 12, {"app"}},
        {{"-j", "2147483647"}, 5, 2147483647, {}},
        {{"--", "app", "-x", "--bogus", "release", "", "CFLAGS+=-O2", "-"},
         5, 1, {"app", "release", "", "CFLAGS+=-O2"}},
    };
    for (const auto& c : cases) {
        Log::verbosity = 5;
        auto app = parse(c.words);
        EXPECT_EQ(app->verbosity, c.verbosity) << c.words[0];
        EXPECT_EQ(Log::verbosity, c.verbosity) << c.words[0];
        EXPECT_EQ(app->jobs, c.jobs) << c.words[0];
        EXPECT_EQ(app->arguments, c.arguments) << c.words[0];
    }
    EXPECT_EQ(parse({"-j"})->jobs, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

// -c and -f overwrite each other's unit file and search mode; -f and -o take even a dash word.
TEST_F(CommandLine, UnitFileOutputsFileAndCommandMode) {
    auto cf = parse({"-c", "-f", "a/../b/./x", "-o", "-u"});
    EXPECT_TRUE(cf->commandMode);
    EXPECT_EQ(cf->searchMode, 1);
    EXPECT_EQ(cf->defaultUnitFile, std::filesystem::current_path() / "b/x");
    EXPECT_EQ(cf->outputsFile, "-u");
    EXPECT_FALSE(cf->listUnits);

    auto fc = parse({"--file", "-p", "--CMDMODE"});
    EXPECT_EQ(fc->searchMode, 2);
    EXPECT_TRUE(fc->defaultUnitFile.empty());
    EXPECT_FALSE(fc->listProfiles);
}

// The flags set by `app`, by option name, and the unit -l asked for.
std::string flagsOf(const TolmApplication& app) {
    std::string flags;
    const std::pair<bool, const char*> fields[] = {
        {app.dumpContexts, "dump"},       {app.listUnits, "units"},     {app.listProfiles, "profiles"},
        {app.registerProject, "register"}, {app.createProject, "create"}, {app.findCompilersMode, "find"},
        {app.showVersion, "version"},     {app.commandMode, "command"}};
    for (const auto& [set, name] : fields)
        if (set) flags += std::string(" ") + name;
    if (!app.listTargetsUnit.empty()) flags += " targets of " + app.listTargetsUnit;
    return flags.empty() ? flags : flags.substr(1);
}

// Every flag option, under either of its names, sets its own field and no other; -l keeps its unit.
TEST_F(CommandLine, FlagsSetTheirFields) {
    const struct {
        Words words;
        std::string flags;
    } cases[] = {
        {{"-d"}, "dump"},
        {{"--DUMP"}, "dump"},
        {{"-U"}, "units"},
        {{"--list-units"}, "units"},
        {{"--p"}, "profiles"},
        {{"--LIST-PROFILES"}, "profiles"},
        {{"-r"}, "register"},
        {{"--register"}, "register"},
        {{"--create-project"}, "create"},
        {{"--find-compilers"}, "find"},
        {{"--version"}, "version"},
        {{"-cmdmode"}, "command"},
        {{"-l", "1"}, "targets of 1"},
        {{"--LIST-TARGETS", "core"}, "targets of core"},
        {{"-d", "-u", "-p", "-r", "-l", "x"}, "dump units profiles register targets of x"},
    };
    for (const auto& c : cases) {
        auto app = parse(c.words);
        EXPECT_EQ(flagsOf(*app), c.flags) << c.words[0];
        EXPECT_TRUE(app->arguments.empty()) << c.words[0];
    }
}

} // namespace
