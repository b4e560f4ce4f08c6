#include <gtest/gtest.h>

#include <string>

#include "scenario/run_tolm.h"
#include "scenario/scratch_dir.h"

namespace {

// Output that cannot be written is a failure with its own message, not a
// silent success; writable output keeps its status. The shell only points
// standard output at the device and then becomes tolm itself.
TEST(OutputFailureScenario, UnwritableStandardOutputFails) {
    ScratchDir work;
    const struct {
        const char* target;
        int exitCode;
        const char* err;
    } cases[] = {
        {"/dev/full", 1, "Error: cannot write to standard output\n"},
        {"/dev/null", 0, ""},
    };
    for (const auto& c : cases) {
        Scenario::RunEnvironment environment;
        environment.home = work.path().string();
        const auto result = Scenario::runProgram(
            "/bin/sh", {"-c", std::string("exec \"$0\" --version >") + c.target, TOLM_BINARY}, work.path(), environment);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.target;
        EXPECT_EQ(result.err, c.err) << c.target;
    }
}

}  // namespace
