// scripts/kill-stress, which kills tolm with SIGKILL while a command runs and
// counts the commands its guard left running and the groups the guard
// signalled that tolm never told it of: the real binary leaves neither, and
// the script does see both where a stand-in tolm's guard gets them wrong.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "support/process_watch.h"

namespace {

namespace fs = std::filesystem;

class KillStressScenario : public TolmScenario {
protected:
    void SetUp() override {
        // The script traces the guard, a process of no ancestry of strace's; under Yama only
        // root may do that.
        const std::string scope = contentOf("/proc/sys/kernel/yama/ptrace_scope");
        if (geteuid() != 0 && !scope.empty() && scope != "0\n") GTEST_SKIP() << "strace may not trace the guard";
        if (!fs::exists("/usr/bin/strace") && !fs::exists("/bin/strace")) GTEST_SKIP() << "strace is missing";
    }

    // The script's run with the tolm binary `tolm`, N kills in LANES lanes, and the further
    // environment entries given.
    RunResult stress(const std::string& tolm, int kills, int lanes, const Words& entries = {}) const {
        Words extra{"T=" + tolm, "N=" + std::to_string(kills), "LANES=" + std::to_string(lanes), marker()};
        extra.insert(extra.end(), entries.begin(), entries.end());
        return Scenario::runProgram("/bin/bash", {std::string(TOLM_SOURCE_DIR) + "/scripts/kill-stress"}, work_.path(),
                                    {.home = home_.path().string(), .extra = extra});
    }

    // Every process of a run holds this entry, the script passing its environment on to tolm.
    std::string marker() const { return "KILL_STRESS_TEST=" + work_.path().string(); }
    bool markedProcessRuns() const {
        const std::string nul(1, '\0');
        for (const auto& entry : fs::directory_iterator("/proc"))
            if ((nul + contentOf(entry.path() / "environ") + nul).find(nul + marker() + nul) != std::string::npos)
                return true;
        return false;
    }

    // A stand-in tolm with a guard as the script finds one: a child of tolm named tolm, in a group
    // of its own, told of the command's group, which it stops once tolm is gone. Where
    // FAKE_GUARD is "wrong", it leaves the command running and signals tolm's own dead group.
    std::string standIn() const {
        const fs::path tolm = write("bin/tolm",
                                    "#!/bin/bash\nset -m\nrm -f fifo && mkfifo fifo\n"
                                    "(\n  exec 4<fifo\n  read -r -u 4 group\n  while read -r -u 4; do :; done\n"
                                    "  if [ \"$FAKE_GUARD\" = wrong ]; then kill -CONT -- \"-$$\"; else kill -TERM -- \"-$group\"; fi\n"
                                    ") &\nexec 3>fifo\nsh -c 'sleep 1000; echo never' 3>&- &\necho $! >&3\nwait\n");
        fs::permissions(tolm, fs::perms::owner_all);
        return tolm.string();
    }
};

// 24 kills of the real binary, half of tolm alone and half of its group, half of them with the
// guard traced: no command is left running and the guard signals no stranger's group.
TEST_F(KillStressScenario, KilledTolmLeavesNoCommandAndSignalsNoStranger) {
    const RunResult run = stress(TOLM_BINARY, 24, 4);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(hasLine(run.out, "kills: 24 (12 of tolm alone, 12 of its group), lanes: 4\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "left running: 0\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "foreign groups signalled: 0 (in 12 traced kills)\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "commands never started: 0\n")) << run.out;
}

// A guard that does its work, and one that gets it wrong in every kill: the script counts each
// command it left running, kills it, and counts the foreign group in each traced kill.
TEST_F(KillStressScenario, CountsWhatAWrongGuardDid) {
    const std::string tolm = standIn();
    const RunResult right = stress(tolm, 4, 4);
    EXPECT_EQ(right.exitCode, 0) << right.out << right.err;
    EXPECT_TRUE(hasLine(right.out, "left running: 0\n")) << right.out;
    EXPECT_TRUE(hasLine(right.out, "foreign groups signalled: 0 (in 2 traced kills)\n")) << right.out;

    const RunResult wrong = stress(tolm, 4, 4, {"FAKE_GUARD=wrong"});
    EXPECT_EQ(wrong.exitCode, 1) << wrong.out << wrong.err;
    EXPECT_TRUE(hasLine(wrong.out, "left running: 4\n")) << wrong.out;
    EXPECT_TRUE(hasLine(wrong.out, "foreign groups signalled: 2 (in 2 traced kills)\n")) << wrong.out;
    EXPECT_TRUE(TestSupport::eventually([&] { return !markedProcessRuns(); }));
}

// A tolm that fails before it starts the command: the run says so and fails.
TEST_F(KillStressScenario, CommandThatNeverStartsFailsTheRun) {
    const fs::path tolm = write("bin/tolm", "#!/bin/sh\necho 'Error: no target long'\nexit 1\n");
    fs::permissions(tolm, fs::perms::owner_all);
    const RunResult run = stress(tolm.string(), 2, 2);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_TRUE(hasLine(run.out, "commands never started: 2\n")) << run.out;
    EXPECT_NE(run.out.find("the command never started; tolm printed: Error: no target long\n"), std::string::npos)
        << run.out;
}

}  // namespace
