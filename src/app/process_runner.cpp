#include "app/process_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "util/log.h"

extern char** environ;

namespace {

// The environment of the child: the program's own, with PATH replaced when
// the command asks for one.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const std::optional<std::string>& path) {
        if (path) pathEntry_ = "PATH=" + *path;
        for (char** entry = environ; entry && *entry; ++entry) {
            if (path && std::strncmp(*entry, "PATH=", 5) == 0) continue;
            pointers_.push_back(*entry);
        }
        if (path) pointers_.push_back(pathEntry_.data());
        pointers_.push_back(nullptr);
    }
    char** data() { return pointers_.data(); }

private:
    std::string pathEntry_;
    std::vector<char*> pointers_;
};

}  // namespace

std::optional<std::string> commandSearchPath(const std::vector<std::filesystem::path>& directories,
                                             const char* inherited) {
    if (directories.empty()) return std::nullopt;
    std::string joined;
    for (const std::filesystem::path& directory : directories) {
        if (directory.empty()) continue;
        if (!joined.empty()) joined += ':';
        joined += directory.native();
    }
    if (inherited && *inherited) {
        if (!joined.empty()) joined += ':';
        joined += inherited;
    }
    if (joined.empty()) return std::nullopt;
    return joined;
}

int ShellProcessRunner::run(const Tolm::Command& command) {
    // Everything the child touches is made here, before the fork.
    std::string shell = "/bin/sh", name = "sh", flag = "-c", line = command.commandLine;
    char* argv[] = {name.data(), flag.data(), line.data(), nullptr};
    ChildEnvironment environment(commandSearchPath(command.pathDirectories, std::getenv("PATH")));
    const char* directory = command.workingDirectory.empty() ? nullptr : command.workingDirectory.c_str();
    {
        Log::OutputLockGuard guard;
        std::cout.flush();
    }

    const pid_t pid = fork();
    if (pid < 0) return errno;
    if (pid == 0) {
        if (directory && chdir(directory) != 0) _exit(errno);
        execve(shell.c_str(), argv, environment.data());
        _exit(errno);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return errno;
    }
    if ((status & 0x7f) != 0) return -1;
    return (status >> 8) & 0xff;
}
