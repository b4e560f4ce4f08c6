#include "util/file_lock.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"

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

// A link in the lock file's place is never followed, dangling or not: the lock fails with ELOOP,
// nothing is made where it points, and the file it names is neither written nor locked.
TEST(FileLock, LinkIsNeverFollowed) {
    const ScratchDir directory, elsewhere;
    const std::filesystem::path absent = elsewhere.path() / "absent", present = elsewhere.write("present", "keep");
    for (const std::filesystem::path& target : {absent, present}) {
        const std::filesystem::path link = directory.path() / "x.lock";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
        Util::FileLock lock(link);
        EXPECT_EQ(lock.tryLock(), Attempt::Failed) << target;
        EXPECT_EQ(lock.error(), ELOOP) << target;
        EXPECT_FALSE(lock.missing()) << target;
        EXPECT_FALSE(lock.writeNote("1 2\n"));
    }
    EXPECT_FALSE(std::filesystem::exists(absent));
    EXPECT_EQ(TestSupport::contentOf(present), "keep");
    Util::FileLock target(present);
    EXPECT_EQ(target.tryLock(), Attempt::Held);
}

// For a user without the rights: a lock file that exists but cannot be opened is not missing, one
// that a read-only place cannot take is. Checked in a child without root rights, which permission
// bits do not bind.
TEST(FileLock, PermissionDeniedOnlyMissingWhereNoneCouldBeMade) {
    namespace fs = std::filesystem;
    const ScratchDir directory;
    const fs::path place = directory.path() / "place";
    const fs::path closed = directory.write("place/closed.lock", "");
    fs::permissions(closed, fs::perms::none);
    fs::permissions(place, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(directory.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    constexpr int NoRightsToDrop = 99;
    const pid_t child = fork();
    if (child == 0) {
        constexpr uid_t Nobody = 65534;
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
            _exit(NoRightsToDrop);
        Util::FileLock unopenable(closed), unmakeable(place / "new.lock");
        const bool right = unopenable.tryLock() == Attempt::Failed && unopenable.error() == EACCES &&
                           !unopenable.missing() && unmakeable.tryLock() == Attempt::Failed &&
                           unmakeable.error() == EACCES && unmakeable.missing();
        _exit(right ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    fs::permissions(place, fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == NoRightsToDrop) GTEST_SKIP() << "no rights to drop";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(place / "new.lock"));
}

// The holder's note replaces the whole content, a longer one left by a holder that died too, and
// whoever opens the file reads it; one that does not hold the lock writes none.
TEST(FileLock, NoteOfTheHolder) {
    const ScratchDir directory;
    const std::filesystem::path file = directory.write("x.lock", "123456 789012\n");
    Util::FileLock holder(file), other(file);
    EXPECT_FALSE(holder.writeNote("1 2\n"));
    ASSERT_EQ(holder.tryLock(), Attempt::Held);
    EXPECT_TRUE(holder.writeNote("7 8\n"));
    EXPECT_EQ(other.readNote(64), "7 8\n");
    EXPECT_EQ(other.readNote(2), "7 ");
    EXPECT_FALSE(other.writeNote("9 9\n"));
    EXPECT_TRUE(holder.writeNote(""));
    EXPECT_EQ(TestSupport::contentOf(file), "");
}

// A lock file with a second name is locked through either name, one holder for both, but never
// written: no note, no emptying, and the file keeps its bytes.
TEST(FileLock, SecondNameIsNeverWritten) {
    const ScratchDir directory;
    const std::filesystem::path source = directory.write("main.c", "int main;\n"), lock = directory.path() / "x.lock";
    std::filesystem::create_hard_link(source, lock);
    {
        Util::FileLock linked(lock), other(source);
        EXPECT_EQ(linked.error(), 0);
        ASSERT_EQ(linked.tryLock(), Attempt::Held);
        EXPECT_EQ(other.tryLock(), Attempt::Busy);
        EXPECT_EQ(linked.identity(), other.identity());
        EXPECT_FALSE(linked.writeNote("1 2\n"));
        EXPECT_FALSE(linked.writeNote(""));
        EXPECT_EQ(linked.readNote(64), "int main;\n");
    }
    std::filesystem::remove(lock);
    EXPECT_EQ(TestSupport::contentOf(source), "int main;\n");
}

// A lock taken on a file the path no longer names (removed, or replaced) is let go and taken on
// what the path names now, made when missing; a holder of that one keeps it, and a link put in
// its place is never followed.
TEST(FileLock, LockFollowsThePath) {
    namespace fs = std::filesystem;
    const ScratchDir directory;
    const fs::path lock = directory.path() / "x.lock", elsewhere = directory.write("elsewhere", "keep");
    const struct {
        const char* change;
        std::function<void()> apply;
        Attempt attempt;
    } cases[] = {
        {"unchanged", [] {}, Attempt::Held},
        {"removed", [&] { fs::remove(lock); }, Attempt::Held},
        {"replaced", [&] { fs::remove(lock); directory.write("x.lock", "new"); }, Attempt::Held},
        {"replaced and held", [&] { fs::remove(lock); directory.write("x.lock", ""); }, Attempt::Busy},
        {"linked", [&] { fs::remove(lock); fs::create_symlink(elsewhere, lock); }, Attempt::Failed},
    };
    for (const auto& test : cases) {
        fs::remove(lock);
        Util::FileLock late(lock);
        test.apply();
        std::optional<Util::FileLock> holder;
        if (test.attempt == Attempt::Busy) {
            holder.emplace(lock);
            ASSERT_EQ(holder->tryLock(), Attempt::Held) << test.change;
        }
        EXPECT_EQ(late.tryLock(), test.attempt) << test.change;
        if (test.attempt == Attempt::Failed) {
            EXPECT_EQ(late.error(), ELOOP) << test.change;
        }
        if (test.attempt != Attempt::Held) continue;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(lock))) << test.change;
        EXPECT_EQ(Util::FileLock(lock).tryLock(), Attempt::Busy) << test.change;
        EXPECT_TRUE(late.writeNote("1 2\n")) << test.change;
        EXPECT_EQ(TestSupport::contentOf(lock), "1 2\n") << test.change;
    }
    EXPECT_EQ(TestSupport::contentOf(elsewhere), "keep");
}

// A holder that keeps its lock on a file removed, replaced or renamed under it is found from the
// path, once a lock is taken on what the path names now: a removed file by the name the system
// shows, a renamed one by its note. Not once it lets go, nor for a removed file of the same name in
// another directory, nor for a renamed one whose note names another file, nor while the path still
// names the held file.
TEST(FileLock, HolderOfAFormerFileIsFound) {
    namespace fs = std::filesystem;
    const ScratchDir directory;
    const fs::path lock = directory.path() / "x.lock", other = directory.path() / "sub/x.lock";
    fs::create_directories(other.parent_path());
    const auto notedHere = [](std::string_view note) { return note == "here\n"; };
    const struct {
        const char* change;
        fs::path held;
        const char* note;
        std::function<void(Util::FileLock&)> apply;
        bool found;
    } cases[] = {
        {"unchanged", lock, "here\n", [](Util::FileLock&) {}, false},
        {"removed", lock, "", [&](Util::FileLock&) { fs::remove(lock); }, true},
        {"replaced", lock, "", [&](Util::FileLock&) { fs::remove(lock); directory.write("x.lock", "other"); }, true},
        {"renamed", lock, "here\n", [&](Util::FileLock&) { fs::rename(lock, directory.path() / "x.lock.old"); }, true},
        {"renamed elsewhere", lock, "here\n", [&](Util::FileLock&) { fs::rename(lock, other); }, true},
        {"renamed, another's note", lock, "there\n",
         [&](Util::FileLock&) { fs::rename(lock, directory.path() / "x.lock.old"); }, false},
        {"removed, let go", lock, "here\n", [&](Util::FileLock& held) { fs::remove(lock); held.unlock(); }, false},
        {"removed elsewhere", other, "", [&](Util::FileLock&) { fs::remove(other); }, false},
    };
    for (const auto& test : cases) {
        for (const fs::path& file : {lock, other, directory.path() / "x.lock.old"}) fs::remove(file);
        Util::FileLock held(test.held);
        ASSERT_EQ(held.tryLock(), Attempt::Held) << test.change;
        ASSERT_TRUE(held.writeNote(test.note)) << test.change;
        test.apply(held);
        // Taken on what the path names now, unless that is the held file.
        Util::FileLock later(lock);
        EXPECT_EQ(later.tryLock(), std::string(test.change) == "unchanged" ? Attempt::Busy : Attempt::Held)
            << test.change;
        const std::optional<Util::FormerFile> former = later.formerFileHolder(notedHere, 64);
        EXPECT_EQ(former ? std::optional<pid_t>(former->holder) : std::nullopt,
                  test.found ? std::optional<pid_t>(::getpid()) : std::nullopt)
            << test.change;
    }
}

// The holder of a lock as /proc/locks shows it: the flock on that device and inode, not a waiter's
// line, another kind of lock or another file; for a real lock, the process that took it.
TEST(FileLock, HolderAsTheSystemShowsIt) {
    const std::string locks = "1: POSIX  ADVISORY  WRITE 11 fe:01:42 0 EOF\n"
                              "2: FLOCK  ADVISORY  WRITE 22 fe:01:43 0 EOF\n"
                              "2: -> FLOCK  ADVISORY  WRITE 33 fe:01:42 0 EOF\n"
                              "3: FLOCK  ADVISORY  WRITE 44 fe:01:42 0 EOF\n";
    EXPECT_EQ(Util::flockHolderIn(locks, 0xfe, 1, 42), 44);
    EXPECT_EQ(Util::flockHolderIn(locks, 0xfe, 2, 42), std::nullopt);
    EXPECT_EQ(Util::flockHolderIn("1: FLOCK ADVISORY WRITE 5 fe:01:42x 0 EOF\n", 0xfe, 1, 42), std::nullopt);
    // A holder in a pid namespace this /proc does not show is numbered 0.
    EXPECT_EQ(Util::flockHolderIn("1: FLOCK ADVISORY WRITE 0 fe:01:42 0 EOF\n", 0xfe, 1, 42), std::nullopt);
    const std::vector<Util::HeldFlock> flocks = Util::heldFlocksIn(locks);
    ASSERT_EQ(flocks.size(), 2u);
    EXPECT_EQ(flocks[0].pid, 22);
    EXPECT_EQ(flocks[0].inode, 43u);

    const ScratchDir directory;
    Util::FileLock held(directory.path() / "x.lock"), other(directory.path() / "x.lock");
    EXPECT_EQ(other.holderProcess(), std::nullopt);
    ASSERT_EQ(held.tryLock(), Attempt::Held);
    EXPECT_EQ(other.holderProcess(), ::getpid());
}

}  // namespace
