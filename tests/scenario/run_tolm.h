#pragma once

// Runs the real tolm binary the way a user would: in a chosen directory, with
// exactly the environment given (HOME pointed at a scratch directory), and
// captures what it prints. Every scenario test goes through runTolm.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Scenario {

struct RunResult {
    int exitCode = -1;  // as the shell sees it (0..255); -1 when killed by a signal
    std::string out;
    std::string err;
};

// The environment of one run: HOME, the caller's PATH and the extra entries.
struct RunEnvironment {
    // Unset: no HOME variable at all; the empty text sets HOME to "".
    std::optional<std::string> home{};
    // Further "NAME=value" entries.
    std::vector<std::string> extra{};
    // Told the process id once the program runs, for a test that signals it.
    std::function<void(pid_t)> started{};
    // Signals the program starts with ignored, as under nohup.
    std::vector<int> ignoredSignals{};
    // Standard streams (0, 1, 2) the program starts with closed, as `>&-` leaves them; nothing
    // is captured of a closed one.
    std::vector<int> closedStreams{};
};

// Runs `binary` with `words` after the program name, in `cwd`; arguments go
// straight to exec, so no shell quoting is involved.
inline RunResult runProgram(const std::string& binary, const std::vector<std::string>& words,
                            const std::filesystem::path& cwd, const RunEnvironment& environment) {
    // Everything the child needs is prepared before fork.
    std::vector<std::string> args{binary}, entries;
    args.insert(args.end(), words.begin(), words.end());
    if (environment.home) entries.push_back("HOME=" + *environment.home);
    const char* callerPath = std::getenv("PATH");
    entries.push_back(std::string("PATH=") + (callerPath ? callerPath : "/usr/bin:/bin"));
    entries.insert(entries.end(), environment.extra.begin(), environment.extra.end());
    std::vector<char*> argv, envp;
    for (std::string& arg : args) argv.push_back(arg.data());
    for (std::string& entry : entries) envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);

    // Output goes to anonymous temporary files rather than pipes, so a chatty
    // child can never block on a full pipe while the parent waits for it.
    using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
    const File out(std::tmpfile(), &std::fclose), err(std::tmpfile(), &std::fclose);
    if (!out || !err) throw std::runtime_error("tmpfile failed");
    std::fflush(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(fileno(out.get()), STDOUT_FILENO);
        dup2(fileno(err.get()), STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        for (int signal : environment.ignoredSignals) sigaction(signal, &ignore, nullptr);
        for (int stream : environment.closedStreams) close(stream);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (environment.started) environment.started(pid);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    const auto contentOf = [](std::FILE* file) {
        std::string text;
        char buffer[4096];
        std::rewind(file);
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, n);
        return text;
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentOf(out.get()), contentOf(err.get())};
}

// The tolm binary of this build.
inline RunResult runTolm(const std::vector<std::string>& words, const std::filesystem::path& cwd,
                         const RunEnvironment& environment) {
    return runProgram(TOLM_BINARY, words, cwd, environment);
}

}  // namespace Scenario
