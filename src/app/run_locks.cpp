#include "app/run_locks.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
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
constexpr const char* RegistryBusy = "The registry lock '{}' is held by another tolm run; gave up after {} seconds.";
}  // namespace Messages

// The project lock files held by the runs that started this one, each as
// "<canonical path>=<holder's stamp>", separated by ':'.
constexpr const char* HeldVariable = "TOLM_PROJECT_LOCKS";
constexpr char EntrySeparator = ':';
constexpr char StampSeparator = '=';
constexpr const char* LockSuffix = ".lock";
constexpr std::chrono::seconds RegistryTimeout{20};
// Far longer than any stamp; a longer note is no stamp.
constexpr std::size_t NoteLimit = 64;

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

// One spelling for every run, whatever way each reached the project.
std::string identityOf(const std::filesystem::path& lockFile) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(lockFile), error);
    return error ? std::filesystem::absolute(lockFile, error).string() : canonical.string();
}

// The text after "<identity>=" in each entry of the list that names the
// lock. A path holding ':' or '=' itself is still found, as the run that
// exported it wrote it whole; a stamp holds neither.
std::vector<std::string> exportedStamps(std::string_view list, const std::string& identity) {
    const std::string key = identity + StampSeparator;
    std::vector<std::string> stamps;
    for (std::size_t at = list.find(key); at != std::string_view::npos; at = list.find(key, at + 1)) {
        if (at != 0 && list[at - 1] != EntrySeparator) continue;
        const std::size_t from = at + key.size();
        stamps.emplace_back(list.substr(from, list.find(EntrySeparator, from) - from));
    }
    return stamps;
}

std::vector<std::string> exportedStamps(const std::string& identity) {
    const char* held = std::getenv(HeldVariable);
    return held == nullptr ? std::vector<std::string>{} : exportedStamps(held, identity);
}

void exportHeld(const std::string& identity, const Util::ProcessStamp& stamp) {
    const char* held = std::getenv(HeldVariable);
    std::string list = held == nullptr || *held == '\0' ? "" : std::string(held) + EntrySeparator;
    list += identity + StampSeparator + Util::stampText(stamp);
    setenv(HeldVariable, list.c_str(), 1);
}

// Whether this run was started, through any number of processes, by the
// run that holds the lock.
bool belowHolder(const Util::FileLock& lock) {
    const std::vector<std::string> exported = exportedStamps(identityOf(lock.file()));
    if (!Util::processesVisible()) return !exported.empty();
    std::vector<std::string> stamps = exported;
    stamps.push_back(lock.readNote(NoteLimit));
    return std::any_of(stamps.begin(), stamps.end(), [](const std::string& text) {
        const std::optional<Util::ProcessStamp> stamp = Util::parseStamp(text);
        return stamp && Util::isAncestor(*stamp);
    });
}

}  // namespace

RegistryLock::RegistryLock(const std::filesystem::path& registryFile) : lock_(lockFileBeside(registryFile)) {
    switch (lock_.lock(RegistryTimeout, BuildInterrupt::throwIfCaught)) {
    case Util::FileLock::Attempt::Held: return;
    case Util::FileLock::Attempt::Busy:
        throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::RegistryBusy), lock_.file().string(),
                                              RegistryTimeout.count()));
    case Util::FileLock::Attempt::Failed: throwUnusable(lock_);
    }
}

ProjectLock::ProjectLock(const std::filesystem::path& cacheFile)
    : lock_(std::make_unique<Util::FileLock>(lockFileBeside(cacheFile))) {
    Util::FileLock::Attempt attempt = lock_->tryLock();
    if (attempt == Util::FileLock::Attempt::Busy) {
        if (belowHolder(*lock_)) {
            lock_.reset();
            return;
        }
        Log::log(LogLevel::Info, Messages::Waiting);
        // The wait may be long: the line must show now, also in a file or pipe.
        std::cout.flush();
        attempt = lock_->lock(std::nullopt, BuildInterrupt::throwIfCaught);
    }
    if (attempt == Util::FileLock::Attempt::Failed) {
        if (!lockingImpossible(*lock_)) throwUnusable(*lock_);
        lock_.reset();
        return;
    }
    // Before any command starts, so every run below this one finds it.
    const Util::ProcessStamp stamp = Util::ownProcessStamp();
    lock_->writeNote(Util::stampText(stamp) + "\n");
    exportHeld(identityOf(lock_->file()), stamp);
}

ProjectLock::~ProjectLock() {
    if (lock_) lock_->writeNote("");
}
