#include "app/guard_record.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace {

std::string bytesOf(const GuardRecord& record) {
    std::string bytes(sizeof record, '\0');
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

// Only a message of exactly a record's size, with the magic and a known kind, is a record: not
// tolm's own output of that size, nor a record cut short or run on.
TEST(GuardRecord, OnlyWholeRecordsAreRead) {
    const std::string started = bytesOf(guardRecord(GuardRecord::Started, 4321, 987654321));
    const std::optional<GuardRecord> read = readGuardRecord(started.data(), started.size());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->kind, GuardRecord::Started);
    EXPECT_EQ(read->group, 4321);
    EXPECT_EQ(read->startedBy, 987654321u);
    const std::string ended = bytesOf(guardRecord(GuardRecord::Ended, 4321));
    EXPECT_EQ(readGuardRecord(ended.data(), ended.size())->kind, GuardRecord::Ended);

    GuardRecord unknownKind = guardRecord(GuardRecord::Started, 4321);
    unknownKind.kind = 3;
    GuardRecord noMagic = guardRecord(GuardRecord::Started, 4321);
    noMagic.magic = 0;
    for (const std::string& message : {started.substr(0, sizeof(GuardRecord) - 1), started + "\n",
                                       bytesOf(unknownKind), bytesOf(noMagic), std::string("Starting bui"),
                                       std::string()})
        EXPECT_FALSE(readGuardRecord(message.data(), message.size())) << message.size();
}

// Which groups the guard holds, by what /proc shows of the leader: tolm's group is 90, the guard
// heads group 101 and started at tick 1000; ticks are 10 ms. A record says by when the leader had
// started: here in tick 1001. Whose child the leader is does not count.
TEST(GuardRecord, GroupsHeldAreTolms) {
    const GuardView view{.tolmGroup = 90, .guardGroup = 101, .earliestStart = 1000, .ticksPerSecond = 100,
                         .procNumbersMatch = true};
    GuardView unnumbered = view;
    unnumbered.procNumbersMatch = false;
    const std::uint64_t startedBy = 10015000000ULL;
    const auto leader = [](pid_t parent, pid_t group, unsigned long long start) {
        return std::optional<Util::ProcessStatus>({200, parent, group, 80, start});
    };
    struct Case {
        const char* what;
        pid_t group;
        std::uint64_t startedBy;
        const GuardView& view;
        std::optional<Util::ProcessStatus> leader;
        bool held;
    };
    const Case cases[] = {
        {"tolm's child heading it", 200, startedBy, view, leader(100, 200, 1001), true},
        {"handed to init before the guard saw tolm go", 200, startedBy, view, leader(1, 200, 1001), true},
        {"started in the guard's tick", 200, startedBy, view, leader(1, 200, 1000), true},
        {"leader gone", 200, startedBy, view, std::nullopt, true},
        {"number taken by a later process", 200, startedBy, view, leader(1, 200, 1002), false},
        {"started before the guard", 200, startedBy, view, leader(100, 200, 999), false},
        {"leader of no group of its own", 200, startedBy, view, leader(100, 90, 1001), false},
        {"start unknown", 200, 0, view, leader(1, 200, 5000), true},
        {"start unknown, not heading it", 200, 0, view, leader(1, 90, 5000), false},
        {"tolm's group", 90, startedBy, view, std::nullopt, false},
        {"the guard's group", 101, startedBy, view, std::nullopt, false},
        {"init", 1, startedBy, view, std::nullopt, false},
        {"zero", 0, startedBy, view, std::nullopt, false},
        {"negative", -200, startedBy, view, std::nullopt, false},
        {"numbers not comparable", 200, startedBy, unnumbered, leader(7, 90, 0), true},
        {"numbers not comparable, tolm's group", 90, startedBy, unnumbered, std::nullopt, false},
        {"numbers not comparable, one", 1, startedBy, unnumbered, std::nullopt, false},
    };
    for (const Case& c : cases) EXPECT_EQ(acceptsGroup(c.group, c.startedBy, c.view, c.leader), c.held) << c.what;

    // The clock a record reads is the one /proc dates processes by: this process started by now.
    const std::optional<Util::ProcessStatus> own = Util::ownProcessStatus();
    if (!own || own->pid != getpid()) GTEST_SKIP() << "/proc does not show this process";
    const GuardView here = currentGuardView(90);
    const Util::ProcessStatus leading{own->pid, 0, 200, 0, own->start};
    EXPECT_TRUE(acceptsGroup(200, timeSinceBoot(), GuardView{.ticksPerSecond = here.ticksPerSecond,
                                                            .procNumbersMatch = true}, leading));
}

}  // namespace
