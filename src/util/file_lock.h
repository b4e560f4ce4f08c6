#pragma once
// An exclusive lock on a lock file, held for the life of the object.
//
// The lock is flock(2) on the file: the system drops it when the holder's
// descriptor closes, also when the holder dies, so a lock file left behind
// never blocks anyone. Its content is a note the holder may leave for those
// who find the lock taken (see app/run_locks.h); nothing else reads it. The
// descriptor is opened close-on-exec, so the commands a holder starts never
// inherit, and never keep, the lock. Waiting is a loop of attempts that do
// not block, so the waiter can give up between them: after a time-out, or
// when the caller's check between attempts throws (a signal that arrived,
// say).
//
// The lock file is never opened through a symbolic link: a link in its place
// would make tolm create, or lock and write, a file anywhere the link points.
// One of more than one name (a hard link: a tree copied with `cp -al`, or a
// source linked by mistake) is locked but never written: the note would
// overwrite, and its removal empty, the file of the other name.
// It is created exclusively when missing, and opened without blocking, so
// that a FIFO in its place cannot stop the run either.
//
// A lock taken on a file that has lost its name meanwhile (removed, or
// replaced by another) would keep out nobody who comes later: they open what
// the path names now. So once the flock is taken, and the holder's note is
// written, the path must still name the locked file; when it does not, the
// lock is let go and taken again on what the path names now. Whoever renames
// the file after that look finds the note in it already. A holder that keeps
// its lock on a file removed under it is still shown by the system:
// /proc/locks lists its lock, and /proc/<pid>/fd shows that file by its old
// path with " (deleted)" after it; a file renamed away tells where it was by
// its note (formerFileHolder).

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/file_descriptor.h"

namespace Util {

// A file as the system numbers it: the same for each of its names, and
// through any mount of it.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// A former file of a lock's path that a process still holds a flock on.
struct FormerFile {
    pid_t holder = 0;
    // The file opened anew, so that a waiter can follow its lock without
    // looking for it again; closed when it could not be opened.
    FileDescriptor file;
};

enum class LockAttempt {
    Held,    // this object holds the lock
    Busy,    // another holds it (after a time-out, still)
    Failed,  // the file could not be opened or locked: error() says why
};

class FileLock {
public:
    using Attempt = LockAttempt;

    // Opens the lock file, creating it when missing; holds nothing yet. An
    // existing lock file in a place this process may not write to, or one of
    // more than one name, is opened for locking only. A symbolic link at the
    // path fails with ELOOP.
    explicit FileLock(std::filesystem::path file);
    // Releases the lock, when held, and closes the file.
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // The note to write as soon as the lock is held, before the path is
    // looked at again (see above); emptied whenever the lock is let go.
    void setNote(std::string note) { note_ = std::move(note); }
    // While held, also mark the lock file's directory (a shared OFD lock on
    // it, which no program's flock of the directory meets), placed with the
    // note: whoever holds a lock file of that directory marks it, also once
    // the file is removed or renamed under it, so a run that finds no other
    // mark there knows no former file is held (othersMarkDirectory).
    void setMarksDirectory() { marksDirectory_ = true; }
    // Test seam: called at the steps of taking the lock, "locked" (the flock
    // is held, no note written yet) and "noted" (the note written, the path
    // not looked at again yet).
    void setStepHook(std::function<void(std::string_view)> hook) { stepHook_ = std::move(hook); }

    // One attempt, without waiting.
    Attempt tryLock();
    // Attempts until the lock is held, a short sleep and `betweenAttempts`
    // between two of them; Busy once `timeout` has passed (none: never).
    Attempt lock(std::optional<std::chrono::milliseconds> timeout, const std::function<void()>& betweenAttempts = {});
    // Lets go of the lock, when held; the file stays open.
    void unlock();
    // Whether a process other than this object marks the directory (see
    // setMarksDirectory); also when that cannot be told.
    bool othersMarkDirectory() const;
    // Whether the held lock file carries this object's note.
    bool noted() const { return noted_; }
    // The open file's descriptor; -1 while none is open.
    int descriptor() const { return descriptor_; }

    // Replaces the file's content; only while held. False when the file may
    // only be locked (see above) or the write failed.
    bool writeNote(std::string_view note);
    // The file's content, at most `limit` bytes; empty when unreadable.
    std::string readNote(std::size_t limit) const;
    // The process the system shows holding the lock on the file (as
    // /proc/locks numbers it); none when it shows none, as for a holder in
    // another pid namespace.
    std::optional<pid_t> holderProcess() const;
    // A process the system shows holding a flock on another file that the
    // path named and names no more: one removed (or replaced by this one),
    // which the holder's /proc/<pid>/fd shows by its old path, or one
    // renamed, whose note (its first `noteLimit` bytes) `notedHere` takes
    // for one of this path. None when the system shows none. A holder the
    // system does not show with its files (in another pid namespace, or
    // another user's process) is not found. Each holder's open files are
    // looked through once, whatever number of flocks it holds;
    // `betweenHolders` is called before each holder and now and then within
    // one with many files, so the caller may give up (a signal that arrived).
    std::optional<FormerFile> formerFileHolder(const std::function<bool(std::string_view)>& notedHere,
                                               std::size_t noteLimit,
                                               const std::function<void()>& betweenHolders = {}) const;

    const std::filesystem::path& file() const { return file_; }
    // The open file's; all zero while none is open.
    const FileIdentity& identity() const { return identity_; }
    // The system's error number of the failure; 0 while there was none.
    int error() const { return error_; }
    // Whether the failure was that no lock file existed and none could be
    // made (error() says why), rather than one that exists being unusable.
    bool missing() const { return missing_; }

private:
    void open();
    // Lets go of the lock, emptying the note first, and closes the file.
    void close();
    // Empties the note this object wrote, when it wrote one, and takes its
    // mark off the directory.
    void emptyNote();
    // Places this object's mark on the directory (setMarksDirectory).
    void markDirectory();
    // Whether the path still names the open file, as far as can be told.
    bool stillNamed() const;

    std::filesystem::path file_;
    FileIdentity identity_;
    int descriptor_ = -1;
    int error_ = 0;
    bool missing_ = false;
    bool writable_ = false;
    bool held_ = false;
    std::string note_;
    bool noted_ = false;
    bool marksDirectory_ = false;
    // The lock file's directory, open while it is marked or asked about.
    FileDescriptor directory_;
    std::function<void(std::string_view)> stepHook_;
};

// Waits while another process holds a flock on the former file, a pause
// and `betweenAttempts` between two looks; at once when the file could not
// be opened, after one pause.
void awaitFormerFile(const FormerFile& former, const std::function<void()>& betweenAttempts = {});

// A flock that /proc/locks shows held (not waited for).
struct HeldFlock {
    pid_t pid = 0;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long long inode = 0;
};

// The flocks that /proc/locks (its text given) shows held, in its order.
std::vector<HeldFlock> heldFlocksIn(std::string_view locks);
// The process that /proc/locks (its text given) shows holding a flock on
// the file of that device and inode; none when no line shows one.
std::optional<pid_t> flockHolderIn(std::string_view locks, unsigned major, unsigned minor, unsigned long long inode);

}  // namespace Util
