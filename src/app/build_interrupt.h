#pragma once
// Stopping a build: SIGINT, SIGTERM and SIGHUP, and the death of tolm itself.
//
// Every command runs in a process group of its own, so a signal sent to the
// group reaches the command and whatever it started (a compiler driver and
// its passes) without reaching whoever started tolm. From the start of the
// build the three signals are blocked in every thread of tolm, and one thread
// takes them with sigwait: it notes the first one and passes each on to every
// running command group. From then on no job and no command starts; the jobs
// end as their commands end, the walk removes what the unfinished jobs may
// have half-written, the cache is saved, and tolm exits with 128 + the signal
// number.
//
// A tolm killed outright (SIGKILL) can do none of that, so a small guard
// process starts with the build. It is told of every command group as it
// starts and ends; when its connection to tolm closes while groups are still
// running, tolm is gone, and it sends them SIGTERM, and SIGKILL to any still
// there a few seconds later.

#include <signal.h>
#include <sys/types.h>

#include "types/tolm_exceptions.h"

// The build was stopped by a signal; main turns it into exit status 128 + the
// signal number.
class BuildInterrupted : public Tolm::TolmException {
public:
    explicit BuildInterrupted(int signal);
    int signal;
};

namespace BuildInterrupt {

// Takes over SIGINT, SIGTERM and SIGHUP and starts the guard, for the life of
// the object. Make it while the program runs a single thread.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// The first signal caught; 0 while none was.
int caught();
// Throws BuildInterrupted once a signal was caught.
void throwIfCaught();

// The signal mask a command starts with: the one tolm had before the signals
// were taken over. Null outside a Scope.
const sigset_t* commandSignalMask();

// A command's process group from its start to its end. Entering a group
// after a signal was caught sends it that signal at once.
void enterGroup(pid_t group);
void leaveGroup(pid_t group);

}  // namespace BuildInterrupt
