// Builds that go wrong, through the real binary and a stand-in compiler: a
// compiler that fails or dies halfway through an object, a link that fails,
// and tolm itself stopped by a signal while compilers run or while the
// toolchains are checked, by a kill of its whole process group, or by an
// output whose reader left. Nothing half-written survives, what was finished
// is not done again, and no process tolm started outlives it. A signal ignored
// when tolm starts stays ignored.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "support/process_watch.h"
#include "tools/fake_tool.h"
#include "util/file_lock.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::alive;
using TestSupport::eventually;
using TestSupport::runsIn;

const char* const kSources[] = {"a1", "a2", "b1", "b2", "c1", "c2", "d1", "d2"};

class BuildFaultsScenario : public TolmScenario {
protected:
    // A stand-in gcc: each source gives an object written in two steps, "half" and then "whole". A
    // source holding HOLD waits between them while the file "hold" exists, one holding KILL dies
    // there. A link writes half its output and fails while the file "nolink" exists. The eight
    // sources compile in four jobs of two with -j 4.
    void SetUp() override {
        const std::string root = FakeTool::shellQuoted(work_.path().string());
        const fs::path bin = toolDirectory(
            "for a in \"$@\"; do\n"
            "  if [ \"$prev\" = -o ]; then printf half > \"$a\"; [ -e " + root + "/nolink ] && exit 1;"
            " printf whole >> \"$a\"; fi; prev=\"$a\"\n"
            "  case \"$a\" in *.c) o=\"$(basename \"$a\" .c).o\"; printf half > \"$o\"\n"
            "    if grep -q HOLD \"$a\"; then while [ -e " + root + "/hold ]; do sleep 0.02; done; fi\n"
            "    if grep -q KILL \"$a\"; then kill -9 $$; fi\n"
            "    printf whole >> \"$o\";; esac\ndone\n");
        std::string sources;
        for (const char* name : kSources) {
            sources += std::string(sources.empty() ? "" : ", ") + "P\"(" + name + ".c)\"";
            write(std::string(name) + ".c", "int " + std::string(name) + ";\n");
        }
        writeProject("prog: objects { OBJS = objects.objs OUTPUT_DIR = P\"(out)\" }\nobjects: { C_FILES = [" + sources +
                         "] C_FLAGS = \"-c\" OUTPUT_DIR = P\"(out)\" }\n",
                     tool("gnu-gcc", bin.string()));
    }

    std::string object(const std::string& name) const { return at("out/" + name + ".o"); }
    // The sources a run compiled, in kSources order.
    static std::string compiled(const RunResult& run) {
        std::string names;
        for (const char* name : kSources)
            if (run.out.find("/" + std::string(name) + ".c\"") != std::string::npos) names += std::string(name) + " ";
        return names;
    }
    // Whether a process whose command line holds `text` (a stand-in compiler, given a path of the work
    // directory) runs.
    static bool running(const std::string& text) {
        for (const auto& entry : fs::directory_iterator("/proc"))
            if (contentOf(entry.path() / "cmdline").find(text) != std::string::npos) return true;
        return false;
    }
};

// A compiler that dies after writing half an object fails its job and the build: that object is
// removed, the other jobs' objects are kept, and the next run compiles only the dead job's sources.
// A link that fails leaves no half program; the next run (link still failing) compiles nothing,
// and once the link works it is all that runs.
TEST_F(BuildFaultsScenario, FailedBuildKeepsWhatSucceeded) {
    write("c1.c", "KILL\n");
    write("nolink", "");
    const RunResult killed = tolm({"-j", "4", "prog"});
    EXPECT_EQ(killed.exitCode, 1);
    EXPECT_TRUE(hasLine(killed.out, "[app::objects] Removed '" + object("c1") +
                                        "': the job that writes it did not finish.\n")) << killed.out;
    EXPECT_FALSE(fs::exists(object("c1")));
    EXPECT_EQ(contentOf(object("d2")), "halfwhole");

    write("c1.c", "int c1;\n");
    const RunResult relinked = tolm({"-j", "4", "prog"});
    EXPECT_EQ(compiled(relinked), "c1 c2 ") << relinked.out;
    EXPECT_TRUE(hasLine(relinked.out, "[app::prog] Build of app::prog failed. Exiting..\n")) << relinked.out;
    EXPECT_FALSE(fs::exists(at("out/prog")));

    const RunResult again = tolm({"-j", "4", "prog"});
    EXPECT_EQ(compiled(again), "") << again.out;
    EXPECT_EQ(again.exitCode, 1);
    fs::remove(at("nolink"));
    const RunResult fixed = tolm({"-j", "4", "prog"});
    EXPECT_EQ(fixed.exitCode, 0) << fixed.out;
    EXPECT_EQ(compiled(fixed), "");
    EXPECT_EQ(contentOf(at("out/prog")), "halfwhole");
}

