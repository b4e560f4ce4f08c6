#include "app/outputs_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include <fmt/format.h>

#include "app/build_interrupt.h"
#include "types/tolm_exceptions.h"
#include "util/file_descriptor.h"

namespace {

namespace Messages {
constexpr const char* OutputsUnwritable = "Unable to write outputs file '{}'.";
}  // namespace Messages

// Short enough that a reader is served at once, long enough to cost nothing.
constexpr std::chrono::milliseconds PauseBetweenLooks{10};

[[noreturn]] void throwUnwritable(const std::string& file) {
    throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::OutputsUnwritable), file));
}

bool isFifo(const std::string& file) {
    struct stat status;
    return ::stat(file.c_str(), &status) == 0 && S_ISFIFO(status.st_mode);
}

// A FIFO without a reader fails the open with ENXIO (as do a socket and a
// device without its driver, which are not waited for).
int openWaitingForReader(const std::string& file) {
    for (;;) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno != ENXIO || !isFifo(file)) return -1;
        std::this_thread::sleep_for(PauseBetweenLooks);
        BuildInterrupt::throwIfCaught();
    }
}

}  // namespace

void writeOutputsFile(const std::string& file, std::string_view text) {
    Util::FileDescriptor out(openWaitingForReader(file));
    if (out.get() < 0) throwUnwritable(file);
    while (!text.empty()) {
        const ssize_t count = ::write(out.get(), text.data(), text.size());
        if (count > 0) {
            text.remove_prefix(static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) throwUnwritable(file);
        pollfd writable{out.get(), POLLOUT, 0};
        ::poll(&writable, 1, static_cast<int>(PauseBetweenLooks.count()));
        BuildInterrupt::throwIfCaught();
    }
    if (!out.close()) throwUnwritable(file);
}
