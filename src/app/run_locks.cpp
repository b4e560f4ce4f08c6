#include "app/run_locks.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/build_interrupt.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Waiting = "Waiting for another tolm run in this project to finish...\n";
constexpr const char* Unusable = "Unable to use lock file '{}': {}";
constexpr const char* RegistryBusy = "The registry lock '{}' is held by another tolm run; gave up after {} seconds.";
}  // namespace Messages

// The project lock files held by the runs that started this one, each as
// its canonical path, separated by ':'.
constexpr const char* HeldVariable = "TOLM_PROJECT_LOCKS";
constexpr const char* LockSuffix = ".lock";
constexpr std::chrono::seconds RegistryTimeout{20};

std::filesystem::path lockFileBeside(const std::filesystem::path& file) {
    std::filesystem::path lockFile = file;
    lockFile += LockSuffix;
    return lockFile;
}

[[noreturn]] void throwUnusable(const Util::FileLock& lock) {
    throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::Unusable), lock.file().string(),
                                          std::strerror(lock.error())));
}

// A place where no lock file can be made (read-only) or a file system
// without locks.
bool lockingImpossible(int error) {
    switch (error) {
    case EACCES:
    case EROFS:
    case EPERM:
    case ENOLCK:
    case EOPNOTSUPP:
    case ENOSYS: return true;
    default: return false;
    }
}

// One spelling for every run, whatever way each reached the project.
std::string identityOf(const std::filesystem::path& lockFile) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(lockFile), error);
    return error ? std::filesystem::absolute(lockFile, error).string() : canonical.string();
}

// Whether the list names the lock as a whole entry. A path holding ':' itself
// is still found, as the run that exported it wrote it whole.
bool heldByStarter(const std::string& identity) {
    const char* held = std::getenv(HeldVariable);
    if (held == nullptr) return false;
    const std::string_view list = held;
    for (std::size_t at = list.find(identity); at != std::string_view::npos; at = list.find(identity, at + 1)) {
        const std::size_t end = at + identity.size();
        if ((at == 0 || list[at - 1] == ':') && (end == list.size() || list[end] == ':')) return true;
    }
    return false;
}

void exportHeld(const std::string& identity) {
    const char* held = std::getenv(HeldVariable);
    const std::string list = held == nullptr || *held == '\0' ? identity : std::string(held) + ":" + identity;
    setenv(HeldVariable, list.c_str(), 1);
}

}  // namespace

RegistryLock::RegistryLock(const std::filesystem::path& registryFile) : lock_(lockFileBeside(registryFile)) {
    switch (lock_.lock(RegistryTimeout)) {
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
        if (heldByStarter(identityOf(lock_->file()))) {
            lock_.reset();
            return;
        }
        Log::log(LogLevel::Info, Messages::Waiting);
        // The wait may be long: the line must show now, also in a file or pipe.
        std::cout.flush();
        attempt = lock_->lock(std::nullopt, BuildInterrupt::throwIfCaught);
    }
    if (attempt == Util::FileLock::Attempt::Failed) {
        if (!lockingImpossible(lock_->error())) throwUnusable(*lock_);
        lock_.reset();
        return;
    }
    exportHeld(identityOf(lock_->file()));
}
