#pragma once

// Runs the real tolm binary the way a user would, in a given directory with
// HOME pointed elsewhere, capturing both output streams and how it ended.
// Arguments go straight to exec, so no shell quoting is involved.

#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1; // as the shell sees it (0..255); -1 when killed by a signal
    int signal = 0;    // the terminating signal, 0 after a normal exit
    std::string out;
    std::string err;
};

// Runs tolm with `words` after the program name, in `cwd`, with HOME set to
// `home` and the caller's PATH as the whole environment.
RunResult runTolm(const std::vector<std::string>& words, const std::filesystem::path& cwd,
                  const std::filesystem::path& home);
