#pragma once
// Stopping a run: SIGINT, SIGTERM and SIGHUP, standard output that fails,
// and the death of tolm itself.
//
// A signal that was ignored when tolm started (nohup, a background job of a
// script) stays ignored, by tolm and by every program it starts: whoever
// started tolm ruled it out. The others are taken over for the whole run.
//
// Every command and every toolchain probe runs in a process group of its
// own, so a signal sent to the group reaches the program and whatever it
// started (a compiler driver and its passes) without reaching whoever
// started tolm. From the start of the run the taken signals are blocked in
// every thread of tolm, and one thread takes them with sigwait: it notes the
// first one and passes each on to every running group. From then on no job,
// command or probe starts; running probes are killed, since their answers
// are no longer wanted; the jobs end as their commands end, the walk removes
// what the unfinished jobs may have half-written, the cache is saved, and
// tolm exits with 128 + the signal number. A signal that comes while tolm
// only computes is seen at the next of those points, or at the end of the
// run.
//
// A process of a command (the command itself or what it started) that
// heard the signal (it caught it, or took it itself with sigwait) is given
// the time its clean-up takes, as make and ninja give it, and so is whatever
// its group starts meanwhile, which may well ignore the signal (a shell's
// background job does): without limit while the command's own process runs,
// which tolm waits for as make and ninja wait for theirs; for some seconds
// once it has ended, since what it left behind may catch the signal and
// carry on (a server that reloads on SIGHUP). What would never end gets
// SIGKILL once the guard's grace is over, looked for from then on while
// anything of the commands runs: a process that ignored the signal when it
// came (even if it catches it by then), one that has not taken it a while
// after it came (held blocked, stopped, in a wait no signal ends), and all
// that is left of a group once nothing in it that heard the signal runs and
// is not stopped (what a clean-up leaves behind, the first process of a PID
// namespace of its own, which no signal from outside stops). How each
// process took the signal is read from /proc just before it is sent, since
// a group may hold a shell that cleans up and a child that ignores it. tolm
// waits for a group whose leader ended while others of it run on too, the
// project lock held, before it ends.
//
// Standard output that fails (its reader has left, as in `tolm | head`, or
// the disk is full) stops the build the same way, from the next of those
// points on, but it ends with status 1; the command whose line could not be
// shown is not started.
//
// A tolm killed outright (SIGKILL) can do none of that, so a small guard
// process starts with the run. It is told of every group as it starts (a
// command's by the command's own child, before it runs), with the time by
// which its leader had started, and as it ends; it signals only a group
// whose leader is still that process (guard_record.h). When its connection
// to tolm closes while groups are still running, tolm is gone, and it sends
// them SIGTERM, and SIGKILL to any still there a few seconds later. It is in
// a process group of its own, so a kill of tolm's whole group (a
// supervisor's time-out) does not take it along. It holds a copy of the
// project lock's descriptor, so the project stays locked until it is done.
// After a stop that tolm sees, the guard keeps a group that outlives its
// leader until tolm has waited for it, so it ends that group only should
// tolm be killed meanwhile.

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

// Standard output failed; main ends the run with status 1 and says so on
// standard error.
class OutputFailed : public Tolm::TolmException {
public:
    OutputFailed();
};

namespace BuildInterrupt {

// Takes over SIGINT, SIGTERM and SIGHUP (those not ignored), watches the
// toolchain probes and starts the guard, for the life of the object. Make it
// while the program runs a single thread.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// The first signal caught; 0 while none was.
int caught();
// Whether the build stops: a signal was caught or standard output failed.
bool stopped();
// Throws BuildInterrupted once a signal was caught, else OutputFailed once
// standard output failed.
void throwIfCaught();

// The signal mask a command or probe starts with: the one tolm had before the
// signals were taken over. Null outside a Scope.
const sigset_t* commandSignalMask();

// In a command's child, once it leads its own group and before it runs the
// command: tells the guard of the group itself, so that a tolm killed before
// it could do so leaves no command unguarded. Safe between fork and exec.
void tellGuardOfOwnGroup();

// A command's or probe's process group from its start to its end. Entering a
// group after a signal was caught sends it that signal at once. guardTold:
// the child told the guard already (tellGuardOfOwnGroup).
void enterGroup(pid_t group, bool guardTold = false);
// The group's leader has ended. After a stop, a group that still has
// members is left for awaitLeftGroups, the guard keeping it meanwhile.
void leaveGroup(pid_t group);
// Waits until nothing runs of the groups a stop left, then tells the guard
// they ended. Call it before letting go of the project lock.
void awaitLeftGroups();

// Gives the guard a copy of the project lock's descriptor: should tolm die,
// the lock stays held until the guard has ended what tolm started. A build
// that ends lets go of the lock itself, which frees it for every copy.
void shareLockWithGuard(int descriptor);

}  // namespace BuildInterrupt
