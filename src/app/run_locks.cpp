#include "app/run_locks.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/build_interrupt.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"
#include "util/process_ancestry.h"

namespace {

namespace Messages {
constexpr const char* Waiting = "Waiting for another tolm run in this project to finish...\n";
constexpr const char* Unusable = "Unable to use lock file '{}': {}";
constexpr const char* Link = "Unable to use lock file '{}': it is a symbolic link, which tolm does not follow";
constexpr const char* DirectoryUnusable = "Unable to lock directory '{}': {}";
constexpr const char* RegistryBusy = "The registry lock '{}' is held by another tolm run; gave up after {} seconds.";
}  // namespace Messages

// The project lock files held by the runs that started this one, each entry
// "<escaped path>=<device>.<inode>=<holder's stamp>", separated by ':'.
constexpr const char* HeldVariable = "TOLM_PROJECT_LOCKS";
constexpr const char* LockSuffix = ".lock";
constexpr std::chrono::seconds RegistryTimeout{20};
// Far longer than any stamp; a longer note is no stamp.
constexpr std::size_t NoteLimit = 64;

using Attempt = Util::LockAttempt;

std::filesystem::path lockFileBeside(const std::filesystem::path& file) {
    std::filesystem::path lockFile = file;
    lockFile += LockSuffix;
    return lockFile;
}

[[noreturn]] void throwUnusable(const Util::FileLock& lock) {
    std::error_code ignored;
    if (lock.error() == ELOOP && std::filesystem::is_symlink(lock.file(), ignored))
        throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::Link), lock.file().string()));
    throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::Unusable), lock.file().string(),
                                          std::strerror(lock.error())));
}

// No lock file could be made where there was none (a read-only place), or
// the file system has no locks. A lock file that exists and cannot be opened
// is no such case: another user's run may hold it.
bool lockingImpossible(const Util::FileLock& lock) {
    const int error = lock.error();
    if (lock.missing()) return error == EACCES || error == EROFS || error == EPERM;
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

// A directory this user may not read, or on a file system without flock for
// directories: the lock file keeps the turn alone.
bool directoryLockingImpossible(int error) {
    return error == EACCES || error == EPERM || error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS ||
           error == EBADF;
}

// The entries this run inherited; empty when none.
std::string_view inheritedList() {
    const char* held = std::getenv(HeldVariable);
    return held == nullptr ? std::string_view() : std::string_view(held);
}

void exportHeld(const Util::FileLock& lock, const Util::DirectoryLock* directory, const Util::ProcessStamp& stamp) {
    std::optional<Util::FileIdentity> in;
    if (directory) in = directory->identity();
    const std::string list =
        HeldLocks::withEntry(inheritedList(), lock.file().string(), lock.identity(), Util::stampText(stamp), in);
    setenv(HeldVariable, list.c_str(), 1);
}

enum class Turn {
    Nested,  // a run below the holder: builds without the lock
    Wait,    // another's turn
    Taken,   // the holder let go meanwhile: this run holds the lock now
    Failed,  // the lock could not be tried again
};

// The directory is taken by a holder this run cannot see, and the lock file
// holds no stamp: the holder's file may have been removed (by a command of
// the build, say) and another made in its place, by this very run perhaps.
// Then the stamp inherited for a lock file of this directory that is not
// the one there now stands for the note the file can no longer show.
Turn turnAfterRemoval(const Util::DirectoryLock& directory, const Util::FileLock& file) {
    for (const std::string& text : HeldLocks::stampsForRemoved(inheritedList(), directory.identity(), file.identity())) {
        const std::optional<Util::ProcessStamp> stamp = Util::parseStamp(text);
        if (!stamp) continue;
        if (!Util::isVisible(*stamp) || Util::isAncestor(*stamp)) return Turn::Nested;
    }
    return Turn::Wait;
}

// Whose turn it is at `busy` (the directory's lock or the file's), found
// taken (see run_locks.h). The stamps are always those of the lock file.
template <class Lock>
Turn turnAt(Lock& busy, const Util::FileLock& file, const Util::DirectoryLock* directory) {
    if (const std::optional<pid_t> holder = busy.holderProcess()) {
        if (const std::optional<Util::ProcessStamp> shown = Util::stampOf(*holder))
            return Util::isAncestor(*shown) ? Turn::Nested : Turn::Wait;
    }
    switch (busy.tryLock()) {
    case Attempt::Held: return Turn::Taken;
    case Attempt::Failed: return Turn::Failed;
    case Attempt::Busy: break;
    }
    const std::optional<Util::ProcessStamp> noted = Util::parseStamp(file.readNote(NoteLimit));
    if (!noted) return directory ? turnAfterRemoval(*directory, file) : Turn::Wait;
    if (Util::isVisible(*noted)) return Util::isAncestor(*noted) ? Turn::Nested : Turn::Wait;
    const std::vector<std::string> inherited = HeldLocks::stampsFor(inheritedList(), file.identity());
    return std::any_of(inherited.begin(), inherited.end(),
                       [&](const std::string& text) { return Util::parseStamp(text) == noted; })
               ? Turn::Nested
               : Turn::Wait;
}

void sayWaiting(bool& said) {
    if (said) return;
    Log::log(LogLevel::Info, Messages::Waiting);
    // The wait may be long: the line must show now, also in a file or pipe.
    std::cout.flush();
    said = true;
}

// One attempt at `lock`; when it is taken, whose turn it is decides. Wait
// when it is another's.
Turn attempt(auto& lock, const Util::FileLock& file, const Util::DirectoryLock* directory) {
    switch (lock.tryLock()) {
    case Attempt::Held: return Turn::Taken;
    case Attempt::Failed: return Turn::Failed;
    case Attempt::Busy: break;
    }
    return turnAt(lock, file, directory);
}

}  // namespace

