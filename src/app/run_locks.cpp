#include "app/run_locks.h"

#include <signal.h>
#include <sys/stat.h>

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
#include <thread>
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

// The project lock files held by the runs that started this one, each entry
// "<escaped path>=<device>.<inode>=<holder's stamp>", separated by ':'.
constexpr const char* HeldVariable = "TOLM_PROJECT_LOCKS";
constexpr const char* LockSuffix = ".lock";
constexpr std::chrono::seconds RegistryTimeout{20};
// Far longer than any note: a stamp and a path.
constexpr std::size_t NoteLimit = 8192;
// Between two looks for the build of a removed lock file, while waiting.
constexpr std::chrono::milliseconds FormerFilePause{10};

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

// Test seam: the step of taking the project lock at which a run stops
// itself (SIGSTOP) the first time it gets there, so that a test can change
// the lock file at that very moment and then let it go on (SIGCONT).
constexpr const char* PauseVariable = "TOLM_TEST_PAUSE_AT";

// A step of taking the project lock: "opened", "locked", "noted" (see
// FileLock::setStepHook), "checked" (the path still names the locked file,
// other holders not looked at yet) and "taken" (no command started yet).
void reachStep(std::string_view step) {
    static bool paused = false;
    const char* pauseAt = std::getenv(PauseVariable);
    if (paused || pauseAt == nullptr || step != pauseAt) return;
    paused = true;
    ::raise(SIGSTOP);
}

// The entries this run inherited; empty when none.
std::string_view inheritedList() {
    const char* held = std::getenv(HeldVariable);
    return held == nullptr ? std::string_view() : std::string_view(held);
}

// How a note names the /proc whose numbers its stamp uses.
constexpr std::string_view NumberingTag = "proc ";

// The /proc this run sees processes through, as the system numbers its
// mount: processes of another pid namespace, seen through a /proc of their
// own, are numbered otherwise, and a stamp taken there means nothing here.
std::optional<unsigned long long> processNumbering() {
    struct stat status {};
    if (::stat("/proc", &status) != 0) return std::nullopt;
    return static_cast<unsigned long long>(status.st_dev);
}

// The holder's note: its stamp on the first line, the /proc that numbered
// it on the second, then the path of its lock file, by which the file is
// still known once someone renamed it.
std::string noteOf(const Util::ProcessStamp& stamp, const std::filesystem::path& lockFile) {
    std::error_code ignored;
    const std::optional<unsigned long long> numbering = processNumbering();
    return Util::stampText(stamp) + "\n" +
           (numbering ? std::string(NumberingTag) + std::to_string(*numbering) + "\n" : std::string()) +
           std::filesystem::absolute(lockFile, ignored).string() + "\n";
}

// The lines of a note after its stamp, from the second on.
std::string_view afterStamp(std::string_view note) {
    const std::size_t lineEnd = note.find('\n');
    return lineEnd == std::string_view::npos ? std::string_view() : note.substr(lineEnd + 1);
}

// Whether the note's stamp was taken through the /proc this run sees; not
// for a note that does not say (an earlier form).
bool numberedHere(std::string_view note) {
    std::string_view rest = afterStamp(note);
    if (!rest.starts_with(NumberingTag)) return false;
    rest.remove_prefix(NumberingTag.size());
    const std::optional<unsigned long long> here = processNumbering();
    return here && rest.substr(0, rest.find('\n')) == std::to_string(*here);
}

// The stamp a note holds; none for a note that holds none.
std::optional<Util::ProcessStamp> stampInNote(std::string_view note) {
    const std::size_t lineEnd = note.find('\n');
    return Util::parseStamp(lineEnd == std::string_view::npos ? note : note.substr(0, lineEnd + 1));
}

