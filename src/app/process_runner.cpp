#include "app/process_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <fmt/format.h>

#include "app/build_interrupt.h"

extern char** environ;

namespace {

namespace Messages {
constexpr const char* NoDirectory = "cannot change to directory '{}': {}";
constexpr const char* NoScript = "cannot write the long command line to a script file: {}";
}  // namespace Messages

// Linux takes at most this many bytes, the closing NUL included, in one
// argument of a program.
constexpr std::size_t MaxArgumentBytes = 128 * 1024;

// What the child tells the parent when it cannot start the command.
struct StartReport {
    enum Step : int { Directory = 1, Shell = 2 } step;
    int error;
};

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

CommandResult notStarted(int error, std::string why) { return CommandResult{error, std::move(why)}; }

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

// A command line too long for one argument, in a new file of the temporary
// directory for the shell to read; removed again with the object.
class ScriptFile {
public:
    explicit ScriptFile(const std::string& text) {
        std::error_code ignored;
        std::filesystem::path directory = std::filesystem::temp_directory_path(ignored);
        if (directory.empty()) directory = "/tmp";
        std::string name = (directory / "tolm-command-XXXXXX").string();
        const int file = mkostemp(name.data(), O_CLOEXEC);
        if (file < 0) {
            error_ = errno;
            return;
        }
        path_ = std::move(name);
        for (std::size_t written = 0; written < text.size();) {
            const ssize_t count = write(file, text.data() + written, text.size() - written);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                error_ = errno;
                break;
            }
            written += static_cast<std::size_t>(count);
        }
        if (close(file) != 0 && error_ == 0) error_ = errno;
    }
    ~ScriptFile() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;

    // 0 when the file holds the whole text.
    int error() const { return error_; }
    std::string& path() { return path_; }

private:
    std::string path_;
    int error_ = 0;
};

// In the child: reports why the command cannot start and ends.
[[noreturn]] void failStart(int report, StartReport::Step step) {
    const StartReport failure{step, errno};
    (void)!write(report, &failure, sizeof failure);
    _exit(failure.error);
}

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

CommandResult ShellProcessRunner::run(const Tolm::Command& command) {
    // Everything the child touches is made here, before the fork.
    std::string shell = "/bin/sh", name = "sh", flag = "-c", line = command.commandLine;
    std::optional<ScriptFile> script;
    std::vector<char*> argv{name.data(), flag.data(), line.data(), nullptr};
    if (line.size() + 1 > MaxArgumentBytes) {
        script.emplace(line);
        if (const int error = script->error()) return notStarted(error, fmt::format(Messages::NoScript, reason(error)));
        argv = {name.data(), script->path().data(), nullptr};
    }
    ChildEnvironment environment(commandSearchPath(command.pathDirectories, std::getenv("PATH")));
    const char* directory = command.workingDirectory.empty() ? nullptr : command.workingDirectory.c_str();
    const sigset_t* signalMask = BuildInterrupt::commandSignalMask();
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return notStarted(errno, reason(errno));

    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        setpgid(0, 0);
        BuildInterrupt::tellGuardOfOwnGroup();
        if (signalMask) sigprocmask(SIG_SETMASK, signalMask, nullptr);
        if (directory && chdir(directory) != 0) failStart(report[1], StartReport::Directory);
        execve(shell.c_str(), argv.data(), environment.data());
        failStart(report[1], StartReport::Shell);
    }
    const int forkError = errno;
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return notStarted(forkError, reason(forkError));
    }
    forked(pid);
    // Set here too, so the group exists before anyone signals it.
    setpgid(pid, pid);
    BuildInterrupt::enterGroup(pid, true);

    StartReport failure{};
    ssize_t got;
    while ((got = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    int status = 0, waitError = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno == EINTR) continue;
        waitError = errno;
        break;
    }
    BuildInterrupt::leaveGroup(pid);

    if (got == sizeof failure) {
        if (failure.step == StartReport::Directory)
            return notStarted(failure.error, fmt::format(Messages::NoDirectory, command.workingDirectory.string(),
                                                         reason(failure.error)));
        return notStarted(failure.error, reason(failure.error));
    }
    if (waitError != 0) return CommandResult{waitError, {}};
    if ((status & 0x7f) != 0) return CommandResult{-1, {}};
    return CommandResult{(status >> 8) & 0xff, {}};
}
