#include "util/file_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <thread>
#include <utility>

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

// The system's lock table; empty when it cannot be read. Read as it comes:
// it is asked on every build, and no status of it would tell its size.
std::string systemLocks() {
    std::string locks;
    const int in = ::open("/proc/locks", O_RDONLY | O_CLOEXEC);
    if (in < 0) return locks;
    char chunk[16384];
    for (;;) {
        const ssize_t got = ::read(in, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        locks.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(in);
    return locks;
}

std::optional<pid_t> flockHolderOf(const FileIdentity& identity) {
    const auto device = static_cast<dev_t>(identity.device);
    return flockHolderIn(systemLocks(), major(device), minor(device), identity.inode);
}

// How /proc/<pid>/fd shows a file whose name was removed after it was opened.
constexpr const char* DeletedSuffix = " (deleted)";

std::optional<FileIdentity> identityOfPath(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return identityOf(status);
}

// Whether the process has the file of that identity open as a former file
// of the lock's path: under a removed name `name` (its file name and the
// suffix) in the directory of identity `directory`, or with a note that
// `notedHere` takes for one of the path (it was renamed). Another user's
// process, or one that ends or closes the file meanwhile, shows nothing.
bool holdsFormer(pid_t pid, const FileIdentity& file, const std::string& name, const FileIdentity& directory,
                 const std::function<bool(std::string_view)>& notedHere, std::size_t noteLimit) {
    const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
    DIR* listing = ::opendir(descriptors.c_str());
    if (listing == nullptr) return false;
    std::string link;
    while (const dirent* entry = ::readdir(listing)) {
        link = descriptors + "/" + entry->d_name;
        // Through the link the file itself is reached, removed or not.
        if (identityOfPath(link) == file) break;
        link.clear();
    }
    ::closedir(listing);
    if (link.empty()) return false;
    std::string shown(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link.c_str(), shown.data(), shown.size());
    shown.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    if (shown.size() > name.size() && shown.ends_with(name)) {
        const std::string place = shown.substr(0, shown.size() - name.size());
        if (identityOfPath(place.empty() ? "/" : place) == directory) return true;
    }
    // Opened anew through the link, without blocking on whatever may have
    // taken the descriptor's number meanwhile; only the same file is read.
    const int in = ::open(link.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return false;
    struct stat status {};
    std::string note;
    if (::fstat(in, &status) == 0 && identityOf(status) == file) {
        note.resize(noteLimit);
        const ssize_t count = ::pread(in, note.data(), note.size(), 0);
        note.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    }
    ::close(in);
    return !note.empty() && notedHere(note);
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

std::optional<pid_t> FileLock::formerFileHolder(const std::function<bool(std::string_view)>& notedHere,
                                                std::size_t noteLimit) const {
    if (descriptor_ < 0) return std::nullopt;
    const auto device = static_cast<dev_t>(identity_.device);
    const std::string name = "/" + file_.filename().string() + DeletedSuffix;
    std::optional<FileIdentity> directory;
    for (const HeldFlock& flock : heldFlocksIn(systemLocks())) {
        if (flock.major != major(device) || flock.minor != minor(device) || flock.inode == identity_.inode) continue;
        // Only a flocked file of this device is looked for among the
        // holder's open files, so most runs look at none.
        if (!directory) {
            directory = identityOfPath(file_.has_parent_path() ? file_.parent_path() : ".");
            if (!directory) return std::nullopt;
        }
        if (holdsFormer(flock.pid, {identity_.device, flock.inode}, name, *directory, notedHere, noteLimit))
            return flock.pid;
    }
    return std::nullopt;
}

std::vector<HeldFlock> heldFlocksIn(std::string_view locks) {
    std::vector<HeldFlock> held;
    std::istringstream lines{std::string(locks)};
    for (std::string line; std::getline(lines, line);) {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:01:5678 0 EOF"; a waiter's
        // line has "->" before its kind.
        std::istringstream fields(line);
        std::string number, kind, mode, access, file;
        HeldFlock flock;
        if (!(fields >> number >> kind >> mode >> access >> flock.pid >> file) || kind != "FLOCK") continue;
        char end = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu%c", &flock.major, &flock.minor, &flock.inode, &end) != 3) continue;
        // A holder the system cannot number for this /proc shows as 0.
        if (flock.pid > 0) held.push_back(flock);
    }
    return held;
}

std::optional<pid_t> flockHolderIn(std::string_view locks, unsigned major, unsigned minor, unsigned long long inode) {
    for (const HeldFlock& flock : heldFlocksIn(locks))
        if (flock.major == major && flock.minor == minor && flock.inode == inode) return flock.pid;
    return std::nullopt;
}

}  // namespace Util
