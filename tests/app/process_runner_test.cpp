#include "app/process_runner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "app/build_interrupt.h"
#include "scenario/scratch_dir.h"
#include "support/process_watch.h"

namespace {

namespace fs = std::filesystem;

// tolm killed by a signal the moment after it forked a command, before it noted the command's
// group for its guard.
class KilledAtFork : public ShellProcessRunner {
protected:
    void forked(pid_t) override { kill(getpid(), SIGKILL); }
};

// However early tolm dies, its guard stops the command: the command's child tells the guard of
// its group before it runs anything.
TEST(ShellProcessRunner, CommandOfATolmKilledAtTheForkIsStopped) {
    ScratchDir dir;
    std::ofstream(dir.path() / "hold").close();
    const pid_t tolm = fork();
    ASSERT_GE(tolm, 0);
    if (tolm == 0) {
        BuildInterrupt::Scope signals;
        Tolm::Command command;
        command.commandLine = "while [ -e hold ]; do sleep 0.02; done";
        command.workingDirectory = dir.path();
        KilledAtFork().run(command);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(tolm, &status, 0), tolm);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_TRUE(TestSupport::eventually([&] { return !TestSupport::runsIn(dir.path()); }));
    // Ends a command the guard left running.
    fs::remove(dir.path() / "hold");
}

}  // namespace
