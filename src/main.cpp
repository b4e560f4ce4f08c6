// Program entry: start-up registrations, the command line, the one mode the
// options select, and the top-level failure handling that decides the exit
// status.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "app/build_interrupt.h"
#include "tolm_app.h"
#include "tools/matcher.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

// The process's terminate handler; also called directly for a thrown object
// of unknown kind. It never returns.
[[noreturn]] void terminateHandler() {
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            std::cerr << error.what() << std::endl;
        } catch (...) {
            Log::log(7, "Unknown exception!\n");
            std::cout.flush();
        }
    }
    std::abort();
}

// Runs before main: registers the tool types, so that every matcher factory
// is in place before a tool definition asks for one.
__attribute__((constructor)) void staticInitProgram() {
    Tolm::registerToolTypes();
}

// Output that never reached standard output (a full disk, say) is
// a failure, not a success: flushes it and turns a failed write into status 1.
int flushedStatus(int status) {
    if (Log::flush()) return status;
    std::cerr << "Error: cannot write to standard output" << std::endl;
    return 1;
}

// A standard stream that was closed (`tolm >&-`, as some service units and
// cron lines start programs) would be the next file tolm opens, the guard's
// socket or a lock file, and what tolm writes to the stream would go there.
// Each is opened on /dev/null instead, so the run goes as with >/dev/null.
// Opened in order, the lowest free descriptor is the one that was closed.
void openClosedStandardStreams() {
    // One look at all three: poll marks a closed descriptor POLLNVAL.
    pollfd streams[] = {{STDIN_FILENO, 0, 0}, {STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
    while (poll(streams, 3, 0) < 0)
        if (errno != EINTR) return;
    for (const pollfd& looked : streams) {
        if ((looked.revents & POLLNVAL) == 0) continue;
        const int stream = looked.fd;
        const int null = open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null < 0 || null == stream) continue;
        dup2(null, stream);
        close(null);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // 1. Before anything is opened, every standard stream is open.
    openClosedStandardStreams();
    // 2. The application object lives until main returns.
    TolmApplication app;
    // 3. Failures that escape everything end in the terminate handler.
    std::set_terminate(terminateHandler);
    // 4. From the command line on, every failure ends the run with status 1.
    try {
        app.ParseCommandLine(argc, argv);
        // 5. The selected mode decides the remaining steps and the status;
        // a signal caught on the way ends the run as interrupted all the same.
        const int status = app.Run();
        BuildInterrupt::throwIfCaught();
        return flushedStatus(status);
    } catch (const BuildInterrupted& interrupted) {
        Log::log(7, "Error: {}\n", interrupted.message());
        return flushedStatus(128 + interrupted.signal);
    } catch (const Tolm::TolmException& error) {
        Log::log(7, "Error: {}\n", error.message());
    } catch (const std::exception& error) {
        Log::log(7, "{}\n", error.what());
    } catch (...) {
        terminateHandler();
    }
    return flushedStatus(1);
}
