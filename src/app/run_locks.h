#pragma once
// The two locks of a run, each a lock file with an exclusive flock
// (util/file_lock.h), so that runs at once never lose each other's work.
//
// - The registry lock (beside the registry file) is held by a run that
//   changes the registry, from its reading the file again to its replacing
//   it: each change then starts from the last one. It is held for a moment
//   only, so a run that cannot take it within a time-out gives up with an
//   error. Reading the registry takes no lock: the file is always replaced
//   whole, so a reader sees the old one or the new one.
// - The project lock (beside the cache file) is held by a build from its
//   loading the cache to its saving it: two builds in one project would
//   otherwise overwrite each other's outputs and record the other's files as
//   their own. A second build waits for it as long as it takes, saying so
//   once, and then starts from what the first left. Builds in other projects
//   never wait for each other.
//
// A tolm that a command of the build starts (a command target calling tolm)
// must not wait for the lock of the build that runs it, or neither ends; any
// other run must wait, or the two overwrite each other's work. So the holder
// writes its stamp (process id and start time, util/process_ancestry.h) into
// the lock file once it holds the lock, and empties the file before it lets
// go; a run that finds the lock taken builds without it when the stamp names
// one of its own ancestors, through whatever cleared its environment between
// them (`env -i`, sudo). A run started from elsewhere waits, even one whose
// environment came from a command of the holder (a server, a terminal
// multiplexer left running), once it is no longer below the holder. A tolm
// reached through ssh to the same machine is not below the holder either:
// it waits, and nothing tells it apart from any other run.
//
// The holder also names its lock file and stamp in the environment its
// commands inherit. That serves a run below the holder that cannot see it: a
// run in a pid namespace with a /proc of its own, which shows none of the
// processes above it, or on a system whose /proc shows no processes. Such a
// run builds without the lock when the stamp it inherited for this very lock
// file is the one in the lock file now, and /proc shows no process of that
// stamp. A run that sees the holder must find it among its ancestors, so a
// copy of the variable (or a stamp of any other process in it) never lets it
// past that holder. A holder that could open its lock file for reading only
// leaves no stamp: a run below it finds it among its ancestors as the tolm
// (a process of this same program file) the system shows holding the lock
// (/proc/locks), which a run in a pid namespace with a /proc of its own
// cannot see, so that one waits.
//
// The nested run's cache save is then overwritten by the holder's, which
// writes every record from memory; the recorded output times make each of
// its targets that changed build once more rather than pass as up to date.
//
// A project whose root takes no lock file (a read-only place) or whose file
// system has no locks builds without the lock, as it always did; any other
// failure to use the lock file (one that exists but cannot be opened, a
// directory, a symbolic link or a file of more than one name in its place)
// is an error naming it. A link is never followed, nor a second name written
// through: it would make tolm create, lock or overwrite a file elsewhere.

#include <filesystem>
#include <memory>
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
    // Takes the lock beside the cache file, waiting for it as long as it
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

// The list of held project lock files in the environment. Each lock file's
// path is escaped, so that any path, one holding ':' or '=' too, is one entry
// and is told apart from every other path.
namespace HeldLocks {
// The list with the entry of `lockFile` and its holder's stamp added.
std::string withEntry(std::string_view list, const std::string& lockFile, std::string_view stamp);
// The stamps of the entries that name exactly `lockFile`.
std::vector<std::string> stampsFor(std::string_view list, const std::string& lockFile);
}  // namespace HeldLocks