// Whether a note names a lock file of the same name in the same directory as
// `lockFile`, however either path reaches it.
bool notesLockFile(std::string_view note, const std::filesystem::path& lockFile) {
    std::string_view rest = afterStamp(note);
    if (rest.starts_with(NumberingTag)) rest = afterStamp(rest);
    if (rest.empty() || !rest.ends_with('\n')) return false;
    const std::filesystem::path noted(rest.substr(0, rest.size() - 1));
    if (noted.empty() || noted.filename() != lockFile.filename()) return false;
    struct stat here {}, there {};
    const std::filesystem::path directory = lockFile.has_parent_path() ? lockFile.parent_path() : ".";
    return ::stat(noted.parent_path().c_str(), &there) == 0 && ::stat(directory.c_str(), &here) == 0 &&
           here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

void exportHeld(const Util::FileLock& lock, const Util::ProcessStamp& stamp) {
    const std::string list =
        HeldLocks::withEntry(inheritedList(), lock.file().string(), lock.identity(), Util::stampText(stamp));
    setenv(HeldVariable, list.c_str(), 1);
}

enum class Turn {
    Nested,  // a run below the holder: builds without the lock
    Wait,    // another's turn
    Taken,   // the holder let go meanwhile: this run holds the lock now
    Failed,  // the lock could not be tried again
};

// Whose turn it is at the lock file, found taken (see run_locks.h).
Turn turnAt(Util::FileLock& file) {
    if (const std::optional<pid_t> holder = file.holderProcess()) {
        if (const std::optional<Util::ProcessStamp> shown = Util::stampOf(*holder))
            return Util::isAncestor(*shown) ? Turn::Nested : Turn::Wait;
    }
    switch (file.tryLock()) {
    case Attempt::Held: return Turn::Taken;
    case Attempt::Failed: return Turn::Failed;
    case Attempt::Busy: break;
    }
    const std::string note = file.readNote(NoteLimit);
    const std::optional<Util::ProcessStamp> noted = stampInNote(note);
    if (!noted) return Turn::Wait;
    // A stamp numbered through another /proc (another pid namespace's) may
    // name a process here that is not the holder at all.
    if (numberedHere(note) && Util::isVisible(*noted)) return Util::isAncestor(*noted) ? Turn::Nested : Turn::Wait;
    const std::vector<std::string> inherited = HeldLocks::stampsFor(inheritedList(), file.identity());
    return std::any_of(inherited.begin(), inherited.end(),
                       [&](const std::string& text) { return Util::parseStamp(text) == noted; })
               ? Turn::Nested
               : Turn::Wait;
}

// Held by this run now: whose turn it is while a build still holds a lock
// file of the project that was removed, replaced or renamed under it. That
// file is left in `former` when the turn is the holder's.
Turn turnBesideFormerFile(Util::FileLock& file, std::optional<Util::FormerFile>& former) {
    // Every holder marks the directory before it looks at the path again:
    // with no other mark there, no build holds a former file, and the
    // system's lock table need not be read.
    if (!file.othersMarkDirectory()) return Turn::Taken;
    former = file.formerFileHolder([&file](std::string_view note) { return notesLockFile(note, file.file()); },
                                   NoteLimit, BuildInterrupt::throwIfCaught);
    if (!former) return Turn::Taken;
    file.unlock();
    const std::optional<Util::ProcessStamp> shown = Util::stampOf(former->holder);
    if (!shown || !Util::isAncestor(*shown)) return Turn::Wait;
    former.reset();
    return Turn::Nested;
}

void sayWaiting(bool& said) {
    if (said) return;
    Log::log(LogLevel::Info, Messages::Waiting);
    // The wait may be long: the line must show now, also in a file or pipe.
    std::cout.flush();
    said = true;
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

// Calls `found` with the file's identity and the stamp of each entry of the
// list.
void forEachEntry(std::string_view list, const std::function<void(std::string_view, std::string_view)>& found) {
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
        std::string_view file = entry.substr(identityAt + 1, stampAt - identityAt - 1);
        // An earlier form named the project's directory after the file.
        file = file.substr(0, file.find(DirectorySeparator));
        found(file, entry.substr(stampAt + 1));
    }
}

}  // namespace

std::string withEntry(std::string_view list, const std::string& lockFile, const Util::FileIdentity& identity,
                      std::string_view stamp) {
    std::string extended(list);
    if (!extended.empty()) extended += EntrySeparator;
    return extended + escaped(lockFile) + FieldSeparator + identityText(identity) + FieldSeparator + std::string(stamp);
}

std::vector<std::string> stampsFor(std::string_view list, const Util::FileIdentity& identity) {
    const std::string wanted = identityText(identity);
    std::vector<std::string> stamps;
    forEachEntry(list, [&](std::string_view file, std::string_view stamp) {
        if (file == wanted) stamps.emplace_back(stamp);
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
    auto file = std::make_unique<Util::FileLock>(lockFileBeside(cacheFile));
    if (file->error() != 0) {
        if (lockingImpossible(*file)) return;
        throwUnusable(*file);
    }
    // Written as soon as the lock is taken, before any command starts, so
    // every run below this one finds it, and a run that finds the file
    // renamed knows it for this project's.
    const Util::ProcessStamp stamp = Util::ownProcessStamp();
    file->setNote(noteOf(stamp, file->file()));
    file->setMarksDirectory();
    if (std::getenv(PauseVariable) != nullptr) file->setStepHook(reachStep);
    reachStep("opened");
    bool saidWaiting = false;
    std::optional<Util::FormerFile> former;
    for (bool waiting = false;; waiting = true) {
        Turn turn = Turn::Failed;
        if (waiting) {
            if (file->lock(std::nullopt, BuildInterrupt::throwIfCaught) == Attempt::Held) turn = Turn::Taken;
        } else {
            switch (file->tryLock()) {
            case Attempt::Held: turn = Turn::Taken; break;
            case Attempt::Failed: break;
            case Attempt::Busy: turn = turnAt(*file); break;
            }
        }
        if (turn == Turn::Taken) {
            reachStep("checked");
            turn = turnBesideFormerFile(*file, former);
        }
        if (turn == Turn::Taken) break;
        if (turn == Turn::Nested) return;
        if (turn == Turn::Failed) {
            if (lockingImpossible(*file)) return;
            throwUnusable(*file);
        }
        sayWaiting(saidWaiting);
        if (former) {
            // Followed by its lock: looking for it again would cost the whole
            // look at every pause.
            Util::awaitFormerFile(*former, BuildInterrupt::throwIfCaught);
            former.reset();
        } else {
            // The file may be free while the build of a removed one runs on:
            // look again after a pause, not at once.
            std::this_thread::sleep_for(FormerFilePause);
            BuildInterrupt::throwIfCaught();
        }
    }
    reachStep("taken");
    lock_ = std::move(file);
    // A file that takes no note takes no entry either: nothing could match it.
    if (lock_->noted()) exportHeld(*lock_, stamp);
    BuildInterrupt::shareLockWithGuard(lock_->descriptor());
}

ProjectLock::~ProjectLock() {
    // What a stop left running keeps the project until it has ended; should
    // tolm die meanwhile, the guard's copy of the descriptor holds the lock
    // until the guard has ended it.
    if (lock_) BuildInterrupt::awaitLeftGroups();
}
