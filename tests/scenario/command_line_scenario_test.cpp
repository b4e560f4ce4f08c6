// The real binary on its command line: options, the words after them, and
// input that once crashed it or ended in a wrong status (text nested without
// end, numbers out of range, output that cannot be written).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

// The usage text's first line: its option lines restate the code, so a usage run is checked by
// its first and last lines.
const std::string kUsage = "tolm [options] target? [assignment]*\n";

// Each test runs in an empty directory with an empty home directory.
using CommandLineScenario = TolmScenario;

// Whole runs: exact output, exit status and nothing on standard error; output that cannot be
// written fails the run.
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
        if (c.out == kUsage)
            EXPECT_TRUE(run.out.starts_with(kUsage) && run.out.ends_with("--create-project     initialise project file\n"))
                << c.words[0] << "\n" << run.out;
        else
            EXPECT_EQ(run.out, c.out) << c.words[0];
        EXPECT_EQ(run.exitCode, c.exitCode) << c.words[0];
        EXPECT_EQ(run.err, "") << c.words[0];
    }
    // Nothing above touched the registry or the project directory.
    EXPECT_TRUE(home_.isEmpty());
    EXPECT_TRUE(work_.isEmpty());

    // Output that cannot be written is a failure with its own message, not a silent success. The
    // shell only points standard output at the device and then becomes tolm itself.
    for (const std::string device : {"/dev/full", "/dev/null"}) {
        const RunResult run = Scenario::runProgram("/bin/sh", {"-c", "exec \"$0\" --version >" + device, TOLM_BINARY},
                                                   work_.path(), {.home = home_.path().string()});
        EXPECT_EQ(run.exitCode, device == "/dev/full" ? 1 : 0) << device;
        EXPECT_EQ(run.err, device == "/dev/full" ? "Error: cannot write to standard output\n" : "") << device;
    }
}

// A run that cannot go on fails loudly with status 1 and says why: without a unit file, with a
// word that is no assignment, and with deep nesting or a number out of range in a command-line
// word or the unit file, naming where; nothing overflows the stack. A bare word that names no
// target, unit or profile is still declared (a target may test for it), and the run says so
// before it builds; a profile's or a unit's name is no such word.
TEST_F(CommandLineScenario, WordsAndFailures) {
    const RunResult missing = tolm({"app"});
    EXPECT_EQ(missing.out, "Error: File not found at " + at("tolm.txt") + "\n");
    EXPECT_EQ(missing.exitCode, 1);

    write(".tolm_project.txt", "name lua\nunits { lua { \"tolm.txt\" } }\nprofiles { debug { } }\n");
    write("tolm.txt", "unit lua\nliblua: { cmdline = \"echo built\" if LLVM { cmdline = \"echo with llvm\" } }\n");
    const auto built = [](const std::string& echoed) {
        return "Starting build\n[lua::liblua] Visiting target\n[lua::liblua] Starting build job\n[lua::liblua] echo " +
               echoed + "\n" + echoed + "\n[lua::liblua] Build done\n";
    };
    const std::string said = "' is no target, unit or profile: declared as a variable.\n";
    const std::string deepList = std::string(20000, '[') + std::string(20000, ']');
    const struct {
        Words words;
        std::string out;
        int exitCode;
    } cases[] = {
        {{"liblau"}, "'liblau" + said + built("built"), 0},
        {{"debug"}, built("built"), 0},
        {{"lua"}, built("built"), 0},
        {{"LLVM"}, "'LLVM" + said + built("with llvm"), 0},
        {{"liblua", "not a word"}, "Parsing assignment failed due to syntax errors.\n", 1},
        {{"-l", "1", "X=" + deepList}, "assignment(1,202): nesting deeper than 200 levels\n", 1},
        {{"-l", "1", "X=99999999999"}, "assignment(1,2): number 99999999999 is out of range for a 32-bit integer\n", 1},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm(c.words);
        EXPECT_EQ(run.out, c.out) << c.words[0];
        EXPECT_EQ(run.exitCode, c.exitCode) << c.words[0];
    }
    write("tolm.txt", "unit lua\nt: { X = " + deepList + " }\n");
    const RunResult deep = tolm({"-l", "1"});
    EXPECT_EQ(deep.out, "Error: " + at("tolm.txt") + "(2,208): nesting deeper than 200 levels\n");
    EXPECT_EQ(deep.exitCode, 1);
}

}  // namespace
