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
constexpr const char* HardLink =
    "Unable to use lock file '{}': it has another name (a hard link), which tolm does not write through";
constexpr const char* RegistryBusy = "The registry lock '{}' is held by another tolm run; gave up after {} seconds.";
}  // namespace Messages

// The project lock files held by the runs that started this one, each as
// "<escaped canonical path>=<holder's stamp>", separated by ':'.
constexpr const char* HeldVariable = "TOLM_PROJECT_LOCKS";
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
    if (lock.error() == EMLINK)
        throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::HardLink), lock.file().string()));
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

std::vector<std::string> exportedStamps(const std::string& identity) {
    const char* held = std::getenv(HeldVariable);
    return held == nullptr ? std::vector<std::string>{} : HeldLocks::stampsFor(held, identity);
}

void exportHeld(const std::string& identity, const Util::ProcessStamp& stamp) {
    const char* held = std::getenv(HeldVariable);
    const std::string list = HeldLocks::withEntry(held == nullptr ? "" : held, identity, Util::stampText(stamp));
    setenv(HeldVariable, list.c_str(), 1);
}

// Whether this run was started, through any number of processes, by the
// run that holds the lock. The holder is the process its note names, or
// the tolm /proc/locks shows holding the lock; only when /proc does not show
// the noted one (a pid namespace of its own below the holder, or no /proc at
// all) may the stamp inherited for this very lock stand for the ancestor
// check, and only while it is the holder's. A run that can see the holder
// and is not below it waits, whatever its environment says.
bool belowHolder(const Util::FileLock& lock) {
    const std::optional<Util::ProcessStamp> holder = Util::parseStamp(lock.readNote(NoteLimit));
    if (holder && Util::isAncestor(*holder)) return true;
    // A holder that could open the lock file for reading only left no stamp
    // (or an older one): the system's own record of the lock names it. Only
    // a tolm holding it counts, not whatever else locks the file.
    const std::optional<pid_t> holding = lock.holderProcess();
    const std::optional<Util::ProcessStamp> locked =
        holding && Util::runsThisProgram(*holding) ? Util::stampOf(*holding) : std::nullopt;
    if (locked && Util::isAncestor(*locked)) return true;
    if (!holder || Util::isVisible(*holder)) return false;
    const std::vector<std::string> exported = exportedStamps(identityOf(lock.file()));
    return std::any_of(exported.begin(), exported.end(),
                       [&](const std::string& text) { return Util::parseStamp(text) == holder; });
}

}  // namespace

namespace HeldLocks {

namespace {

constexpr char EntrySeparator = ':';
constexpr char StampSeparator = '=';
constexpr char Escape = '%';
// Every character that would cut an entry short, and the escape itself.
constexpr std::string_view Escaped = "%:=";

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return -1;
}

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

// None for a text no run wrote: a stray escape.
std::optional<std::string> unescaped(std::string_view text) {
    std::string path;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != Escape) {
            path += text[at];
            continue;
        }
        if (text.size() - at < 3) return std::nullopt;
        const int high = hexValue(text[at + 1]), low = hexValue(text[at + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return path;
}

}  // namespace

std::string withEntry(std::string_view list, const std::string& lockFile, std::string_view stamp) {
    std::string extended(list);
    if (!extended.empty()) extended += EntrySeparator;
    return extended + escaped(lockFile) + StampSeparator + std::string(stamp);
}

std::vector<std::string> stampsFor(std::string_view list, const std::string& lockFile) {
    std::vector<std::string> stamps;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(EntrySeparator), list.size());
        const std::string_view entry = list.substr(0, end);
        list.remove_prefix(std::min(end + 1, list.size()));
        const std::size_t split = entry.rfind(StampSeparator);
        if (split == std::string_view::npos) continue;
        if (unescaped(entry.substr(0, split)) == lockFile) stamps.emplace_back(entry.substr(split + 1));
    }
    return stamps;
}

}  // namespace HeldLocks

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
