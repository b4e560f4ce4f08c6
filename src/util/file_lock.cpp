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
// Rounds of "open it, else make it" while other runs make and remove it;
// also of "lock it, find it renamed, open it again".
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

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino)};
}

LockAttempt flockOnce(int descriptor, int& error) {
    while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return LockAttempt::Busy;
        error = errno;
        return LockAttempt::Failed;
    }
    return LockAttempt::Held;
}

LockAttempt attemptUntil(const std::function<LockAttempt()>& attempt, std::optional<std::chrono::milliseconds> timeout,
                         const std::function<void()>& betweenAttempts) {
    const auto giveUp = std::chrono::steady_clock::now() + timeout.value_or(std::chrono::milliseconds::zero());
    for (;;) {
        const LockAttempt result = attempt();
        if (result != LockAttempt::Busy) return result;
        if (timeout && std::chrono::steady_clock::now() >= giveUp) return LockAttempt::Busy;
        std::this_thread::sleep_for(PauseBetweenAttempts);
        if (betweenAttempts) betweenAttempts();
    }
}

// Lets go of a flock, when held; the descriptor stays open.
void letGo(int descriptor, bool& held) {
    if (!held) return;
    ::flock(descriptor, LOCK_UN);
    held = false;
}

std::optional<pid_t> flockHolderOf(const FileIdentity& identity) {
    const auto device = static_cast<dev_t>(identity.device);
    return flockHolderIn(readRegularFile("/proc/locks").bytes, major(device), minor(device), identity.inode);
}

}  // namespace

FileLock::FileLock(std::filesystem::path file) : file_(std::move(file)) {
    open();
}

void FileLock::open() {
    error_ = 0;
    missing_ = false;
    writable_ = false;
    identity_ = {};
    for (int round = 0; round < OpenRounds; ++round) {
        descriptor_ = openWith(file_, O_RDWR);
        if (descriptor_ >= 0) break;
        error_ = errno;
        if (error_ != ENOENT) break;
        descriptor_ = createNew(file_);
        if (descriptor_ >= 0) break;
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
    } else {
        if (error_ != EACCES && error_ != EROFS && error_ != EPERM) return;
        descriptor_ = openWith(file_, O_RDONLY);
        // The reason the file could not be opened for writing is the one to tell.
        if (descriptor_ < 0) return;
    }
    error_ = 0;
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        error_ = errno;
        close();
        return;
    }
    identity_ = identityOf(status);
    // A name made later, while tolm holds the file open, names tolm's own
    // note, so the check at opening is enough.
    if (status.st_nlink > 1) writable_ = false;
}

void FileLock::close() {
    if (descriptor_ < 0) return;
    letGo(descriptor_, held_);
    ::close(descriptor_);
    descriptor_ = -1;
}

FileLock::~FileLock() {
    close();
}

bool FileLock::stillNamed() const {
    struct stat status {};
    if (::lstat(file_.c_str(), &status) == 0) return identityOf(status) == identity_;
    // Nothing to tell otherwise (a directory above it turned unsearchable).
    return errno != ENOENT && errno != ENOTDIR;
}

FileLock::Attempt FileLock::tryLock() {
    if (held_) return Attempt::Held;
    for (int round = 0; round < OpenRounds; ++round) {
        if (descriptor_ < 0) return Attempt::Failed;
        const Attempt attempt = flockOnce(descriptor_, error_);
        if (attempt != Attempt::Held) return attempt;
        held_ = true;
        if (stillNamed()) return Attempt::Held;
        close();
        open();
    }
    // The path names another file at each look: whoever keeps replacing it
    // may be taking turns with it, so this is no turn to take yet.
    return Attempt::Busy;
}

FileLock::Attempt FileLock::lock(std::optional<std::chrono::milliseconds> timeout,
                                 const std::function<void()>& betweenAttempts) {
    return attemptUntil([this] { return tryLock(); }, timeout, betweenAttempts);
}

void FileLock::unlock() {
    letGo(descriptor_, held_);
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

std::string FileLock::readNote(std::size_t limit) const {
    if (descriptor_ < 0) return {};
    std::string note(limit, '\0');
    ssize_t count = -1;
    do count = ::pread(descriptor_, note.data(), limit, 0);
    while (count < 0 && errno == EINTR);
    note.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return note;
}

std::optional<pid_t> FileLock::holderProcess() const {
    if (descriptor_ < 0) return std::nullopt;
    return flockHolderOf(identity_);
}

DirectoryLock::DirectoryLock(const std::filesystem::path& directory) {
    do descriptor_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (descriptor_ < 0 && errno == EINTR);
    if (descriptor_ < 0) error_ = errno;
}

DirectoryLock::~DirectoryLock() {
    // Closing lets go of the lock.
    if (descriptor_ >= 0) ::close(descriptor_);
}

DirectoryLock::Attempt DirectoryLock::tryLock() {
    if (held_) return Attempt::Held;
    if (descriptor_ < 0) return Attempt::Failed;
    const Attempt attempt = flockOnce(descriptor_, error_);
    held_ = attempt == Attempt::Held;
    return attempt;
}

DirectoryLock::Attempt DirectoryLock::lock(std::optional<std::chrono::milliseconds> timeout,
                                           const std::function<void()>& betweenAttempts) {
    return attemptUntil([this] { return tryLock(); }, timeout, betweenAttempts);
}

void DirectoryLock::unlock() {
    letGo(descriptor_, held_);
}

std::optional<pid_t> DirectoryLock::holderProcess() const {
    if (descriptor_ < 0) return std::nullopt;
    return flockHolderOf(identity());
}

FileIdentity DirectoryLock::identity() const {
    struct stat status {};
    if (descriptor_ < 0 || ::fstat(descriptor_, &status) != 0) return {};
    return identityOf(status);
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

}  // namespace Util
