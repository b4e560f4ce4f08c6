// The real binary on input that once crashed it or ended in a wrong status:
// text nested without end, numbers out of range, and output that cannot be
// written.

#include <string>

#include "scenario/tolm_scenario.h"

namespace {

class HostileInputScenario : public TolmScenario {
protected:
    HostileInputScenario() {
        write(".tolm_project.txt", "name demo\nunits { core { \"tolm.txt\" } }\n");
        write("tolm.txt", "unit core\nt: { X = 1 }\n");
    }
};

// Deep nesting in a unit file or a command-line word, and a number out of range, end the run with
// status 1 and a message naming where; nothing overflows the stack.
TEST_F(HostileInputScenario, NestingAndNumbers) {
    const std::string deepList = std::string(20000, '[') + std::string(20000, ']');
    const struct {
        const char* unitFile;
        Words words;
        std::string out;
    } cases[] = {
        {nullptr, {"-l", "1", "X=" + deepList}, "assignment(1,202): nesting deeper than 200 levels\n"},
        {nullptr, {"-l", "1", "X=99999999999"}, "assignment(1,2): number 99999999999 is out of range for a 32-bit integer\n"},
        {"deep", {"-l", "1"}, "Error: " + at("tolm.txt") + "(2,208): nesting deeper than 200 levels\n"},
    };
    for (const auto& c : cases) {
        if (c.unitFile) write("tolm.txt", "unit core\nt: { X = " + deepList + " }\n");
        const auto result = tolm(c.words);
        EXPECT_EQ(result.exitCode, 1) << c.out;
        EXPECT_EQ(result.out, c.out);
    }
}

// Output that cannot be written is a failure with its own message, not a silent success; writable
// output keeps its status. The shell only points standard output at the device and then becomes
// tolm itself.
TEST_F(HostileInputScenario, UnwritableStandardOutputFails) {
    const struct {
        const char* device;
        int exitCode;
        const char* err;
    } cases[] = {
        {"/dev/full", 1, "Error: cannot write to standard output\n"},
        {"/dev/null", 0, ""},
    };
    for (const auto& c : cases) {
        Scenario::RunEnvironment environment;
        environment.home = home_.path().string();
        const auto result = Scenario::runProgram(
            "/bin/sh", {"-c", std::string("exec \"$0\" --version >") + c.device, TOLM_BINARY}, work_.path(), environment);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.device;
        EXPECT_EQ(result.err, c.err) << c.device;
    }
}

}  // namespace
