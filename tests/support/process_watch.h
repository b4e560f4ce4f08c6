#pragma once
// Watching processes a test started, or that a run it started left behind.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "support/test_support.h"

namespace TestSupport {

// Polls until `done` holds; false when it still does not after half a minute.
template <typename Done>
bool eventually(Done done) {
    for (int look = 0; look < 1500; ++look) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// Whether the process still runs. A zombie has ended: an orphan's new parent may never collect it.
inline bool alive(pid_t pid) {
    if (kill(pid, 0) != 0) return false;
    const std::string stat = contentOf("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t name = stat.rfind(')');
    return name != std::string::npos && stat.compare(name + 1, 3, " Z ") != 0;
}

// Whether a process works in the directory. A zombie has no directory.
inline bool runsIn(const std::filesystem::path& directory) {
    const std::filesystem::path real = std::filesystem::canonical(directory);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "cwd", error) == real) return true;
    }
    return false;
}

}  // namespace TestSupport
