// Replays every input that once made a fuzz target fail, and the seed corpus, through the same checks
// the fuzz targets run.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/fuzz_checks.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Runs `target`'s check on every file below fuzz/<kind>/<target>; returns how many.
int replay(const FuzzChecks::Target& target, const char* kind) {
    const fs::path directory = fs::path(TOLM_FUZZ_DIR) / kind / target.name;
    if (!fs::is_directory(directory)) return 0;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (!entry.is_regular_file()) continue;
        ++count;
        try {
            target.check(TestSupport::contentOf(entry.path()));
        } catch (const FuzzChecks::Finding& finding) {
            ADD_FAILURE() << entry.path() << ": " << finding.what();
        }
    }
    return count;
}

// Every fuzz target passes on its former failures and its seeds; each has seeds to start from.
TEST(FuzzRegressions, EveryTargetPassesItsInputs) {
    TestSupport::LogCapture quiet(100);
    testing::internal::CaptureStderr();
    for (const auto& target : FuzzChecks::targets()) {
        replay(target, "regressions");
        EXPECT_GT(replay(target, "corpus"), 0) << target.name;
    }
    testing::internal::GetCapturedStderr();
}

}  // namespace
