#include "util/file_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "util/number_text.h"

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
// Files of one holder looked at between two calls of the caller's check.
constexpr std::size_t FilesBetweenChecks = 256;

std::optional<FileIdentity> identityOfPath(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return identityOf(status);
}

// What a former file of the lock's path is known by: its name once removed
// (the file name and the suffix), the identity of its directory, and the
// caller's judgement of a note.
struct FormerSigns {
    const std::string& removedName;
    const FileIdentity& directory;
    const std::function<bool(std::string_view)>& notedHere;
    std::size_t noteLimit;
};

// The file behind entry `entry` of a holder's fd directory, of that
// status, opened anew when it is a former file of the lock's path: shown
// under the removed name in the lock's directory, or with a note the caller
// takes for one of the path (it was renamed). Its descriptor is closed when
// it is such a file that could not be opened; none when it is no such file.
std::optional<FileDescriptor> formerFileAt(int descriptors, const char* entry, const struct stat& status,
                                           const FormerSigns& signs) {
    // Most flocked files are other programs' lock files, often empty: only
    // a file with no name left, or one that may hold a note, is read, so a
    // process holding thousands of flocks costs a status of each.
    const bool nameless = status.st_nlink == 0;
    const bool mayHoldNote = S_ISREG(status.st_mode) && status.st_size > 0 &&
                             static_cast<std::size_t>(status.st_size) <= signs.noteLimit;
    if (!nameless && !mayHoldNote) return std::nullopt;
    const FileIdentity file = identityOf(status);
    bool removedHere = false;
    if (nameless) {
        std::string shown(PATH_MAX, '\0');
        const ssize_t length = ::readlinkat(descriptors, entry, shown.data(), shown.size());
        shown.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        if (shown.size() > signs.removedName.size() && shown.ends_with(signs.removedName)) {
            const std::string place = shown.substr(0, shown.size() - signs.removedName.size());
            removedHere = identityOfPath(place.empty() ? "/" : place) == signs.directory;
        }
        if (!removedHere && !mayHoldNote) return std::nullopt;
    }
    // Opened anew through the link, without blocking on whatever may have
    // taken the descriptor's number meanwhile; only the same file counts.
    FileDescriptor opened(::openat(descriptors, entry, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat reached {};
    if (opened.get() >= 0 && (::fstat(opened.get(), &reached) != 0 || !(identityOf(reached) == file))) opened.close();
    if (removedHere) return opened;
    if (opened.get() < 0) return std::nullopt;
    std::string note(signs.noteLimit, '\0');
    const ssize_t count = ::pread(opened.get(), note.data(), note.size(), 0);
    note.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (note.empty() || !signs.notedHere(note)) return std::nullopt;
    return opened;
}

// A former file of the lock's path among the files the process has open
// that are on `device` with one of `inodes` (sorted); each of its open files
// is looked at once. Another user's process, or one that ends or closes the
// file meanwhile, shows nothing.
std::optional<FileDescriptor> formerFileOf(pid_t pid, unsigned long long device,
                                           const std::vector<unsigned long long>& inodes, const FormerSigns& signs,
                                           const std::function<void()>& betweenChecks) {
    const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(descriptors.c_str()), ::closedir);
    if (!listing) return std::nullopt;
    const int listed = ::dirfd(listing.get());
    std::size_t looked = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        if (entry->d_name[0] == '.') continue;
        if (++looked % FilesBetweenChecks == 0 && betweenChecks) betweenChecks();
        // Through the link the file itself is reached, removed or not.
        struct stat status {};
        if (::fstatat(listed, entry->d_name, &status, 0) != 0) continue;
        if (static_cast<unsigned long long>(status.st_dev) != device ||
            !std::binary_search(inodes.begin(), inodes.end(), static_cast<unsigned long long>(status.st_ino)))
            continue;
        if (std::optional<FileDescriptor> former = formerFileAt(listed, entry->d_name, status, signs)) return former;
    }
    return std::nullopt;
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

// A shared lock on the first byte of the directory: one per open
// description, so every holder's counts, and none conflicts with another.
struct flock markRange(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 1;
    return range;
}

void FileLock::emptyNote() {
    if (directory_.get() >= 0) {
        struct flock mark = markRange(F_UNLCK);
        ::fcntl(directory_.get(), F_OFD_SETLK, &mark);
    }
    if (!noted_) return;
    writeNote("");
    noted_ = false;
}

bool FileLock::othersMarkDirectory() const {
    if (directory_.get() < 0) return true;
    // This object's own mark never conflicts with its own question.
    struct flock mark = markRange(F_WRLCK);
    if (::fcntl(directory_.get(), F_OFD_GETLK, &mark) != 0) return true;
    return mark.l_type != F_UNLCK;
}

void FileLock::close() {
    if (descriptor_ < 0) return;
    if (held_) emptyNote();
    letGo(descriptor_, held_);
    ::close(descriptor_);
    descriptor_ = -1;
    held_ = false;
}

FileLock::~FileLock() {
    close();
}

void FileLock::markDirectory() {
    if (directory_.get() < 0)
        directory_ = FileDescriptor(
            ::open(file_.has_parent_path() ? file_.parent_path().c_str() : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory_.get() < 0) return;
    struct flock mark = markRange(F_RDLCK);
    // A directory that takes no mark is asked about in vain too, and then
    // always counts as marked by others.
    if (::fcntl(directory_.get(), F_OFD_SETLK, &mark) != 0) directory_.close();
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
        if (stepHook_) stepHook_("locked");
        // The note before the look at the path: a run that finds this file
        // renamed from then on reads in it whose it is.
        if (!note_.empty()) noted_ = writeNote(note_);
        if (marksDirectory_) markDirectory();
        if (stepHook_) stepHook_("noted");
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
    if (held_) emptyNote();
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

std::optional<FormerFile> FileLock::formerFileHolder(const std::function<bool(std::string_view)>& notedHere,
                                                     std::size_t noteLimit,
                                                     const std::function<void()>& betweenHolders) const {
    if (descriptor_ < 0) return std::nullopt;
    const auto device = static_cast<dev_t>(identity_.device);
    // Only a flocked file of this device is looked for among its holder's
    // open files, so most runs look at none; and each holder's files only
    // once, however many of them it holds flocks on.
    std::map<pid_t, std::vector<unsigned long long>> flockedBy;
    for (const HeldFlock& flock : heldFlocksIn(systemLocks()))
        if (flock.major == major(device) && flock.minor == minor(device) && flock.inode != identity_.inode)
            flockedBy[flock.pid].push_back(flock.inode);
    if (flockedBy.empty()) return std::nullopt;
    const std::optional<FileIdentity> directory = identityOfPath(file_.has_parent_path() ? file_.parent_path() : ".");
    if (!directory) return std::nullopt;
    const std::string removedName = "/" + file_.filename().string() + DeletedSuffix;
    const FormerSigns signs{removedName, *directory, notedHere, noteLimit};
    for (auto& [pid, inodes] : flockedBy) {
        if (betweenHolders) betweenHolders();
        std::sort(inodes.begin(), inodes.end());
        if (std::optional<FileDescriptor> file = formerFileOf(pid, identity_.device, inodes, signs, betweenHolders))
            return FormerFile{pid, std::move(*file)};
    }
    return std::nullopt;
}

void awaitFormerFile(const FormerFile& former, const std::function<void()>& betweenAttempts) {
    // Taken and let go at once when free: holding it would keep out no one
    // who matters, but waiting on it costs a flock every pause, not a look.
    int error = 0;
    for (bool followed = former.file.get() >= 0;;) {
        if (followed) {
            switch (flockOnce(former.file.get(), error)) {
            case LockAttempt::Held: ::flock(former.file.get(), LOCK_UN); return;
            case LockAttempt::Failed: followed = false; break;
            case LockAttempt::Busy: break;
            }
        }
        std::this_thread::sleep_for(PauseBetweenAttempts);
        if (betweenAttempts) betweenAttempts();
        if (!followed) return;
    }
}

std::vector<HeldFlock> heldFlocksIn(std::string_view locks) {
    std::vector<HeldFlock> held;
    while (!locks.empty()) {
        const std::size_t end = std::min(locks.find('\n'), locks.size());
        std::string_view line = locks.substr(0, end);
        locks.remove_prefix(std::min(end + 1, locks.size()));
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:01:5678 0 EOF"; a waiter's
        // line has "->" before its kind. Read field by field: a system
        // with thousands of locks shows as many lines on every build.
        std::string_view fields[6];
        std::size_t count = 0;
        while (count < 6) {
            const std::size_t start = line.find_first_not_of(' ');
            if (start == std::string_view::npos) break;
            line.remove_prefix(start);
            const std::size_t stop = std::min(line.find(' '), line.size());
            fields[count++] = line.substr(0, stop);
            line.remove_prefix(stop);
        }
        if (count < 6 || fields[1] != "FLOCK") continue;
        HeldFlock flock;
        std::string_view file = fields[5];
        const std::size_t first = file.find(':'), second = file.find(':', first + 1);
        if (!parseWholeNumber(fields[4], flock.pid) || second == std::string_view::npos ||
            !parseWholeNumber(file.substr(0, first), flock.major, 16) ||
            !parseWholeNumber(file.substr(first + 1, second - first - 1), flock.minor, 16) ||
            !parseWholeNumber(file.substr(second + 1), flock.inode))
            continue;
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
