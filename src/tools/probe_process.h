#pragma once
// Starting probe programs without a shell, several at once.
//
// The programs a toolchain search probes are files it found by walking
// directories, so their paths may hold blanks, quotes or `$(...)`. A shell
// would read those as syntax; here the program is started from an argument
// vector instead, so every byte of every argument reaches it unchanged.
// Standard input reads /dev/null, standard error is discarded and standard
// output comes back through a pipe.
//
// A compiler takes tens of milliseconds to answer even a trivial question,
// and a search asks several compilers several questions. A ProcessGroup
// runs them side by side on the calling thread: it starts up to its limit,
// reads every running program's output as it comes (poll), and starts the
// next waiting program as soon as one has ended. The callback of a program
// runs on that same thread, and may start further programs. (Worker threads
// that each start and wait for one program were tried: on a busy machine
// every hop between threads costs a wake-up, and they were slower.)
//
// Each program leads a process group of its own, so that it can be ended
// together with whatever it started. A program still running when its
// ProcessGroup goes (its answer is no longer wanted) is killed, group and
// all, and collected. The program that owns the probes may watch them
// (ProbeWatch): a signal to it must end a search at once, not after a
// compiler that never answers.

#include <signal.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct ProcessOutput {
    // Everything the program wrote to standard output, byte for byte.
    std::string output;
    // The exit code 0..255 of a normal exit; -1 when the program could not be
    // started, was ended by a signal or its status could not be collected.
    std::int32_t exitStatus = -1;
};

// What the program running the probes has to say about them. Called on the
// thread that runs the probes.
class ProbeWatch {
public:
    virtual ~ProbeWatch() = default;
    // Readable once the probes must stop; -1 when they never must.
    virtual int stopDescriptor() = 0;
    // Throws once the probes must stop.
    virtual void throwIfStopped() = 0;
    // The signal mask a program starts with; null for the caller's own.
    virtual const sigset_t* signalMask() = 0;
    // A program's process group, from its start to its end.
    virtual void started(pid_t group) = 0;
    virtual void ended(pid_t group) = 0;
};

// Sets the watch of every ProcessGroup (null: none, and programs run to their
// end); returns the one set before.
ProbeWatch* setProbeWatch(ProbeWatch* watch);

class ProcessGroup {
public:
    using Ended = std::function<void(ProcessOutput)>;

    // At most `limit` programs (at least one) run at the same time.
    explicit ProcessGroup(std::size_t limit);
    // Kills and collects every program still running; none is left behind.
    ~ProcessGroup();
    ProcessGroup(const ProcessGroup&) = delete;
    ProcessGroup& operator=(const ProcessGroup&) = delete;

    // Queues arguments[0] (searched on PATH only when it holds no '/') with
    // the whole vector as its argv; programs start in the order queued.
    void start(std::vector<std::string> arguments, Ended ended);

    // Runs until every queued program, also those that an `ended` queues,
    // has ended and its `ended` has returned. A program that cannot be
    // started ends at once with exit status -1. Throws (from the watch) once
    // the probes must stop; no program starts after that.
    void wait();

private:
    struct Waiting {
        std::vector<std::string> arguments;
        Ended ended;
    };
    struct Running {
        pid_t pid = -1;
        int output = -1;  // the read end of the program's standard output
        ProcessOutput result;
        Ended ended;
    };

    // Starts a waiting program; false when it could not start.
    bool launch(Waiting& next);
    // Reads what `running_[index]` wrote; true once its output has ended.
    bool readSome(std::size_t index);
    // Closes the program's output and collects its exit status.
    std::int32_t reap(Running& running);

    std::size_t limit_;
    ProbeWatch* watch_;
    std::deque<Waiting> waiting_;
    std::vector<Running> running_;
};
