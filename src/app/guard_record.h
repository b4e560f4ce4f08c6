#pragma once
// What tolm tells its guard of the process groups it starts, and which of
// those numbers the guard believes (the guard itself: build_interrupt.h).
//
// The guard signals every group it holds once tolm is gone, so a number it
// takes for a group must be one tolm started; a wrong one hits a stranger.
// The channel therefore keeps the bounds of each message (SOCK_SEQPACKET),
// and each message is one fixed record that starts with a magic value: a
// message of another size, or without the magic, is none of tolm's and is
// ignored whole.
//
// A group told as started is signalled only while it is still the group
// tolm started, as the guard sees it once tolm is gone (looked at only then,
// so that a run that ends well costs the guard nothing):
// - never 1 or less, tolm's own group or the guard's own group;
// - where /proc numbers processes as the guard's namespace does, and still
//   shows the group's leader, the leader heads that group and is the very
//   process whose start the record told: it started no earlier than the
//   guard, which tolm starts before any command, and no later than the time
//   the record gives, taken once the leader ran (by the command's own child,
//   or by tolm once the probe was started). A process that took the number
//   later, after the leader ended, started after that time. Who the leader's
//   parent is does not count: as tolm dies, its children are handed to a new
//   parent thread by thread, in no order the guard could rely on. A leader
//   /proc no longer shows is accepted: it has ended, but what it started may
//   still run in its group, whose number no other process takes meanwhile.
// Where /proc numbers processes otherwise, a well-formed record is all
// there is to go by.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "util/process_ancestry.h"

struct GuardRecord {
    // HoldsLock comes with the project lock's descriptor, which the guard
    // keeps open until it ends.
    enum Kind : std::int32_t { Started = 1, Ended = 2, HoldsLock = 4 };

    std::uint32_t magic = 0;
    std::int32_t kind = 0;
    std::int32_t group = 0;
    std::int32_t unused = 0;
    // Of a group that started: the time since boot (CLOCK_BOOTTIME, in
    // nanoseconds) by which its leader had started; 0 when unknown.
    std::uint64_t startedBy = 0;
};

// A record of a group that started or ended, magic included.
GuardRecord guardRecord(GuardRecord::Kind kind, pid_t group, std::uint64_t startedBy = 0);
// The time since boot now, as a record gives it; 0 when the clock cannot
// tell. Safe between fork and exec.
std::uint64_t timeSinceBoot();
// The record a message holds; none for a message of another size, without
// the magic or of an unknown kind.
std::optional<GuardRecord> readGuardRecord(const void* bytes, std::size_t size);

// What the guard knows of tolm and of itself, gathered once tolm is gone.
struct GuardView {
    pid_t tolmGroup = 0;
    pid_t guardGroup = 0;
    // The guard's own start, in clock ticks after boot: no leader of a group
    // of tolm's started before it. 0 when /proc did not show it.
    unsigned long long earliestStart = 0;
    // Clock ticks per second, the unit of /proc's start times.
    unsigned long long ticksPerSecond = 100;
    // Whether /proc numbers processes as getpid() does, so that its numbers
    // and the records' can be compared.
    bool procNumbersMatch = false;
};

// The view of the guard that runs this; tolm's group is `tolmGroup`.
GuardView currentGuardView(pid_t tolmGroup);

// Whether a group told as started (its record's startedBy given) is held:
// `leader` is what /proc shows of the process of the group's number (none
// when it shows none).
bool acceptsGroup(pid_t group, std::uint64_t startedBy, const GuardView& view,
                  const std::optional<Util::ProcessStatus>& leader);
// The same, looking at /proc now.
bool acceptsGroupNow(pid_t group, std::uint64_t startedBy, const GuardView& view);
