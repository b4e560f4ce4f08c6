#include "tools/probe_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "util/file_descriptor.h"

namespace {

using Util::FileDescriptor;

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

// The child leads a process group of its own and starts with the signal mask
// given (null: the caller's).
class ChildAttributes {
public:
    explicit ChildAttributes(const sigset_t* mask) noexcept
    {
        initialised_ = posix_spawnattr_init(&attributes_) == 0;
        const short flags = POSIX_SPAWN_SETPGROUP | (mask ? POSIX_SPAWN_SETSIGMASK : 0);
        ready_ = initialised_ && posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
                 (!mask || posix_spawnattr_setsigmask(&attributes_, mask) == 0) &&
                 posix_spawnattr_setflags(&attributes_, flags) == 0;
    }
    ~ChildAttributes()
    {
        if (initialised_) posix_spawnattr_destroy(&attributes_);
    }
    ChildAttributes(const ChildAttributes&) = delete;
    ChildAttributes& operator=(const ChildAttributes&) = delete;

    bool ready() const noexcept { return ready_; }
    const posix_spawnattr_t* attributes() const noexcept { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool initialised_ = false;
    bool ready_ = false;
};

std::atomic<ProbeWatch*> currentWatch{nullptr};

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

ProbeWatch* setProbeWatch(ProbeWatch* watch) { return currentWatch.exchange(watch); }

ProcessGroup::ProcessGroup(std::size_t limit) : limit_(limit == 0 ? 1 : limit), watch_(currentWatch.load()) {}

ProcessGroup::~ProcessGroup()
{
    for (Running& running : running_) {
        ::kill(-running.pid, SIGKILL);
        reap(running);
    }
}

void ProcessGroup::start(std::vector<std::string> arguments, Ended ended)
{
    waiting_.push_back({std::move(arguments), std::move(ended)});
}

bool ProcessGroup::launch(Waiting& next)
{
    if (next.arguments.empty()) return false;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);

    ChildStreams streams(writeEnd.get());
    ChildAttributes attributes(watch_ ? watch_->signalMask() : nullptr);
    if (!streams.ready() || !attributes.ready()) return false;

    std::vector<char*> argv;
    argv.reserve(next.arguments.size() + 1);
    for (std::string& argument : next.arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Room first: once the child runs, it must be recorded to be waited for.
    running_.reserve(running_.size() + 1);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], streams.actions(), attributes.attributes(), argv.data(), environ) != 0)
        return false;

    // Only the child holds the write end now, so the output ends when the
    // child and whatever it started have closed it.
    running_.push_back({child, readEnd.release(), {}, std::move(next.ended)});
    if (watch_) watch_->started(child);
    return true;
}

std::int32_t ProcessGroup::reap(Running& running)
{
    if (running.output >= 0) ::close(running.output);
    running.output = -1;
    const std::int32_t status = waitForExit(running.pid);
    if (watch_) watch_->ended(running.pid);
    return status;
}

bool ProcessGroup::readSome(std::size_t index)
{
    Running& running = running_[index];
    char buffer[4096];
    const ssize_t count = ::read(running.output, buffer, sizeof buffer);
    if (count > 0) {
        running.result.output.append(buffer, static_cast<std::size_t>(count));
        return false;
    }
    return count == 0 || (errno != EINTR && errno != EAGAIN);
}

void ProcessGroup::wait()
{
    std::vector<pollfd> polled;
    std::vector<Running> ended;
    const int stop = watch_ ? watch_->stopDescriptor() : -1;
    for (;;) {
        // Once the probes must stop, none starts and no answer is waited for:
        // those still running go with the group.
        if (watch_) watch_->throwIfStopped();
        if (waiting_.empty() && running_.empty()) return;
        while (running_.size() < limit_ && !waiting_.empty()) {
            Waiting next = std::move(waiting_.front());
            waiting_.pop_front();
            if (!launch(next)) next.ended(ProcessOutput{});
        }
        if (running_.empty()) continue;

        polled.clear();
        for (const Running& running : running_) polled.push_back({running.output, POLLIN, 0});
        if (stop >= 0) polled.push_back({stop, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR) continue;
            // Without poll, a plain read of each still makes progress.
            for (pollfd& each : polled) each.revents = POLLIN;
        }

        ended.clear();
        ended.reserve(running_.size());
        for (std::size_t i = running_.size(); i-- > 0;) {
            if (polled[i].revents == 0 || !readSome(i)) continue;
            ended.push_back(std::move(running_[i]));
            running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        // Every ended program is collected before any callback runs, so a
        // callback that throws leaves no child behind.
        for (Running& each : ended) each.result.exitStatus = reap(each);
        for (auto each = ended.rbegin(); each != ended.rend(); ++each) each->ended(std::move(each->result));
    }
}
