#include "app/guard_record.h"

#include <gtest/gtest.h>

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
    const std::string started = bytesOf(guardRecord(GuardRecord::Started, 4321));
    const std::optional<GuardRecord> read = readGuardRecord(started.data(), started.size());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->kind, GuardRecord::Started);
    EXPECT_EQ(read->group, 4321);
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

// Which groups the guard holds, by what /proc shows of the leader: tolm is 100 of group 90, the
// guard heads group 101, both of session 80, and the guard started at tick 1000.
TEST(GuardRecord, GroupsHeldAreTolms) {
    const GuardView view{.tolm = 100, .tolmGroup = 90, .guardGroup = 101, .session = 80, .earliestStart = 1000,
                         .procNumbersMatch = true};
    GuardView unnumbered = view;
    unnumbered.procNumbersMatch = false;
    const auto leader = [](pid_t parent, pid_t group, pid_t session, unsigned long long start) {
        return std::optional<Util::ProcessStatus>({200, parent, group, session, start});
    };
    struct Case {
        const char* what;
        pid_t group;
        const GuardView& view;
        std::optional<Util::ProcessStatus> leader;
        bool tolmGone;
        bool held;
    };
    const Case cases[] = {
        {"tolm's child heading it", 200, view, leader(100, 200, 80, 1001), false, true},
        {"leader gone", 200, view, std::nullopt, false, true},
        {"another's child", 200, view, leader(7, 200, 80, 1001), false, false},
        {"leader of no group of its own", 200, view, leader(100, 90, 80, 1001), false, false},
        {"tolm gone, its child since taken over", 200, view, leader(1, 200, 80, 1001), true, true},
        {"tolm gone, started before the guard", 200, view, leader(1, 200, 80, 999), true, false},
        {"tolm gone, another session", 200, view, leader(1, 200, 81, 1001), true, false},
        {"tolm gone, not heading it", 200, view, leader(1, 90, 80, 1001), true, false},
        {"tolm's group", 90, view, std::nullopt, false, false},
        {"the guard's group", 101, view, std::nullopt, false, false},
        {"init", 1, view, std::nullopt, false, false},
        {"zero", 0, view, std::nullopt, false, false},
        {"negative", -200, view, std::nullopt, false, false},
        {"numbers not comparable", 200, unnumbered, leader(7, 90, 81, 0), false, true},
        {"numbers not comparable, tolm's group", 90, unnumbered, std::nullopt, false, false},
        {"numbers not comparable, one", 1, unnumbered, std::nullopt, false, false},
    };
    for (const Case& c : cases) EXPECT_EQ(acceptsGroup(c.group, c.view, c.leader, c.tolmGone), c.held) << c.what;
}

}  // namespace
