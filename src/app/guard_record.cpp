#include "app/guard_record.h"

#include <unistd.h>

#include <cstring>
#include <ctime>

namespace {

// "tolm" in ASCII: text written by mistake into the channel may hold it, but
// never at the start of a message of exactly a record's size.
constexpr std::uint32_t Magic = 0x6d6c6f74;

}  // namespace

GuardRecord guardRecord(GuardRecord::Kind kind, pid_t group, std::uint64_t startedBy) {
    return {Magic, kind, group, 0, startedBy};
}

std::uint64_t timeSinceBoot() {
    // Read through the vDSO: no lock is taken, so a child of a process with
    // threads may ask it before exec.
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) return 0;
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<std::uint64_t>(now.tv_nsec);
}

std::optional<GuardRecord> readGuardRecord(const void* bytes, std::size_t size) {
    if (size != sizeof(GuardRecord)) return std::nullopt;
    GuardRecord record;
    std::memcpy(&record, bytes, sizeof record);
    if (record.magic != Magic) return std::nullopt;
    if (record.kind != GuardRecord::Started && record.kind != GuardRecord::Ended &&
        record.kind != GuardRecord::HoldsLock)
        return std::nullopt;
    return record;
}

GuardView currentGuardView(pid_t tolmGroup) {
    GuardView view{.tolmGroup = tolmGroup, .guardGroup = getpgrp()};
    if (const long ticks = sysconf(_SC_CLK_TCK); ticks > 0)
        view.ticksPerSecond = static_cast<unsigned long long>(ticks);
    const std::optional<Util::ProcessStatus> own = Util::ownProcessStatus();
    view.procNumbersMatch = own && own->pid == getpid();
    // tolm starts its guard before any command, so no group of its can
    // have a leader older than the guard.
    if (view.procNumbersMatch) view.earliestStart = own->start;
    return view;
}

bool acceptsGroup(pid_t group, std::uint64_t startedBy, const GuardView& view,
                  const std::optional<Util::ProcessStatus>& leader) {
    if (group <= 1 || group == view.tolmGroup || group == view.guardGroup) return false;
    if (!view.procNumbersMatch || !leader) return true;
    if (leader->group != group || leader->start < view.earliestStart) return false;
    // /proc counts whole ticks, rounded down, as this does.
    const unsigned long long nanosecondsPerTick = 1000000000ULL / view.ticksPerSecond;
    return startedBy == 0 || leader->start <= startedBy / nanosecondsPerTick;
}

bool acceptsGroupNow(pid_t group, std::uint64_t startedBy, const GuardView& view) {
    return acceptsGroup(group, startedBy, view, view.procNumbersMatch ? Util::processStatus(group) : std::nullopt);
}
