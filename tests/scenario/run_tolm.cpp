#include "scenario/run_tolm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace {

// Closes both ends of a pipe that are still open when it goes away.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end) {
        if (fds[end] >= 0)
            close(fds[end]);
        fds[end] = -1;
    }
};

// Reads both pipes until both are closed, so a child that fills one pipe
// while the other is being read cannot block forever.
void drain(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd polls[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (poll(polls, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0)
                continue;
            ssize_t n = read(polls[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                polls[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

RunResult runProgram(const std::filesystem::path& binary, const std::vector<std::string>& words,
                     const RunSettings& settings) {
    // Everything the child needs is prepared before fork.
    std::string program = binary.string();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> args(words);
    for (std::string& word : args)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : settings.environment)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string cwd = settings.cwd.string();

    Pipe outPipe, errPipe;
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(outPipe.fds[1], STDOUT_FILENO);
        dup2(errPipe.fds[1], STDERR_FILENO);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    outPipe.closeEnd(1);
    errPipe.closeEnd(1);

    RunResult result;
    drain(outPipe.fds[0], errPipe.fds[0], result.out, result.err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

RunResult runTolm(const std::vector<std::string>& words, const std::filesystem::path& cwd,
                  const std::filesystem::path& home) {
    RunSettings settings;
    settings.cwd = cwd;
    settings.environment["HOME"] = home.string();
    if (const char* path = std::getenv("PATH"))
        settings.environment["PATH"] = path;
    return runProgram(TOLM_BINARY, words, settings);
}