namespace HeldLocks {

namespace {

constexpr char EntrySeparator = ':';
constexpr char FieldSeparator = '=';
constexpr char IdentitySeparator = '.';
constexpr char DirectorySeparator = ',';
constexpr char Escape = '%';
// Every character that would cut an entry short, and the escape itself.
constexpr std::string_view Escaped = "%:=";

std::string escaped(std::string_view path) {
    constexpr const char* Digits = "0123456789ABCDEF";
    std::string text;
    for (const char c : path) {
        if (Escaped.find(c) == std::string_view::npos) {
            text += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        text += Escape;
        text += Digits[byte >> 4];
        text += Digits[byte & 0xF];
    }
    return text;
}

std::string identityText(const Util::FileIdentity& identity) {
    return std::to_string(identity.device) + IdentitySeparator + std::to_string(identity.inode);
}

// Calls `found` with the file's identity, the directory's (empty when the
// entry names none) and the stamp of each entry of the list.
void forEachEntry(std::string_view list,
                  const std::function<void(std::string_view, std::string_view, std::string_view)>& found) {
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(EntrySeparator), list.size());
        const std::string_view entry = list.substr(0, end);
        list.remove_prefix(std::min(end + 1, list.size()));
        // The stamp is last and the identities before it: a path written by
        // hand, unescaped, cannot shift them.
        const std::size_t stampAt = entry.rfind(FieldSeparator);
        if (stampAt == std::string_view::npos || stampAt == 0) continue;
        const std::size_t identityAt = entry.rfind(FieldSeparator, stampAt - 1);
        if (identityAt == std::string_view::npos) continue;
        std::string_view file = entry.substr(identityAt + 1, stampAt - identityAt - 1), directory;
        if (const std::size_t split = file.find(DirectorySeparator); split != std::string_view::npos) {
            directory = file.substr(split + 1);
            file = file.substr(0, split);
        }
        found(file, directory, entry.substr(stampAt + 1));
    }
}

}  // namespace

std::string withEntry(std::string_view list, const std::string& lockFile, const Util::FileIdentity& identity,
                      std::string_view stamp, const std::optional<Util::FileIdentity>& directory) {
    std::string extended(list);
    if (!extended.empty()) extended += EntrySeparator;
    extended += escaped(lockFile) + FieldSeparator + identityText(identity);
    if (directory) extended += DirectorySeparator + identityText(*directory);
    return extended + FieldSeparator + std::string(stamp);
}

