#pragma once
// Whether a process is an ancestor of this one: its parent, its parent's
// parent, and so on up to the first process, as /proc shows them.
//
// Every number is taken from /proc, never from getpid() or getppid(): in a
// pid namespace whose /proc is still the host's, those give the namespace's
// numbers (0 for the parent outside it) while /proc shows the host's chain.
//
// A process id alone is given again once its process is gone. With the
// process's start time (clock ticks since boot) it names one process for as
// long as the system runs, so a stamp written down by a process that has
// ended never matches a later process of the same id, and one written in
// another pid namespace (a container sharing a directory with its host)
// matches nothing of this one unless both numbers do.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Util {

struct ProcessStamp {
    pid_t pid = 0;
    // Clock ticks after boot; 0 when /proc could not tell it.
    unsigned long long start = 0;

    bool operator==(const ProcessStamp&) const = default;
};

// This process's stamp, its number as /proc shows it; its start is 0 (and
// its number getpid()'s) when /proc does not show this process.
ProcessStamp ownProcessStamp();
// Whether /proc shows this process, which every ancestor check needs.
bool processesVisible();

// "pid start", and back; none for any other text (a trailing line end is
// allowed).
std::string stampText(const ProcessStamp& stamp);
std::optional<ProcessStamp> parseStamp(std::string_view text);

// What /proc/<pid>/stat shows of a process.
struct ProcessStatus {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
    // Clock ticks after boot.
    unsigned long long start = 0;
    // 'Z' for a process that has ended and waits to be collected.
    char state = 'R';
};

// The status of the process /proc shows with that number; none when it
// shows none.
std::optional<ProcessStatus> processStatus(pid_t pid);
// This process's status as /proc/self shows it; none where /proc shows no
// processes. Its number there may differ from getpid()'s.
std::optional<ProcessStatus> ownProcessStatus();

// Whether the stamped process is one of this process's ancestors. False when
// the chain cannot be followed to it.
bool isAncestor(const ProcessStamp& stamp);
// Whether /proc shows the stamped process, with that start time. False where
// /proc shows no processes.
bool isVisible(const ProcessStamp& stamp);
// The stamp of the process /proc shows with that number; none when it shows
// none.
std::optional<ProcessStamp> stampOf(pid_t pid);

// Whether a process of the group still runs. One that has ended counts for
// nothing, though the system keeps it until its parent collects it, which
// an init that collects no orphans (in many containers) never does. Where
// /proc numbers processes otherwise, the system's word that the group has
// members stands.
bool groupRuns(pid_t group);
// The processes of the groups that still run, by this process's numbers;
// none where /proc numbers processes otherwise.
std::optional<std::vector<ProcessStatus>> groupMembers(const std::vector<pid_t>& groups);

// What /proc/<pid>/status shows of a process's signals, one bit for each
// (bit n - 1 for signal n). Pending joins the process's and its first
// thread's; blocked is its first thread's mask.
struct SignalMasks {
    std::uint64_t pending = 0;
    std::uint64_t blocked = 0;
    std::uint64_t ignored = 0;
    std::uint64_t caught = 0;
    // The first process of a PID namespace of its own (NSpid ends in 1): a
    // signal with the default action sent from outside never reaches it.
    bool shielded = false;
};

// The name of the program a process runs (/proc/<pid>/comm), which a new
// program replaces; empty when /proc shows none.
std::string programName(pid_t pid);

// The masks in the text of a status file; none when one of them is missing
// or not a hexadecimal number.
std::optional<SignalMasks> parseSignalMasks(std::string_view status);
// The masks of the process /proc shows with that number; none when it
// shows none.
std::optional<SignalMasks> signalMasks(pid_t pid);
// Whether a process acts on a signal of `signals` (a mask as above) when it
// comes: it has a handler for it, blocks it to take it itself, or ends by
// the default action; while it waits in sigwait its mask shows the signal
// as neither blocked nor caught. One that ignores it does not, and neither
// does a shielded one that leaves it the default action.
bool hears(const SignalMasks& masks, std::uint64_t signals);
// Whether a process holds a signal of `signals` blocked and pending: it has
// not taken it, handler or not. One that took a signal it blocks (sigwait),
// or runs the handler of one, has none pending.
bool holdsBack(const SignalMasks& masks, std::uint64_t signals);

}  // namespace Util
