#include "util/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace Util {

namespace {

// Short enough that a waiter follows the holder almost at once, long enough
// that waiting costs next to nothing.
constexpr std::chrono::milliseconds PauseBetweenAttempts{10};

int openFile(const std::filesystem::path& file) {
    int descriptor = -1;
    do descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

int openForReading(const std::filesystem::path& file) {
    int descriptor = -1;
    do descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

FileLock::FileLock(std::filesystem::path file) : file_(std::move(file)) {
    descriptor_ = openFile(file_);
    if (descriptor_ >= 0) return;
    error_ = errno;
    if (error_ != EACCES && error_ != EROFS && error_ != EPERM) return;
    descriptor_ = openForReading(file_);
    // The reason the file could not be created is the one to tell.
    if (descriptor_ >= 0) error_ = 0;
}

FileLock::~FileLock() {
    if (descriptor_ < 0) return;
    if (held_) ::flock(descriptor_, LOCK_UN);
    ::close(descriptor_);
}

FileLock::Attempt FileLock::tryLock() {
    if (held_) return Attempt::Held;
    if (descriptor_ < 0) return Attempt::Failed;
    while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return Attempt::Busy;
        error_ = errno;
        return Attempt::Failed;
    }
    held_ = true;
    return Attempt::Held;
}

FileLock::Attempt FileLock::lock(std::optional<std::chrono::milliseconds> timeout,
                                 const std::function<void()>& betweenAttempts) {
    const auto giveUp = std::chrono::steady_clock::now() + timeout.value_or(std::chrono::milliseconds::zero());
    for (;;) {
        const Attempt attempt = tryLock();
        if (attempt != Attempt::Busy) return attempt;
        if (timeout && std::chrono::steady_clock::now() >= giveUp) return Attempt::Busy;
        std::this_thread::sleep_for(PauseBetweenAttempts);
        if (betweenAttempts) betweenAttempts();
    }
}

}  // namespace Util