std::vector<std::string> stampsFor(std::string_view list, const Util::FileIdentity& identity) {
    const std::string wanted = identityText(identity);
    std::vector<std::string> stamps;
    forEachEntry(list, [&](std::string_view file, std::string_view, std::string_view stamp) {
        if (file == wanted) stamps.emplace_back(stamp);
    });
    return stamps;
}

std::vector<std::string> stampsForRemoved(std::string_view list, const Util::FileIdentity& directory,
                                          const Util::FileIdentity& file) {
    const std::string wantedDirectory = identityText(directory), present = identityText(file);
    std::vector<std::string> stamps;
    forEachEntry(list, [&](std::string_view lockFile, std::string_view in, std::string_view stamp) {
        if (in == wantedDirectory && lockFile != present) stamps.emplace_back(stamp);
    });
    return stamps;
}

}  // namespace HeldLocks

RegistryLock::RegistryLock(const std::filesystem::path& registryFile) : lock_(lockFileBeside(registryFile)) {
    switch (lock_.lock(RegistryTimeout, BuildInterrupt::throwIfCaught)) {
    case Attempt::Held: return;
    case Attempt::Busy:
        throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::RegistryBusy), lock_.file().string(),
                                              RegistryTimeout.count()));
    case Attempt::Failed: throwUnusable(lock_);
    }
}

ProjectLock::ProjectLock(const std::filesystem::path& cacheFile) {
    // The lock file is opened first: its note and identity decide about
    // either lock.
    auto file = std::make_unique<Util::FileLock>(lockFileBeside(cacheFile));
    if (file->error() != 0) {
        if (lockingImpossible(*file)) return;
        throwUnusable(*file);
    }
    std::filesystem::path place = file->file().parent_path();
    if (place.empty()) place = ".";
    auto directory = std::make_unique<Util::DirectoryLock>(place);
    // The directory first, then the file, and no run holds one of them while
    // it waits for the other: a run waiting for the file (a tree copied with
    // `cp -al` shares it) must not keep out those below the file's holder
    // that come to the directory. A run below the holder of either builds
    // without the lock, letting go of what it took.
    bool saidWaiting = false;
    for (;;) {
        if (directory) {
            Turn atDirectory = attempt(*directory, *file, directory.get());
            if (atDirectory == Turn::Wait) {
                sayWaiting(saidWaiting);
                atDirectory = directory->lock(std::nullopt, BuildInterrupt::throwIfCaught) == Attempt::Held
                                  ? Turn::Taken
                                  : Turn::Failed;
            }
            if (atDirectory == Turn::Nested) return;
            if (atDirectory == Turn::Failed) {
                if (!directoryLockingImpossible(directory->error()))
                    throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::DirectoryUnusable), place.string(),
                                                          std::strerror(directory->error())));
                directory.reset();
            }
        }
        Turn atFile = attempt(*file, *file, nullptr);
        if (atFile == Turn::Nested) return;
        if (atFile == Turn::Wait) {
            sayWaiting(saidWaiting);
            if (directory) directory->unlock();
            atFile = file->lock(std::nullopt, BuildInterrupt::throwIfCaught) == Attempt::Held ? Turn::Taken
                                                                                                : Turn::Failed;
            // Another run took the directory meanwhile: its turn comes first.
            if (atFile == Turn::Taken && directory && directory->tryLock() != Attempt::Held) {
                file->unlock();
                continue;
            }
        }
        if (atFile == Turn::Failed) {
            if (lockingImpossible(*file)) return;
            throwUnusable(*file);
        }
        break;
    }
    directory_ = std::move(directory);
    lock_ = std::move(file);
    // Before any command starts, so every run below this one finds it. A
    // file that takes no note takes no entry either: nothing could match it.
    const Util::ProcessStamp stamp = Util::ownProcessStamp();
    if (lock_->writeNote(Util::stampText(stamp) + "\n")) exportHeld(*lock_, directory_.get(), stamp);
}

ProjectLock::~ProjectLock() {
    if (lock_) lock_->writeNote("");
}
