#include "util/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <thread>
#include <utility>

#include "util/regular_file.h"

namespace Util {

namespace {

// Short enough that a waiter follows the holder almost at once, long enough
// that waiting costs next to nothing.
constexpr std::chrono::milliseconds PauseBetweenAttempts{10};
// Rounds of "open it, else make it" while other runs make and remove it.
constexpr int OpenRounds = 16;

constexpr int OpenFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

int openWith(const std::filesystem::path& file, int flags) {
    int descriptor = -1;
    do descriptor = ::open(file.c_str(), flags | OpenFlags, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Never through a link, not even a dangling one: O_EXCL fails on any.
int createNew(const std::filesystem::path& file) {
    return openWith(file, O_RDWR | O_CREAT | O_EXCL);
}

// Whether the open file has a name besides the lock file's: a note written
// into it would change that file too. A name made later, while tolm holds
// the file open, names tolm's own note, so the check at opening is enough.
bool hasOtherNames(int descriptor) {
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && status.st_nlink > 1;
}

}  // namespace

FileLock::FileLock(std::filesystem::path file) : file_(std::move(file)) {
    // A file this object made has no other name to look for.
    bool made = false;
    for (int round = 0; round < OpenRounds; ++round) {
        descriptor_ = openWith(file_, O_RDWR);
        if (descriptor_ >= 0) break;
        error_ = errno;
        if (error_ != ENOENT) break;
        descriptor_ = createNew(file_);
        made = descriptor_ >= 0;
        if (made) break;
        error_ = errno;
        // Another run made it between the two opens: open that one.
        if (error_ == EEXIST) continue;
        // Whether a lock file that cannot be made rules out locking is the
        // caller's to judge.
        missing_ = true;
        return;
    }
    if (descriptor_ >= 0) {
        writable_ = true;
        error_ = 0;
    } else {
        if (error_ != EACCES && error_ != EROFS && error_ != EPERM) return;
        descriptor_ = openWith(file_, O_RDONLY);
        // The reason the file could not be opened for writing is the one to tell.
        if (descriptor_ < 0) return;
        error_ = 0;
    }
    if (made || !hasOtherNames(descriptor_)) return;
    ::close(descriptor_);
    descriptor_ = -1;
    writable_ = false;
    error_ = EMLINK;
}

FileLock::~FileLock() {
    if (descriptor_ < 0) return;
    if (held_) ::flock(descriptor_, LOCK_UN);
    ::close(descriptor_);
}

FileLock::Attempt FileLock::tryLock() {
    if (held_) return Attempt::Held;
    if (descriptor_ < 0) return Attempt::Failed;
    while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return Attempt::Busy;
        error_ = errno;
        return Attempt::Failed;
    }
    held_ = true;
    return Attempt::Held;
}

FileLock::Attempt FileLock::lock(std::optional<std::chrono::milliseconds> timeout,
                                 const std::function<void()>& betweenAttempts) {
    const auto giveUp = std::chrono::steady_clock::now() + timeout.value_or(std::chrono::milliseconds::zero());
    for (;;) {
        const Attempt attempt = tryLock();
        if (attempt != Attempt::Busy) return attempt;
        if (timeout && std::chrono::steady_clock::now() >= giveUp) return Attempt::Busy;
        std::this_thread::sleep_for(PauseBetweenAttempts);
        if (betweenAttempts) betweenAttempts();
    }
}

bool FileLock::writeNote(std::string_view note) {
    if (!held_ || !writable_) return false;
    // Emptied first: a reader may see nothing, never the old note's tail.
    if (::ftruncate(descriptor_, 0) != 0) return false;
    for (std::size_t done = 0; done < note.size();) {
        const ssize_t count = ::pwrite(descriptor_, note.data() + done, note.size() - done, static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

std::optional<pid_t> FileLock::holderProcess() const {
    struct stat status {};
    if (descriptor_ < 0 || ::fstat(descriptor_, &status) != 0) return std::nullopt;
    return flockHolderIn(readRegularFile("/proc/locks").bytes, major(status.st_dev), minor(status.st_dev), status.st_ino);
}

std::optional<pid_t> flockHolderIn(std::string_view locks, unsigned major, unsigned minor, unsigned long long inode) {
    std::istringstream lines{std::string(locks)};
    for (std::string line; std::getline(lines, line);) {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:01:5678 0 EOF"; a waiter's
        // line has "->" before its kind.
        std::istringstream fields(line);
        std::string number, kind, mode, access, file;
        pid_t pid = 0;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
        unsigned fileMajor = 0, fileMinor = 0;
        unsigned long long fileInode = 0;
        char end = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu%c", &fileMajor, &fileMinor, &fileInode, &end) != 3) continue;
        if (fileMajor == major && fileMinor == minor && fileInode == inode && pid > 0) return pid;
    }
    return std::nullopt;
}

std::string FileLock::readNote(std::size_t limit) const {
    if (descriptor_ < 0) return {};
    std::string note(limit, '\0');
    ssize_t count = -1;
    do count = ::pread(descriptor_, note.data(), limit, 0);
    while (count < 0 && errno == EINTR);
    note.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return note;
}

}  // namespace Util
