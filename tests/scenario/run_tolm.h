#pragma once

// Runs the real tolm binary the way a user would: given words, working
// directory and environment, capturing both output streams and how it ended.
// Arguments go straight to exec, so no shell quoting is involved.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct RunResult {
    // Exit status as the shell sees it (0..255); -1 when killed by a signal.
    int exitCode = -1;
    // The terminating signal, 0 when the process exited normally.
    int signal = 0;
    std::string out;
    std::string err;
};

struct RunSettings {
    std::filesystem::path cwd;
    // The whole environment of the child; nothing is inherited.
    std::map<std::string, std::string> environment;
};

// Runs `binary` with `words` as its arguments after the program name.
RunResult runProgram(const std::filesystem::path& binary, const std::vector<std::string>& words,
                     const RunSettings& settings);

// Runs the tolm binary under test with HOME set to `home` and the caller's PATH.
RunResult runTolm(const std::vector<std::string>& words, const std::filesystem::path& cwd,
                  const std::filesystem::path& home);
