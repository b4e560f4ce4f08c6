#include "util/file_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "scenario/scratch_dir.h"

namespace {

using Attempt = Util::FileLock::Attempt;

// One holder at a time, also within one process: a second lock on the file is busy until the first
// goes away, after a time-out too, and a check between attempts that throws ends the wait. The file
// is made when missing and stays afterwards.
TEST(FileLock, OneHolderAtATime) {
    const ScratchDir directory;
    const std::filesystem::path file = directory.path() / "x.lock";
    {
        Util::FileLock first(file);
        ASSERT_EQ(first.tryLock(), Attempt::Held);
        EXPECT_EQ(first.tryLock(), Attempt::Held);
        Util::FileLock second(file);
        EXPECT_EQ(second.tryLock(), Attempt::Busy);
        EXPECT_EQ(second.lock(std::chrono::milliseconds(30)), Attempt::Busy);
        int checks = 0;
        EXPECT_THROW(second.lock(std::nullopt, [&] { if (++checks == 3) throw std::runtime_error("stop"); }),
                     std::runtime_error);
        EXPECT_EQ(checks, 3);
        EXPECT_EQ(second.error(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    Util::FileLock again(file);
    EXPECT_EQ(again.lock(std::nullopt), Attempt::Held);
}

}  // namespace
