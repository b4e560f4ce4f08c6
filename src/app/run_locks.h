#pragma once
// The two locks of a run, each an exclusive flock on a lock file
// (util/file_lock.h), so that runs at once never lose each other's work.
//
// - The registry lock (beside the registry file) is held by a run that
//   changes the registry, from its reading the file again to its replacing
//   it: each change then starts from the last one. It is held for a moment
//   only, so a run that cannot take it within a time-out gives up with an
//   error. Reading the registry takes no lock: the file is always replaced
//   whole, so a reader sees the old one or the new one.
// - The project lock (beside the cache file, see below) is held by a build from its
//   loading the cache to its saving it: two builds in one project would
//   otherwise overwrite each other's outputs and record the other's files as
//   their own. A second build waits for it as long as it takes, saying so
//   once, and then starts from what the first left. Builds in other projects
//   never wait for each other.
//
// A tolm that a command of the build starts (a command target calling tolm)
// must not wait for the lock of the build that runs it, or neither ends; any
// other run must wait, or the two overwrite each other's work. A run that
// finds a lock taken decides, for that lock, by one rule in this order:
//
// 1. When the system shows it the holder (/proc/locks names a process for
//    the locked file, and /proc shows that process), it builds without the
//    lock exactly when that process is one of its ancestors, whatever program
//    it runs (another copy of tolm, or `flock(1)` holding it for its child)
//    and through whatever cleared the environment between them (`env -i`,
//    sudo). Otherwise it waits, whatever its environment says: a run whose
//    environment came from a command of the holder (a server, a terminal
//    multiplexer left running) is no longer below it. A tolm reached through
//    ssh to the same machine is not below the holder either: it waits, and
//    nothing tells it apart from any other run.
// 2. Only when the system shows no holder it can see (a pid namespace with a
//    /proc of its own shows none of the processes above it; a system whose
//    /proc shows no processes) does it try the lock once more, as the holder
//    may just have let go. Still taken, the holder's note decides: the stamp
//    (process id and start time, util/process_ancestry.h) the holder wrote
//    into the lock file as soon as it held it, on a line of its own, then
//    the /proc that numbered it, then the lock file's path (and empties
//    before it lets go), by ancestry when /proc shows that process and the
//    note was numbered through the same /proc (a stamp taken in another pid
//    namespace may name an unrelated process here), else by
//    being the very stamp this run inherited for this lock file. The holder
//    names its lock file and stamp in the environment its commands inherit
//    (TOLM_PROJECT_LOCKS), the file by its device and inode so that a mount
//    of the project at another path finds the same entry. Anything else
//    waits.
//
// A lock file removed while a build holds it (`rm`, `git clean`, another
// file put in its place, `mv`) would let a later run lock a new one beside
// that build. So a run that has taken the project's lock file also asks the
// system whether a process holds a lock on a former file of that path (the
// lock file the build still has open, removed, or renamed and known by the
// path its note gives: util/file_lock.h). Every holder marks the project's
// directory while it holds its lock file, so the system's lock table is
// read only when a mark other than the run's own is there.
// Such a holder decides as in rule 1: below it the run builds without the
// lock, otherwise it lets go and waits until the holder is done. A holder the
// system does not show (in a pid namespace of its own) is not found: a run
// below it takes the new file and builds, and so would a run beside it. Only
// the lock file is locked: the project's directory is left to other programs,
// which may flock it (`flock "$PROJECT" ...`) without meeting tolm.
//
// The build's guard (app/build_interrupt.h) holds a copy of the lock file's
// descriptor: a build killed outright keeps the project until the guard has
// ended what it started, and so does a stopped one whose commands left
// processes behind. A build that ends lets go of the lock itself, at once.
//
// The nested run's cache save is then overwritten by the holder's, which
// writes every record from memory; the recorded output times make each of
// its targets that changed build once more rather than pass as up to date.
//
// A project whose root takes no lock file (a read-only place) or whose file
// system has no locks builds without the lock, as it always did; any other
// failure to use the lock file (one that exists but cannot be opened, a
// directory or a symbolic link in its place) is an error naming it. A link is
// never followed: it would make tolm create, lock or overwrite a file
// elsewhere. A lock file of more than one name is locked but never written,
// so its holder leaves no note and names it in no entry.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/file_lock.h"

class RegistryLock {
public:
    // Takes the lock beside the registry file. Throws Tolm::TolmException
    // naming the lock file when it cannot be used or stays taken, and
    // BuildInterrupted when a signal arrives while it waits.
    explicit RegistryLock(const std::filesystem::path& registryFile);

private:
    Util::FileLock lock_;
};

class ProjectLock {
public:
    // Takes the lock file beside the cache file, waiting for it as long as it
    // takes; the wait ends with BuildInterrupted when a signal arrives (make
    // the BuildInterrupt::Scope first). Throws Tolm::TolmException naming the
    // lock file when it cannot be used.
    explicit ProjectLock(const std::filesystem::path& cacheFile);
    // Empties the lock file, so that no stamp of a holder outlives its turn.
    ~ProjectLock();
    ProjectLock(const ProjectLock&) = delete;
    ProjectLock& operator=(const ProjectLock&) = delete;

private:
    // Empty while the build runs without the lock.
    std::unique_ptr<Util::FileLock> lock_;
};

// The list of held project lock files in the environment, each entry
// "<escaped path>=<device>.<inode>=<stamp>". The path is there for a person
// to read; entries are found by identity alone. It is escaped, so that any
// path, one holding ':' or '=' too, stays within its entry.
namespace HeldLocks {
// The list with the entry of `lockFile` and its holder's stamp added.
std::string withEntry(std::string_view list, const std::string& lockFile, const Util::FileIdentity& identity,
                      std::string_view stamp);
// The stamps of the entries that name the file of that identity.
std::vector<std::string> stampsFor(std::string_view list, const Util::FileIdentity& identity);
}  // namespace HeldLocks
