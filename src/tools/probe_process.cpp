#include "tools/probe_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Owns one file descriptor and closes it once.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd_; }
    void close() noexcept
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The child's standard streams: /dev/null in, the pipe out, /dev/null for
// errors. The pipe's own descriptors are close-on-exec, so the child keeps
// only its standard output copy.
class ChildStreams {
public:
    explicit ChildStreams(int outputFd) noexcept
    {
        ready_ = posix_spawn_file_actions_init(&actions_) == 0;
        initialised_ = ready_;
        ready_ = ready_ &&
                 posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
                 posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO) == 0 &&
                 posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0;
    }
    ~ChildStreams()
    {
        if (initialised_) posix_spawn_file_actions_destroy(&actions_);
    }
    ChildStreams(const ChildStreams&) = delete;
    ChildStreams& operator=(const ChildStreams&) = delete;

    bool ready() const noexcept { return ready_; }
    const posix_spawn_file_actions_t* actions() const noexcept { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool initialised_ = false;
    bool ready_ = false;
};

void readAll(int fd, std::string& text)
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        return;
    }
}

std::int32_t waitForExit(pid_t child)
{
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

ProcessOutput runProcess(const std::vector<std::string>& arguments)
{
    ProcessOutput result;
    if (arguments.empty()) return result;

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return result;
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);

    ChildStreams streams(writeEnd.get());
    if (!streams.ready()) return result;

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], streams.actions(), nullptr, argv.data(), environ) != 0) return result;

    // Only the child may hold the write end now, so the read ends when it does.
    writeEnd.close();
    readAll(readEnd.get(), result.output);
    result.exitStatus = waitForExit(child);
    return result;
}
