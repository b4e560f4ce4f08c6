// Probe programs under a watch: a stop of the watch ends the run at once,
// with every program killed and collected and no further one started.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "scenario/scratch_dir.h"
#include "support/process_watch.h"
#include "tools/fake_tool.h"
#include "tools/probe_batch.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::alive;
using TestSupport::eventually;

// A watch, set while it lives, whose stop the test gives.
class TestWatch : public ProbeWatch {
public:
    TestWatch()
    {
        sigemptyset(&mask_);
        sigaddset(&mask_, SIGUSR1);
        if (pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        previous_ = setProbeWatch(this);
    }
    ~TestWatch() override
    {
        setProbeWatch(previous_);
        close(stop_[0]);
        close(stop_[1]);
    }

    void stop()
    {
        stopped_ = true;
        (void)!write(stop_[1], "!", 1);
    }

    int stopDescriptor() override { return stop_[0]; }
    void throwIfStopped() override
    {
        if (stopped_) throw std::runtime_error("stopped");
    }
    const sigset_t* signalMask() override { return &mask_; }
    void started(pid_t) override { ++started_; }
    void ended(pid_t) override { ++ended_; }

    int started_ = 0;
    int ended_ = 0;

private:
    sigset_t mask_;
    int stop_[2];
    std::atomic<bool> stopped_{false};
    ProbeWatch* previous_;
};


// A stop while a probe never answers: the run throws the watch's failure, the
// probe and the program it started (reached only through the probe's group)
// are killed, the watch is told the group ended, and the probe queued behind
// it never starts. The probe started with the watch's signal mask.
TEST(WatchedProbe, StopKillsRunningProbesAndStartsNoMore)
{
    ScratchDir dir;
    const fs::path hang = dir.path() / "hang", queued = dir.path() / "queued";
    const fs::path pids = dir.path() / "pids", ran = dir.path() / "ran", mask = dir.path() / "mask";
    FakeTool::writeExecutable(hang, "#!/bin/sh\nwhile read -r line; do case $line in SigBlk*) echo $line > " +
                                        FakeTool::shellQuoted(mask.string()) + ";; esac; done < /proc/$$/status\n"
                                        "sleep 1000000 &\necho $! $$ > " + FakeTool::shellQuoted(pids.string()) +
                                        "\nwait\n");
    FakeTool::writeExecutable(queued, "#!/bin/sh\ntouch " + FakeTool::shellQuoted(ran.string()) + "\n");
    const std::size_t processors = setProbeLimit(1);
    TestWatch watch;
    std::thread stopper([&] {
        eventually([&] { return !TestSupport::contentOf(pids).empty(); });
        watch.stop();
    });
    {
        ProbeBatch batch;
        int answers = 0;
        for (const fs::path& program : {hang, queued}) batch.ask(program, "", [&](const CommandOutput&) { ++answers; });
        EXPECT_EQ(TestSupport::failureOf<std::runtime_error>([&] { batch.run(); }), "stopped");
        EXPECT_EQ(answers, 0);
    }
    stopper.join();
    setProbeLimit(processors);

    pid_t sleeper = 0, shell = 0;
    std::istringstream(TestSupport::contentOf(pids)) >> sleeper >> shell;
    EXPECT_FALSE(alive(shell));
    EXPECT_TRUE(eventually([&] { return !alive(sleeper); }));
    EXPECT_FALSE(fs::exists(ran));
    EXPECT_EQ(TestSupport::contentOf(mask), "SigBlk: 0000000000000200\n");
    EXPECT_EQ(watch.started_, 1);
    EXPECT_EQ(watch.ended_, 1);
}

}  // namespace
