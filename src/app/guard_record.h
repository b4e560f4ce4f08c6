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
// A group told as started is signalled only when it can be tolm's, as the
// guard sees it once tolm is gone (looked at only then, so that a run that
// ends well costs the guard nothing):
// - never 1 or less, tolm's own group or the guard's own group;
// - where /proc numbers processes as the guard's namespace does, and still
//   shows the group's leader, the leader heads that group and is tolm's
//   child; once tolm has died its children have a new parent, and the
//   leader then still heads the group, is of tolm's session (a group
//   leader cannot leave it) and started no earlier than the guard, which
//   tolm starts before any command. A leader /proc no longer shows is
//   accepted: it has ended, but what it started may still run in its
//   group.
// Where /proc numbers processes otherwise, a well-formed record is all
// there is to go by.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "util/process_ancestry.h"

struct GuardRecord {
    enum Kind : std::int32_t { Started = 1, Ended = 2 };

    std::uint32_t magic = 0;
    std::int32_t kind = 0;
    std::int32_t group = 0;
};

// A record of a group that started or ended, magic included.
GuardRecord guardRecord(GuardRecord::Kind kind, pid_t group);
// The record a message holds; none for a message of another size, without
// the magic or of an unknown kind.
std::optional<GuardRecord> readGuardRecord(const void* bytes, std::size_t size);

// What the guard knows of tolm and of itself, gathered once tolm is gone.
struct GuardView {
    pid_t tolm = 0;
    pid_t tolmGroup = 0;
    pid_t guardGroup = 0;
    pid_t session = 0;
    // The guard's own start, in clock ticks after boot: no leader of a group
    // of tolm's started before it. 0 when /proc did not show it.
    unsigned long long earliestStart = 0;
    // Whether /proc numbers processes as getpid() does, so that its numbers
    // and the records' can be compared.
    bool procNumbersMatch = false;
};

// The view of the guard that runs this: tolm is `tolm`, of group `tolmGroup`.
GuardView currentGuardView(pid_t tolm, pid_t tolmGroup);

// Whether a group told as started is held: `leader` is what /proc shows of
// the process of the group's number (none when it shows none), `tolmGone`
// whether tolm had ended when it was looked at.
bool acceptsGroup(pid_t group, const GuardView& view, const std::optional<Util::ProcessStatus>& leader,
                  bool tolmGone);
// The same, looking at /proc and at the guard's parent now.
bool acceptsGroupNow(pid_t group, const GuardView& view);
