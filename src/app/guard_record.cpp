#include "app/guard_record.h"

#include <unistd.h>

#include <cstring>

namespace {

// "tolm" in ASCII: text written by mistake into the channel may hold it, but
// never at the start of a message of exactly a record's size.
constexpr std::uint32_t Magic = 0x6d6c6f74;

}  // namespace

GuardRecord guardRecord(GuardRecord::Kind kind, pid_t group) { return {Magic, kind, group}; }

std::optional<GuardRecord> readGuardRecord(const void* bytes, std::size_t size) {
    if (size != sizeof(GuardRecord)) return std::nullopt;
    GuardRecord record;
    std::memcpy(&record, bytes, sizeof record);
    if (record.magic != Magic) return std::nullopt;
    if (record.kind != GuardRecord::Started && record.kind != GuardRecord::Ended) return std::nullopt;
    return record;
}

GuardView currentGuardView(pid_t tolm, pid_t tolmGroup) {
    GuardView view{.tolm = tolm, .tolmGroup = tolmGroup, .guardGroup = getpgrp(), .session = getsid(0)};
    const std::optional<Util::ProcessStatus> own = Util::ownProcessStatus();
    view.procNumbersMatch = own && own->pid == getpid();
    // tolm starts its guard before any command, so no group of its can
    // have a leader older than the guard.
    if (view.procNumbersMatch) view.earliestStart = own->start;
    return view;
}

bool acceptsGroup(pid_t group, const GuardView& view, const std::optional<Util::ProcessStatus>& leader,
                  bool tolmGone) {
    if (group <= 1 || group == view.tolmGroup || group == view.guardGroup) return false;
    if (!view.procNumbersMatch || !leader) return true;
    if (leader->group != group) return false;
    if (leader->parent == view.tolm) return true;
    return tolmGone && leader->session == view.session && leader->start >= view.earliestStart;
}

bool acceptsGroupNow(pid_t group, const GuardView& view) {
    if (!view.procNumbersMatch) return acceptsGroup(group, view, std::nullopt, false);
    const std::optional<Util::ProcessStatus> leader = Util::processStatus(group);
    // Asked after the leader was looked at: tolm's death gives the leader
    // and the guard their new parent together, so a leader seen without
    // tolm as its parent is seen with tolm gone here.
    return acceptsGroup(group, view, leader, getppid() != view.tolm);
}