// A signal to tolm once the compilers of a and b ended and those of c1 and d1 hold: no
// compiler is left. On SIGTERM or SIGINT tolm passes it on, waits for them, removes their half
// objects, keeps the finished ones, says it was interrupted and exits with 128 + the signal; the
// next run compiles only what was left. A tolm killed outright takes its compilers with it too.
TEST_F(BuildFaultsScenario, SignalsStopTheCompilers) {
    for (const auto& [signal, name] : {std::pair{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGKILL, "SIGKILL"}}) {
        fs::remove_all(at("out"));
        fs::remove(at(".tolm_cache"));
        for (const char* held : {"c1", "d1"}) write(std::string(held) + ".c", "HOLD\n");
        write("hold", "");
        std::atomic<pid_t> pid{0};
        const Scenario::RunEnvironment environment{.home = home_.path().string(),
                                                   .started = [&](pid_t started) { pid = started; }};
        auto run = std::async(std::launch::async,
                              [&] { return Scenario::runTolm({"-j", "4", "prog"}, work_.path(), environment); });
        EXPECT_TRUE(eventually([&] {
            return contentOf(object("a2")) == "halfwhole" && contentOf(object("b2")) == "halfwhole" &&
                   !running(at("a1.c")) && !running(at("b1.c")) && fs::exists(object("c1")) && fs::exists(object("d1"));
        })) << name;
        // The runner knows the pid before tolm can start a compiler; a signal never sent fails here.
        EXPECT_GT(pid.load(), 0) << name;
        if (pid > 0) kill(pid, signal);
        EXPECT_TRUE(eventually([&] { return !running(work_.path().string()); })) << name;
        // A tolm still waiting for its compilers would wait for ever: they are let go.
        fs::remove(at("hold"));
        const RunResult stopped = run.get();
        if (signal == SIGKILL) continue;
        EXPECT_EQ(stopped.exitCode, 128 + signal) << stopped.out;
        EXPECT_TRUE(hasLine(stopped.out, "Error: Build interrupted by " + std::string(name) + ".\n")) << stopped.out;
        EXPECT_FALSE(fs::exists(object("c1")));
        EXPECT_FALSE(fs::exists(object("d1")));
        EXPECT_EQ(contentOf(object("b2")), "halfwhole");

        const RunResult rest = tolm({"-j", "4", "prog"});
        EXPECT_EQ(rest.exitCode, 0) << rest.out;
        EXPECT_EQ(compiled(rest), "c1 c2 d1 d2 ") << name;
    }
}

// tolm killed outright (SIGKILL) while a command has written half its output: the next run does
// not take that half for built, though it is newer than its input (its time is not the one the
// last build left); it builds it again, and then has nothing to do.
TEST_F(BuildFaultsScenario, HalfOutputOfAKilledBuildIsBuiltAgain) {
    const std::string hold = FakeTool::shellQuoted(at("hold"));
    writeProject("gen: { src = P\"(in.txt)\" ^out = P\"(out.txt)\" cmdline = \"printf HALF > out.txt; while [ -e " + hold +
                 " ]; do sleep 0.02; done; cat in.txt > out.txt\" }\n");
    write("in.txt", "one\n");
    ASSERT_EQ(tolm({"gen"}).exitCode, 0);
    ASSERT_EQ(contentOf(at("out.txt")), "one\n");

    write("in.txt", "two\n");
    write("hold", "");
    std::atomic<pid_t> pid{0};
    const Scenario::RunEnvironment environment{.home = home_.path().string(),
                                               .started = [&](pid_t started) { pid = started; }};
    auto run = std::async(std::launch::async, [&] { return Scenario::runTolm({"gen"}, work_.path(), environment); });
    EXPECT_TRUE(eventually([&] { return contentOf(at("out.txt")) == "HALF"; }));
    if (pid > 0) kill(pid, SIGKILL);
    EXPECT_TRUE(eventually([&] { return !running(at("hold")); }));
    fs::remove(at("hold"));
    EXPECT_EQ(run.get().exitCode, -1);
    ASSERT_EQ(contentOf(at("out.txt")), "HALF");

    const RunResult next = tolm({"gen"});
    EXPECT_EQ(count(next, "[app::gen] Starting build job"), 1) << next.out;
    EXPECT_EQ(contentOf(at("out.txt")), "two\n");
    EXPECT_TRUE(ranNothing(tolm({"gen"})));
}

