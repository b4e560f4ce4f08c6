// Program entry: start-up registrations, the command line, the one mode the
// options select, and the top-level failure handling that decides the exit
// status.

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

}  // namespace

int main(int argc, char** argv) {
    // 1. The application object lives until main returns.
    TolmApplication app;
    // 2. Failures that escape everything end in the terminate handler.
    std::set_terminate(terminateHandler);
    // 3. From the command line on, every failure ends the run with status 1.
    try {
        app.ParseCommandLine(argc, argv);
        // 4. The selected mode decides the remaining steps and the status;
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