// Runs tolm in the background for a test that signals it.
class SignalScenario : public TolmScenario {
protected:
    // Starts a run of `words` with the signals `ignored` ignored from its start.
    std::future<RunResult> start(const Words& words, std::vector<int> ignored = {}) {
        pid_ = 0;
        const Scenario::RunEnvironment environment{.home = home_.path().string(),
                                                   .started = [this](pid_t started) { pid_ = started; },
                                                   .ignoredSignals = std::move(ignored)};
        return std::async(std::launch::async,
                          [this, environment, words] { return Scenario::runTolm(words, work_.path(), environment); });
    }
    // The runner learns the pid after the fork, maybe after tolm has got far.
    void send(int signal) const {
        if (eventually([this] { return pid_ > 0; })) kill(pid_, signal);
    }
    static std::string interrupted(int signal) {
        return "Error: Build interrupted by SIG" + std::string(sigabbrev_np(signal)) + ".\n";
    }
    // Sends the signal and waits for the run to end, killing it outright when it is still there
    // half a minute later (a run deaf to the signal then fails its test rather than hang it); how
    // long the run took from the signal on.
    std::chrono::duration<double> stop(std::future<RunResult>& run, int signal, RunResult& result) const {
        send(signal);
        const auto sent = std::chrono::steady_clock::now();
        finish(run, result);
        return std::chrono::steady_clock::now() - sent;
    }
    // Waits for a signalled run to end, as stop does.
    void finish(std::future<RunResult>& run, RunResult& result) const {
        if (!eventually([this] { return !alive(pid_); })) kill(pid_, SIGKILL);
        result = run.get();
    }
    // Signals a run of target a once its command wrote "started". A command that cleans up on the
    // signal writes "cleaning", then "c.txt" some seconds later, longer than the grace after which
    // tolm kills what cannot hear the signal: meanwhile the project is still locked. `twice`: the
    // signal comes again once the clean-up began, as a second Ctrl-C.
    void stopWhileCleaning(int signal, bool cleansUp, bool twice = false) {
        for (const char* file : {"started", "cleaning", "c.txt", "o.txt", ".tolm_cache"}) fs::remove(at(file));
        auto run = start({"a"});
        EXPECT_TRUE(eventually([&] { return fs::exists(at("started")); })) << signal;
        send(signal);
        if (cleansUp) {
            EXPECT_TRUE(eventually([&] { return fs::exists(at("cleaning")); })) << signal;
            EXPECT_FALSE(fs::exists(at("c.txt"))) << signal;
            EXPECT_TRUE(projectLocked()) << signal;
        } else if (twice) {
            // Apart enough for tolm to pass on each: two sent at once may arrive as one.
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        if (twice) send(signal);
        RunResult stopped;
        finish(run, stopped);
        EXPECT_EQ(stopped.exitCode, 128 + signal) << stopped.out;
        EXPECT_TRUE(hasLine(stopped.out, interrupted(signal))) << stopped.out;
        EXPECT_EQ(contentOf(at("c.txt")), cleansUp ? "cleaned\n" : "") << signal;
        EXPECT_FALSE(fs::exists(at("o.txt"))) << signal;
        EXPECT_FALSE(runsIn(work_.path())) << signal;
    }
    // Whether a build holds the project's lock.
    bool projectLocked() const {
        const int file = open(at(".tolm_cache.lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0) return false;
        const bool taken = flock(file, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        close(file);
        return taken;
    }
    // Whether the process has the file open.
    // Only once the program runs tolm: between fork and exec the child still holds the test's own
    // descriptors, the lock file's among them.
    static bool hasOpen(pid_t pid, const fs::path& file) {
        try {
            if (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe") != fs::canonical(TOLM_BINARY)) return false;
            for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
                if (fs::read_symlink(entry.path()) == file) return true;
        } catch (const fs::filesystem_error&) {
            // It ended, or closed a descriptor while being looked at.
        }
        return false;
    }

    std::atomic<pid_t> pid_{0};
};

// A signal ignored when tolm starts (SIGHUP under nohup, SIGINT for a background job of a script)
// stays ignored by tolm and its commands: sent during a command, the build completes and the next
// target is built. Another signal still stops the build.
TEST_F(SignalScenario, IgnoredSignalStaysIgnored) {
    const std::string hold = FakeTool::shellQuoted(at("hold"));
    writeProject("next: slow { cmdline = \"touch next.txt\" }\n"
                 "slow: { cmdline = \"touch started; while [ -e " + hold + " ]; do sleep 0.02; done; echo finished\" }\n");
    for (const auto& [ignored, other] : {std::pair{SIGHUP, SIGTERM}, {SIGINT, SIGHUP}}) {
        for (const int sent : {ignored, other}) {
            for (const char* file : {"next.txt", "started", ".tolm_cache"}) fs::remove(at(file));
            write("hold", "");
            auto run = start({"next"}, {ignored});
            EXPECT_TRUE(eventually([&] { return fs::exists(at("started")); })) << ignored;
            send(sent);
            const bool completes = sent == ignored;
            // A signal taken is noted by tolm's signal thread a moment after it is sent; the command
            // is let go only where nothing stops it, else it could end, and the next target start,
            // before a loaded machine ran that thread. Stopping the build ends the command.
            if (completes) fs::remove(at("hold"));
            const RunResult result = run.get();
            fs::remove(at("hold"));
            EXPECT_EQ(result.exitCode, completes ? 0 : 128 + sent) << result.out;
            if (completes) {
                EXPECT_TRUE(hasLine(result.out, "finished\n")) << result.out;
            }
            EXPECT_EQ(fs::exists(at("next.txt")), completes) << ignored << " " << sent;
            EXPECT_EQ(hasLine(result.out, interrupted(sent)), !completes) << result.out;
        }
    }
}

// A signal while the toolchains are checked, with a compiler that never tells its machine (and,
// the second time, ignores the signal): tolm prints its one line and exits with 128 + the signal,
// and neither the probe nor what it started outlives it.
TEST_F(SignalScenario, SignalDuringToolchainChecksEndsTheProbes) {
    const std::string pids = FakeTool::shellQuoted(at("pids"));
    writeProject("app: { cmdline = \"true\" }\n", tool("gnu-gcc", at("bin")));
    for (const auto& [signal, trap] : {std::pair{SIGINT, ""}, {SIGTERM, "trap '' INT TERM HUP\n"}}) {
        fs::remove(at("pids"));
        FakeTool::writeExecutable(at("bin/gcc"), "#!/bin/sh\n[ \"$1\" = -dumpmachine ] || exec /usr/bin/gcc \"$@\"\n" +
                                                     std::string(trap) + "sleep 1000000 &\necho $! >> " + pids +
                                                     "\necho $$ >> " + pids + "\nwait\n");
        auto run = start({"app"});
        EXPECT_TRUE(eventually([&] { return linesOf(contentOf(at("pids"))).size() >= 2; })) << signal;
        send(signal);
        const RunResult result = run.get();
        EXPECT_EQ(result.exitCode, 128 + signal);
        EXPECT_EQ(result.out, interrupted(signal));
        for (const std::string& pid : linesOf(contentOf(at("pids"))))
            EXPECT_TRUE(eventually([&] { return !alive(std::stoi(pid)); })) << signal << " " << pid;
    }
}

// A signal while "-r" or "--find-compilers" waits for the registry lock ends the run at once with
// its one line and 128 + the signal, not after the wait's time-out; the registry is left as it was.
TEST_F(SignalScenario, SignalEndsTheRegistryWait) {
    writeProject("app: { cmdline = \"true\" }\n");
    fs::create_directories(registryFile().parent_path());
    const fs::path lockFile = registryFile().string() + ".lock";
    Util::FileLock held(lockFile);
    ASSERT_EQ(held.tryLock(), Util::FileLock::Attempt::Held);
    for (const Words& words : {Words{"-r"}, Words{"--find-compilers"}}) {
        auto run = start(words);
        EXPECT_TRUE(eventually([&] { return pid_ > 0 && hasOpen(pid_, lockFile); })) << words[0];
        RunResult result;
        const auto took = stop(run, SIGTERM, result);
        EXPECT_EQ(result.exitCode, 128 + SIGTERM) << words[0] << result.out;
        EXPECT_TRUE(hasLine(result.out, interrupted(SIGTERM))) << words[0] << result.out;
        EXPECT_LT(took.count(), 10) << words[0];
    }
    EXPECT_EQ(contentOf(registryFile()), "");
}

// "-o" naming a FIFO nobody reads: SIGTERM and SIGINT end the run at once, with the target
// built. Once a reader comes, the run writes its lines to it and ends well.
TEST_F(SignalScenario, SignalEndsTheWaitForAnOutputsReader) {
    writeProject("t: { ^out = P\"(o.txt)\" cmdline = \"echo x > o.txt\" }\n");
    const std::string fifo = at("outs.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    for (const int signal : {SIGTERM, SIGINT}) {
        fs::remove(at("o.txt"));
        auto run = start({"-o", "outs.fifo", "t"});
        EXPECT_TRUE(eventually([&] { return fs::exists(at("o.txt")); })) << signal;
        RunResult result;
        const auto took = stop(run, signal, result);
        EXPECT_EQ(result.exitCode, 128 + signal) << result.out;
        EXPECT_TRUE(hasLine(result.out, interrupted(signal))) << result.out;
        EXPECT_LT(took.count(), 10) << signal;
    }

    auto reader = std::async(std::launch::async, [&] { return contentOf(fifo); });
    const RunResult read = tolm({"-o", "outs.fifo", "t"});
    // A run that never opened the FIFO would leave the reader waiting for a writer.
    if (reader.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) close(writer);
    }
    EXPECT_EQ(read.exitCode, 0) << read.out;
    EXPECT_EQ(reader.get(), "out = P\"" + at("o.txt") + "\"\n");
}

// Shell text that waits for a file to exist, half a minute at most.
std::string waitFor(const std::string& file) {
    return "i=0; while [ ! -e " + file + " ] && [ $i -lt 1500 ]; do sleep 0.02; i=$((i+1)); done";
}

// Output whose reader leaves stops the build with status 1, also with SIGPIPE ignored from the
// start. "tolm | head -n 1", head reading once "second" runs: the line of "third" cannot go out,
// so its command never starts; the one line on standard error says why, and the next run builds
// only "third". The commands still get SIGPIPE as tolm got it: "yes" in a pipe of their own dies of
// it, or, ignored, fails on its own. "-o" naming a FIFO whose reader leaves before all is written
// fails with the outputs file's error, the built target recorded.
TEST_F(SignalScenario, ClosedOutputStopsTheBuild) {
    const std::string bigText(300000, 'x');
    writeProject("third: second { ^out = P\"(third.txt)\" cmdline = \"touch third.txt\" }\n"
                 "second: first { ^out = P\"(second.txt)\" cmdline = \"touch waiting; " + waitFor("gone") +
                 "; touch second.txt\" }\n"
                 "first: { ^out = P\"(first.txt)\" cmdline = \"echo first; (yes 2>/dev/null; echo $? > yes.status) | "
                 "head -n 1; touch first.txt\" }\n"
                 "big: { ^out = P\"(big.txt)\" ^text = \"" + bigText + "\" cmdline = \"touch big.txt\" }\n");
    const std::string fifo = at("outs.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    const std::string script = "[ -n \"$2\" ] && trap '' PIPE\n\"$1\" third | { " + waitFor("waiting") +
                               "; head -n 1; exec <&-; : > gone; }\nexit \"${PIPESTATUS[0]}\"\n";
    for (const auto& [ignored, yesStatus] : {std::pair{false, "141\n"}, {true, "1\n"}}) {
        for (const char* file : {".tolm_cache", "waiting", "gone", "second.txt", "third.txt", "yes.status"})
            fs::remove(at(file));
        const RunResult piped = Scenario::runProgram("/bin/bash", {"-c", script, "bash", TOLM_BINARY, ignored ? "1" : ""},
                                                     work_.path(), {.home = home_.path().string()});
        EXPECT_EQ(piped.exitCode, 1) << ignored;
        EXPECT_EQ(piped.err, "Error: cannot write to standard output\n") << ignored;
        EXPECT_EQ(piped.out, "Starting build\n") << ignored;
        EXPECT_EQ(contentOf(at("yes.status")), yesStatus) << ignored;
        EXPECT_TRUE(fs::exists(at("second.txt"))) << ignored;
        EXPECT_FALSE(fs::exists(at("third.txt"))) << ignored;
        const RunResult rest = tolm({"third"});
        EXPECT_EQ(rest.exitCode, 0) << rest.out;
        for (const auto& [target, jobs] : {std::pair{"first", 0}, {"second", 0}, {"third", 1}})
            EXPECT_EQ(count(rest, "[app::" + std::string(target) + "] Starting build job"), jobs) << rest.out;

        // Opened before the run, so tolm need not wait; never passed on to it.
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        // A pipe that holds the whole text would let the run end well.
        EXPECT_LT(fcntl(reader, F_GETPIPE_SZ), static_cast<int>(bigText.size()) / 2);
        auto run = start({"-o", "outs.fifo", "big"}, ignored ? std::vector{SIGPIPE} : std::vector<int>{});
        int pending = 0;
        EXPECT_TRUE(eventually([&] { return ioctl(reader, FIONREAD, &pending) == 0 && pending > 0; })) << ignored;
        char first;
        EXPECT_EQ(read(reader, &first, 1), 1);
        close(reader);
        if (!eventually([this] { return pid_ > 0 && !alive(pid_); })) kill(pid_, SIGKILL);
        const RunResult written = run.get();
        EXPECT_EQ(written.exitCode, 1) << written.out;
        EXPECT_TRUE(hasLine(written.out, "Error: Unable to write outputs file 'outs.fifo'.\n")) << written.out;
        EXPECT_EQ(written.err, "");
        EXPECT_TRUE(ranNothing(tolm({"big"}))) << ignored;
    }
}

// A process group of the test's own, apart from every run: "sleep" as its leader, killed and
// collected at the end.
class Bystander {
public:
    Bystander() {
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("1000"), nullptr};
        if (posix_spawn(&pid_, "/bin/sleep", nullptr, &attributes, argv, nullptr) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attributes);
    }
    ~Bystander() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Bystander(const Bystander&) = delete;
    Bystander& operator=(const Bystander&) = delete;

    pid_t pid() const { return pid_; }
    // Its group's number as the four bytes of an int32 in memory, in the octal escapes of printf(1):
    // a unit file cannot hold the bytes themselves, since the number's high byte is always NUL.
    std::string printfEscapes() const {
        unsigned char bytes[sizeof(std::int32_t)];
        const std::int32_t group = pid_;
        memcpy(bytes, &group, sizeof group);
        std::string escapes;
        for (const unsigned char byte : bytes)
            escapes += {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + (byte >> 3 & 7)),
                        static_cast<char>('0' + (byte & 7))};
        return escapes;
    }

private:
    pid_t pid_ = -1;
};

// tolm started with standard streams closed, as service units and cron lines may start it: the
// build runs as with /dev/null there and ends well. Killed outright, it still has its command
// stopped, and no other group signalled. Target t's command comes after 85 bytes of tolm's own
// output, a length that four-byte numbers do not divide; target b's command writes the number
// of a group of the test's own, in the bytes a four-byte number would take there.
TEST_F(SignalScenario, ClosedStandardStreamsKeepTheGuardSound) {
    const Bystander group;
    ASSERT_GT(group.pid(), 0);
    const pid_t bystander = group.pid();
    // "[app::b] " ends at byte 77 of the output, the command line after it at byte 111: the number
    // its printf writes starts at byte 112.
    writeProject("t: { cmdline = \"sh r.sh\" }\nb: { cmdline = R\"(printf '" + group.printfEscapes() +
                 "'; sh r.sh)\" }\n");
    // The command writes to standard output and error, as any may; a write that fails fails it.
    write("r.sh", "if [ -e hold ]; then touch started; while [ -e hold ]; do sleep 0.02; done; fi\n"
                  "echo out && echo error >&2 && echo done > o.txt\n");
    using Streams = std::vector<int>;
    for (const auto& [closed, target] : {std::pair{Streams{1}, "t"}, {Streams{1}, "b"}, {Streams{0, 1}, "t"},
                                         {Streams{1, 2}, "t"}, {Streams{0}, "t"}, {Streams{2}, "t"},
                                         {Streams{0, 1, 2}, "b"}}) {
        const std::string row = ::testing::PrintToString(closed) + " " + target;
        for (const char* file : {"o.txt", "started", ".tolm_cache", "hold"}) fs::remove(at(file));
        pid_ = 0;
        const Scenario::RunEnvironment environment{.home = home_.path().string(),
                                                   .started = [this](pid_t started) { pid_ = started; },
                                                   .closedStreams = closed};
        const RunResult quick = Scenario::runTolm({target}, work_.path(), environment);
        EXPECT_EQ(quick.exitCode, 0) << row << quick.out << quick.err;
        EXPECT_EQ(contentOf(at("o.txt")), "done\n") << row;

        for (const char* file : {"o.txt", ".tolm_cache"}) fs::remove(at(file));
        write("hold", "");
        auto run = std::async(std::launch::async, [&] { return Scenario::runTolm({target}, work_.path(), environment); });
        EXPECT_TRUE(eventually([&] { return fs::exists(at("started")); })) << row;
        send(SIGKILL);
        // Once nothing runs in the directory, the guard has ended too, and has sent all it sends.
        EXPECT_TRUE(eventually([&] { return !runsIn(work_.path()); })) << row;
        fs::remove(at("hold"));
        EXPECT_EQ(run.get().exitCode, -1) << row;
        EXPECT_FALSE(fs::exists(at("o.txt"))) << row;
        EXPECT_TRUE(alive(bystander)) << row;
    }
}

// A kill of tolm's whole process group, as a supervisor's time-out sends it, while a command
// runs: the command is stopped all the same and never writes what it would have written once
// let go, and nothing of the run is left, its guard included. SIGTERM to the group ends the run
// as ever.
TEST_F(SignalScenario, KillOfTheWholeGroupStopsTheCommands) {
    const std::string hold = FakeTool::shellQuoted(at("hold"));
    writeProject("late: { cmdline = \"touch started; while [ -e " + hold +
                 " ]; do sleep 0.02; done; echo written > late.txt\" }\n");
    for (const auto& [signal, status] : {std::pair{SIGKILL, -1}, {SIGTERM, 128 + SIGTERM}}) {
        for (const char* file : {"started", ".tolm_cache"}) fs::remove(at(file));
        write("hold", "");
        pid_ = 0;
        const Scenario::RunEnvironment environment{.home = home_.path().string(),
                                                   .started = [this](pid_t started) { pid_ = started; }};
        // setsid makes the group, as a supervisor would, and runs tolm in its own process.
        auto run = std::async(std::launch::async, [&] {
            return Scenario::runProgram("/usr/bin/setsid", {TOLM_BINARY, "late"}, work_.path(), environment);
        });
        EXPECT_TRUE(eventually([&] { return fs::exists(at("started")); })) << signal;
        // Never kill(0, ...): that is the test's own group.
        if (eventually([this] { return pid_ > 0; }) && getpgid(pid_) == pid_) kill(-pid_, signal);
        EXPECT_TRUE(eventually([&] { return !runsIn(work_.path()); })) << signal;
        fs::remove(at("hold"));
        EXPECT_EQ(run.get().exitCode, status) << signal;
        // A command left running would end now, and write its file.
        EXPECT_TRUE(eventually([&] { return !runsIn(work_.path()); })) << signal;
        EXPECT_FALSE(fs::exists(at("late.txt"))) << signal;
    }
}

// SIGTERM or SIGINT while a child of the command ignores SIGTERM (it runs in the command's process
// group, as the command's shell ends), while the command's own process ignores the signal, or
// while the command's shell holds SIGINT back for a foreground child that ignores it: tolm ends
// with 128 + the signal only once nothing of the command runs, what outlived the grace ended with
// SIGKILL as after a kill -9.
TEST_F(SignalScenario, StopLeavesNothingOfTheCommandRunning) {
    for (const char* const command : {"sh -c 'trap \"\" TERM; touch started; exec sleep 300' & wait",
                                      "trap '' TERM INT; touch started; exec sleep 300",
                                      "sh -c 'trap \"\" TERM INT; touch started; exec sleep 300'; touch after"}) {
        writeProject("a: { cmdline = R\"(" + std::string(command) + ")\" }\n");
        for (const int signal : {SIGTERM, SIGINT}) {
            fs::remove(at("started"));
            auto run = start({"a"});
            EXPECT_TRUE(eventually([&] { return fs::exists(at("started")); })) << command << signal;
            RunResult stopped;
            stop(run, signal, stopped);
            EXPECT_EQ(stopped.exitCode, 128 + signal) << command << stopped.out;
            EXPECT_TRUE(hasLine(stopped.out, interrupted(signal))) << stopped.out;
            EXPECT_FALSE(runsIn(work_.path())) << command << signal;
        }
    }
}

// SIGINT or SIGTERM while the command's shell catches it and cleans up for longer than the grace:
// the clean-up finishes and tolm ends after it with 128 + the signal, also when a child in the
// same group ignores the signal (that child alone gets SIGKILL). Nothing of the command is left;
// the children's sleeps would outlast the wait for tolm.
TEST_F(SignalScenario, StopLetsACleanUpFinish) {
    const std::string cleanUp =
        "trap 'kill $! 2>/dev/null; touch cleaning; sleep 6 && echo cleaned > c.txt; exit 1' INT TERM; ";
    for (const std::string& command :
         {cleanUp + "touch started; sleep 300 & wait; echo > o.txt",
          cleanUp + "sh -c \"trap '' INT TERM; touch started; exec sleep 300\" & wait; echo > o.txt"}) {
        writeProject("a: { cmdline = R\"(" + command + ")\" }\n");
        for (const int signal : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(command + " " + sigabbrev_np(signal));
            stopWhileCleaning(signal, true);
        }
    }
}

// Ctrl-C, then SIGTERM, while the command's process waits where no signal but SIGKILL reaches it
// (here for a vfork child): it takes the first only once that wait is over, its handler holding
// both back meanwhile. It took the signal, so its clean-up finishes.
TEST_F(SignalScenario, StopLetsACleanUpFinishThatTookTheSignalLate) {
    write("late.c", "#include <signal.h>\n#include <stdio.h>\n#include <unistd.h>\n"
                    "static void cleanUp(int s) {\n"
                    "  (void)s; fclose(fopen(\"cleaning\", \"w\")); sleep(6);\n"
                    "  FILE* c = fopen(\"c.txt\", \"w\"); fputs(\"cleaned\\n\", c); fclose(c); _exit(1);\n"
                    "}\n"
                    "int main(void) {\n"
                    "  struct sigaction a = {0}; a.sa_handler = cleanUp;\n"
                    "  sigemptyset(&a.sa_mask); sigaddset(&a.sa_mask, SIGINT); sigaddset(&a.sa_mask, SIGTERM);\n"
                    "  sigaction(SIGINT, &a, 0); sigaction(SIGTERM, &a, 0);\n"
                    "  fclose(fopen(\"started\", \"w\"));\n"
                    "  if (vfork() == 0) {\n"
                    "    sigset_t all; sigfillset(&all); sigprocmask(SIG_BLOCK, &all, 0);\n"
                    "    while (access(\"release\", F_OK) != 0) usleep(20000);\n"
                    "    _exit(0);\n"
                    "  }\n"
                    "  for (;;) pause();\n"
                    "}\n");
    ASSERT_EQ(Scenario::runProgram("/usr/bin/gcc", {"-o", "late", "late.c"}, work_.path(), {}).exitCode, 0);
    writeProject("a: { cmdline = R\"(exec ./late)\" }\n");
    auto run = start({"a"});
    EXPECT_TRUE(eventually([&] { return fs::exists(at("started")); }));
    // Apart enough for tolm to pass on each.
    send(SIGINT);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    send(SIGTERM);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    write("release", "");
    EXPECT_TRUE(eventually([&] { return fs::exists(at("cleaning")); }));
    RunResult stopped;
    finish(run, stopped);
    EXPECT_EQ(stopped.exitCode, 128 + SIGINT) << stopped.out;
    EXPECT_EQ(contentOf(at("c.txt")), "cleaned\n");
    EXPECT_FALSE(runsIn(work_.path()));
}

// A stop ends the command's shell while a process it started in the background cleans up: tolm
// waits for that clean-up, the project locked, when it catches the signal (SIGTERM), and ends it
// after the grace when it cannot (a shell's background job ignores SIGINT).
TEST_F(SignalScenario, StopWaitsForWhatOutlivesTheCommandsShell) {
    writeProject("a: { cmdline = R\"(sh -c \"trap 'touch cleaning; sleep 6 && echo cleaned > c.txt; exit 1' TERM; "
                 "touch started; sleep 300 & wait\" & wait; echo > o.txt)\" }\n");
    for (const auto& [signal, cleansUp] : {std::pair{SIGTERM, true}, {SIGINT, false}}) {
        SCOPED_TRACE(sigabbrev_np(signal));
        stopWhileCleaning(signal, cleansUp);
    }
}

// A process that outlives SIGKILL (frozen by a cgroup; a hung network read holds one alike) holds
// up no stop: killed, it never runs the command's code again. tolm ends while it is still there.
TEST_F(SignalScenario, StopEndsThoughAProcessOutlivesItsKill) {
    const fs::path cgroup = fs::path("/sys/fs/cgroup/freezer") / ("tolm-test-" + std::to_string(getpid()));
    std::error_code error;
    if (!fs::create_directory(cgroup, error)) GTEST_SKIP() << "no cgroup freezer to make a process unkillable";
    writeProject("a: { cmdline = R\"(perl -e '$SIG{TERM} = sub {}; open my $s, \">\", \"started\"; print $s $$; "
                 "close $s; sleep 300'; echo > o.txt)\" }\n");
    auto run = start({"a"});
    EXPECT_TRUE(eventually([&] { return !contentOf(at("started")).empty(); }));
    const std::string perl = contentOf(at("started"));
    const auto freeze = [&](const char* state) {
        std::ofstream(cgroup / "freezer.state") << state;
    };
    std::ofstream(cgroup / "cgroup.procs") << perl;
    freeze("FROZEN");
    RunResult stopped;
    stop(run, SIGTERM, stopped);
    EXPECT_EQ(stopped.exitCode, 128 + SIGTERM) << stopped.out;
    EXPECT_TRUE(alive(std::stoi(perl)));
    freeze("THAWED");
    EXPECT_TRUE(eventually([&] { return !alive(std::stoi(perl)); }));
    EXPECT_TRUE(eventually([&] { return fs::remove(cgroup, error); }));
    EXPECT_FALSE(fs::exists(at("o.txt")));
}

// What no signal will end, after a stop, gets SIGKILL once the grace is over, and tolm ends: a
// process that ignored the signal when it came, though it catches it by then; one that blocks it
// and never takes it; the first process of a PID namespace of its own, which no signal from
// outside stops; a clean-up that stopped; what a clean-up leaves behind once it is done, be it
// deaf to the signal or not; what the command's shell left behind that caught the signal and
// carries on, some seconds later; a chain of processes each starting the next and ending, which
// killing the processes seen one by one never ends; one that catches the signal in a wait only
// SIGKILL ends, however often it comes. A clean-up that takes the signal itself (sigwait), or ignores it
// once it began, finishes, also after a second Ctrl-C. Nothing of the command is left.
TEST_F(SignalScenario, StopEndsWhatWouldNeverEnd) {
    write("late.pl", "$SIG{INT} = $SIG{TERM} = sub {\n"
                     "  open my $f, '>', 'cleaning'; close $f; sleep 6;\n"
                     "  system(\"sh -c 'trap \\\"\\\" INT TERM; exec sleep 300' &\");\n"
                     "  open my $c, '>', 'c.txt'; print $c \"cleaned\\n\"; close $c; exit 1;\n"
                     "};\n"
                     "open my $s, '>', 'started'; close $s; sleep 300;\n");
    write("chain.sh", "trap '' INT TERM HUP; sleep 0.005; sh \"$0\" &\n");
    write("carry.pl", "$SIG{INT} = $SIG{TERM} = $SIG{HUP} = sub {}; sleep 1 while 1;\n");
    write("later.pl", "$SIG{INT} = sub { open my $c, '>', 'c.txt'; print $c \"cleaned\\n\"; exit 1 }; sleep 300;\n");
    write("wait.c", "#include <signal.h>\n#include <stdio.h>\n#include <unistd.h>\n"
                    "int main(int argc, char** argv) {\n"
                    "  sigset_t set; sigemptyset(&set); sigaddset(&set, SIGINT); sigaddset(&set, SIGTERM);\n"
                    "  sigprocmask(SIG_BLOCK, &set, 0); fclose(fopen(\"started\", \"w\"));\n"
                    "  if (argc > 1) { sleep(300); return 0; }\n"
                    "  int taken; sigwait(&set, &taken); fclose(fopen(\"cleaning\", \"w\")); sleep(6);\n"
                    "  FILE* c = fopen(\"c.txt\", \"w\"); fputs(\"cleaned\\n\", c); fclose(c); return 1;\n"
                    "}\n");
    ASSERT_EQ(Scenario::runProgram("/usr/bin/gcc", {"-o", "wait", "wait.c"}, work_.path(), {}).exitCode, 0);
    // Catches the signals, then waits in the kernel for a page nobody fills, as a read from a hung
    // network file system does: a caught signal stays pending there, and only SIGKILL ends it.
    write("hung.c", "#include <fcntl.h>\n#include <linux/userfaultfd.h>\n#include <signal.h>\n#include <stdio.h>\n"
                    "#include <sys/ioctl.h>\n#include <sys/mman.h>\n#include <sys/syscall.h>\n#include <unistd.h>\n"
                    "static void cleanUp(int s) { (void)s; fclose(fopen(\"c.txt\", \"w\")); _exit(1); }\n"
                    "int main(int argc, char** argv) {\n"
                    "  signal(SIGINT, cleanUp); signal(SIGTERM, cleanUp);\n"
                    "  int faults = syscall(SYS_userfaultfd, O_CLOEXEC);\n"
                    "  struct uffdio_api api = {.api = UFFD_API};\n"
                    "  if (faults < 0 || ioctl(faults, UFFDIO_API, &api) != 0) return 2;\n"
                    "  if (argc > 1) return 0;\n"
                    "  char* page = mmap(0, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);\n"
                    "  struct uffdio_register r = {.range = {(unsigned long)page, 4096},\n"
                    "                              .mode = UFFDIO_REGISTER_MODE_MISSING};\n"
                    "  if (ioctl(faults, UFFDIO_REGISTER, &r) != 0) return 2;\n"
                    "  fclose(fopen(\"started\", \"w\"));\n"
                    "  return read(open(\"/dev/zero\", O_RDONLY), page, 16) < 0;\n"
                    "}\n");
    ASSERT_EQ(Scenario::runProgram("/usr/bin/gcc", {"-o", "hung", "hung.c"}, work_.path(), {}).exitCode, 0);
    const bool faultsHandled = Scenario::runProgram(at("hung"), {"probe"}, work_.path(), {}).exitCode == 0;
    const bool namespaces = std::system("unshare -pf --mount-proc true >/dev/null 2>&1") == 0;
    const struct {
        const char* form;
        std::string command;
        std::vector<int> signals;
        bool cleansUp, twice = false, namespaced = false, hung = false;
    } cases[] = {
        {"ignored, then caught", "sh -c 'trap \"\" INT; touch started; sleep 1; exec perl later.pl' & wait", {SIGINT},
         false},
        {"blocked, never taken", "./wait never", {SIGINT, SIGTERM}, false},
        {"taken, then held back", "./wait", {SIGINT}, true, true},
        {"a clean-up's deaf helper", "perl late.pl & wait", {SIGINT, SIGTERM}, true},
        {"a clean-up's helper",
         "trap 'touch cleaning; sleep 6 && echo cleaned > c.txt; sleep 300 & exit 1' INT TERM; "
         "sleep 300 & touch started; wait",
         {SIGINT, SIGTERM}, true},
        {"first of a PID namespace", "touch started; unshare -pf --mount-proc sleep 300", {SIGINT, SIGTERM}, false,
         false, true},
        {"left behind, catching and carrying on", "perl carry.pl & touch started; sleep 300", {SIGTERM, SIGHUP},
         false},
        {"stopped in its clean-up", "trap 'touch cleaning; kill -STOP $$; echo cleaned > c.txt' INT TERM; "
                                    "sleep 300 & touch started; wait",
         {SIGINT, SIGTERM}, false},
        {"a clean-up that ignores a second Ctrl-C",
         "trap 'trap \"\" INT TERM; touch cleaning; sleep 6 && echo cleaned > c.txt; exit 1' INT TERM; "
         "sleep 300 & touch started; wait",
         {SIGINT}, true, true},
        {"left behind, each starting the next and ending", "sh chain.sh & touch started; sleep 300", {SIGINT, SIGTERM},
         false},
        {"caught, in a wait only SIGKILL ends, twice", "./hung", {SIGINT, SIGTERM}, false, true, false, true},
    };
    for (const auto& c : cases) {
        if ((c.namespaced && !namespaces) || (c.hung && !faultsHandled)) continue;
        writeProject("a: { cmdline = R\"(" + c.command + "; echo > o.txt)\" }\n");
        for (const int signal : c.signals) {
            SCOPED_TRACE(std::string(c.form) + " " + sigabbrev_np(signal));
            stopWhileCleaning(signal, c.cleansUp, c.twice);
        }
    }
}

}  // namespace
