// Runs of the real binary at once: registrations in one registry all land,
// and builds in one project take turns, so none records another's outputs as
// its own. Each test forces the overlap it needs through events (a file a
// command makes, a line a run prints, a child a run starts), never through
// time.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "support/process_watch.h"
#include "tools/fake_tool.h"
#include "util/file_lock.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::runsIn;

const std::string kWaiting = "Waiting for another tolm run in this project to finish...";

std::string procFile(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The fields of /proc/<pid>/stat after the program's name: state, parent, ...
std::vector<std::string> statFields(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    std::istringstream rest(stat.substr(std::min(stat.size(), stat.rfind(')') + 1)));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}

// Gone, or a zombie that its parent has not waited for yet.
bool hasEnded(pid_t pid) {
    const auto fields = statFields(pid);
    return fields.empty() || fields[0] == "Z";
}

std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto fields = statFields(std::stoi(name));
        if (fields.size() > 1 && fields[1] == std::to_string(pid)) children.push_back(std::stoi(name));
    }
    return children;
}

bool hasChild(pid_t pid) {
    return !childrenOf(pid).empty();
}

// What a running tolm printed so far: its standard output is a file, which /proc reopens. Nothing
// while it is still the runner's child before exec, whose output is the runner's own.
std::string printedSoFar(pid_t pid) {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (error || program != fs::canonical(TOLM_BINARY)) return "";
    // A nested run's output is a pipe to the run above it, which a read here would take from it.
    if (!fs::is_regular_file("/proc/" + std::to_string(pid) + "/fd/1", error)) return "";
    // A run's guard starts as a copy of the run, its output the run's until it lets go of it: what
    // is there the run printed.
    const auto fields = statFields(pid);
    if (fields.size() > 1) {
        const std::string parent = "/proc/" + fields[1];
        if (fs::read_symlink(parent + "/exe", error) == program &&
            fs::equivalent(parent + "/fd/1", "/proc/" + std::to_string(pid) + "/fd/1", error))
            return "";
    }
    return procFile(pid, "fd/1");
}

// Looks again and again until `happened` holds (true) or the program has ended (false).
bool awaitWhileRunning(pid_t pid, const std::function<bool()>& happened) {
    for (;;) {
        if (happened()) return true;
        if (hasEnded(pid)) return happened();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The tolm that printed the wait line, `pid` itself or one below it (started by unshare, say); 0
// while none has.
pid_t waitingAtOrBelow(pid_t pid) {
    if (printedSoFar(pid).find(kWaiting) != std::string::npos) return pid;
    for (const pid_t child : childrenOf(pid))
        if (const pid_t waiting = waitingAtOrBelow(child)) return waiting;
    return 0;
}

// The identity of a file as a holder names it in TOLM_PROJECT_LOCKS: "<device>.<inode>".
std::string identityOf(const std::string& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return "none";
    return std::to_string(status.st_dev) + "." + std::to_string(status.st_ino);
}

// Stopped, as SIGSTOP leaves a process.
bool isStopped(pid_t pid) {
    const auto fields = statFields(pid);
    return !fields.empty() && (fields[0] == "T" || fields[0] == "t");
}

// A process of its own holding a flock on each of `count` files of a directory until it is
// killed, as a daemon or a test farm holds its locks.
class FlocksHeld {
public:
    FlocksHeld(const fs::path& place, int count) {
        fs::create_directories(place);
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) names.push_back((place / ("l" + std::to_string(i))).string());
        const std::string ready = (place / "held").string();
        pid_ = fork();
        if (pid_ == 0) {
            rlimit files{};
            getrlimit(RLIMIT_NOFILE, &files);
            files.rlim_cur = files.rlim_max;
            setrlimit(RLIMIT_NOFILE, &files);
            for (const std::string& name : names) {
                const int file = open(name.c_str(), O_RDWR | O_CREAT, 0644);
                if (file < 0 || flock(file, LOCK_EX) != 0) _exit(1);
            }
            close(open(ready.c_str(), O_WRONLY | O_CREAT, 0644));
            for (;;) pause();
        }
        held_ = awaitWhileRunning(pid_, [&] { return fs::exists(ready); });
    }
    ~FlocksHeld() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool held() const { return held_; }

private:
    pid_t pid_ = 0;
    bool held_ = false;
};

class RunLocksScenario : public TolmScenario {
protected:
    // A run in the work directory (or a subdirectory), with the environment entries given;
    // `started` is called while it runs.
    RunResult tolmWhile(const Words& words, std::function<void(pid_t)> started, Words environment = {},
                        const std::string& subdirectory = "") const {
        return Scenario::runTolm(words, work_.path() / subdirectory,
                                 {.home = home_.path().string(), .extra = std::move(environment), .started = std::move(started)});
    }
    // Whether the run printed the wait line, once it has done so or ended.
    static bool waits(pid_t pid) {
        return awaitWhileRunning(pid, [pid] { return printedSoFar(pid).find(kWaiting) != std::string::npos; });
    }
    // The tolm at or below the program run that printed the wait line, once one has; 0 when the
    // program ended without.
    static pid_t waitingBelow(pid_t pid) {
        pid_t waiting = 0;
        awaitWhileRunning(pid, [&] { return (waiting = waitingAtOrBelow(pid)) != 0; });
        return waiting;
    }
    // A program run in the work directory with the scratch home, its argv given; `started` is
    // called while it runs.
    RunResult programWhile(const Words& argv, std::function<void(pid_t)> started, Words environment = {},
                           const std::string& subdirectory = "") const {
        return Scenario::runProgram(argv.at(0), Words(argv.begin() + 1, argv.end()), work_.path() / subdirectory,
                                    {.home = home_.path().string(), .extra = std::move(environment),
                                     .started = std::move(started)});
    }
    // Whether a run of target t, started through `through` (unshare, say) with TOLM_PROJECT_LOCKS
    // set to `entry`, waits; a run that waits is ended with SIGINT, one that does not builds t.
    bool waitsGiven(const std::string& entry, const Words& through) const {
        Words argv = through;
        argv.insert(argv.end(), {TOLM_BINARY, "t"});
        pid_t waiting = 0;
        const RunResult run = programWhile(argv, [&](pid_t running) {
            if ((waiting = waitingBelow(running)) != 0) kill(waiting, SIGINT);
        }, {"TOLM_PROJECT_LOCKS=" + entry});
        EXPECT_EQ(run.exitCode, waiting != 0 ? 128 + SIGINT : 0) << entry << run.out;
        return waiting != 0;
    }
    // Runs `argv` in the background; returns once `ready` holds while it runs. The run's pid is
    // left in `pid` when given.
    std::future<RunResult> startWhen(const Words& argv, const std::function<bool()>& ready, Words environment = {},
                                     const std::string& subdirectory = "", pid_t* pid = nullptr) const {
        auto started = std::make_shared<std::promise<pid_t>>();
        auto run = std::async(std::launch::async, [=, this] {
            return programWhile(argv, [started](pid_t running) { started->set_value(running); }, environment,
                                subdirectory);
        });
        const pid_t running = started->get_future().get();
        if (pid != nullptr) *pid = running;
        EXPECT_TRUE(awaitWhileRunning(running, ready)) << argv.back();
        return run;
    }
};

// Eight registrations at once, each in a project of its own, five rounds: every run says it updated
// the registry, and the file then holds every project registered so far.
TEST_F(RunLocksScenario, RegistrationsAtOnceAllLand) {
    constexpr int kProjects = 8;
    std::vector<std::string> registered;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::string> names;
        for (int index = 0; index < kProjects; ++index) {
            names.push_back("p" + std::to_string(round) + "_" + std::to_string(index));
            write(names.back() + "/.tolm_project.txt", "name " + names.back() + "\nunits { app { \"tolm.txt\" } }\n");
            write(names.back() + "/tolm.txt", "unit app\nmain: { }\n");
        }
        std::vector<std::future<RunResult>> runs;
        for (const std::string& name : names)
            runs.push_back(std::async(std::launch::async, [&, name] { return tolm({"-r"}, name); }));
        for (auto& run : runs) {
            const RunResult result = run.get();
            ASSERT_EQ(result.exitCode, 0) << round << result.out;
            ASSERT_EQ(result.out, "Updated file '" + registryFile().string() + "'.\n") << round;
        }
        registered.insert(registered.end(), names.begin(), names.end());
        const std::string file = contentOf(registryFile());
        std::string lost;
        for (const std::string& name : registered)
            if (!hasLine(file, "  " + name + " \"" + at(name + "/.tolm_project.txt") + "\"\n")) lost += " " + name;
        ASSERT_EQ(lost, "") << round << "\n" << file;
    }
}

// A registration made while toolchain detection probes (after it read the registry, before it
// writes it) survives the detection's save, beside the toolchains it stores.
TEST_F(RunLocksScenario, RegistrationBesideDetectionKeepsBoth) {
    writeProject("main: { }\n");
    ASSERT_EQ(tolm({"--find-compilers"}).exitCode, 0);
    const std::string detected = contentOf(registryFile());
    fs::remove(registryFile());

    RunResult registration;
    const RunResult detection = tolmWhile({"--find-compilers"}, [&](pid_t pid) {
        awaitWhileRunning(pid, [pid] { return hasChild(pid); });
        registration = tolm({"-r"});
    });
    EXPECT_EQ(detection.exitCode, 0) << detection.out;
    EXPECT_EQ(registration.exitCode, 0) << registration.out;
    const std::string project = "projects {\n  demo \"" + at(".tolm_project.txt") + "\"\n}\n";
    EXPECT_EQ(contentOf(registryFile()), detected.empty() ? project : project + "\n" + detected);
}

// A build started while another runs its command in the same project says once that it waits,
// and builds only when the first has saved: the first keeps the output it wrote, the second
// writes its own, and a later run with the first's value rebuilds rather than trust a file
// holding the second's.
TEST_F(RunLocksScenario, SecondBuildWaitsForTheFirst) {
    writeProject("t: { ^OUT = P\"(o.txt)\" cmdline = \"echo ${X} > o.txt; touch started.${X}; "
                 "while [ ! -e release.${X} ]; do sleep 0.01; done\" }\n");
    write("release.2", "");
    std::promise<pid_t> firstPid;
    auto first = std::async(std::launch::async, [&] {
        return tolmWhile({"t", "X=\"1\""}, [&](pid_t pid) { firstPid.set_value(pid); });
    });
    const pid_t pid = firstPid.get_future().get();
    ASSERT_TRUE(awaitWhileRunning(pid, [&] { return fs::exists(at("started.1")); }));

    bool waited = false;
    const RunResult second = tolmWhile({"t", "X=\"2\""}, [&](pid_t running) {
        waited = waits(running);
        write("release.1", "");
    });
    const RunResult earlier = first.get();
    EXPECT_TRUE(waited);
    EXPECT_EQ(earlier.exitCode, 0) << earlier.out;
    EXPECT_EQ(count(earlier, kWaiting), 0) << earlier.out;
    EXPECT_EQ(second.exitCode, 0) << second.out;
    EXPECT_EQ(count(second, kWaiting), 1) << second.out;
    EXPECT_EQ(second.out.rfind(kWaiting + "\nStarting build\n", 0), 0u) << second.out;
    EXPECT_EQ(contentOf(at("o.txt")), "2\n");

    const RunResult later = tolm({"t", "X=\"1\""});
    EXPECT_EQ(later.exitCode, 0) << later.out;
    EXPECT_EQ(contentOf(at("o.txt")), "1\n") << later.out;
}

// Four builds at once with other values, a hundred rounds: the run alone after them finds every
// output holding its own value, whichever of the four saved last. Runs did overlap: some waited.
TEST_F(RunLocksScenario, BuildsAtOnceLeaveEveryOutputRight) {
    writeProject("app: lib { ^bin = P\"(app.txt)\" cmdline = \"echo ${X} > app.txt\" }\n"
                 "lib: { ^out = P\"(lib.txt)\" cmdline = \"echo ${X} > lib.txt\" }\n");
    constexpr int kRuns = 4;
    int waited = 0;
    for (int round = 0; round < 100; ++round) {
        const auto value = [round](int run) { return std::to_string(round * kRuns + run); };
        std::vector<std::future<RunResult>> runs;
        for (int run = 0; run < kRuns; ++run)
            runs.push_back(std::async(std::launch::async, [&, run] { return tolm({"app", "X=\"" + value(run) + "\""}); }));
        for (auto& run : runs) {
            const RunResult result = run.get();
            ASSERT_EQ(result.exitCode, 0) << round << result.out;
            waited += count(result, kWaiting);
        }
        const std::string alone = value(round % kRuns);
        const RunResult check = tolm({"app", "X=\"" + alone + "\""});
        ASSERT_EQ(check.exitCode, 0) << round << check.out;
        ASSERT_EQ(contentOf(at("lib.txt")), alone + "\n") << round << check.out;
        ASSERT_EQ(contentOf(at("app.txt")), alone + "\n") << round << check.out;
    }
    EXPECT_GT(waited, 0);
}

// A command target calling tolm in its own project does not wait for the lock of the build that
// runs it; the outer build ends well and leaves a whole cache file, and the inner target builds
// right afterwards. No command holds the lock file open, so none can keep it past the build.
TEST_F(RunLocksScenario, CommandsOfAHolderNeverWaitForIt) {
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY);
    writeProject("outer: { cmdline = \"" + binary + " inner\" }\n"
                 "inner: { ^out = P\"(inner.txt)\" cmdline = \"echo in > inner.txt\" }\n"
                 "files: { cmdline = \"ls -l /proc/self/fd > fds.txt\" }\n");
    bool innerWaited = false;
    const RunResult outer = tolmWhile({"outer"}, [&](pid_t pid) {
        // A waiting inner run would wait for ever: the signal ends both.
        if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
    });
    EXPECT_FALSE(innerWaited) << outer.out;
    EXPECT_EQ(outer.exitCode, 0) << outer.out;
    EXPECT_TRUE(hasLine(outer.out, "[app::inner] echo in > inner.txt\n")) << outer.out;
    EXPECT_EQ(contentOf(at("inner.txt")), "in\n");
    EXPECT_TRUE(contentOf(at(".tolm_cache")).starts_with("TOLM_CACHE_V7\n"));
    const RunResult inner = tolm({"inner"});
    EXPECT_EQ(inner.exitCode, 0) << inner.out;
    EXPECT_EQ(inner.out.find("Cache file"), std::string::npos) << inner.out;
    EXPECT_EQ(contentOf(at("inner.txt")), "in\n");

    ASSERT_EQ(tolm({"files"}).exitCode, 0);
    const std::string files = contentOf(at("fds.txt"));
    EXPECT_NE(files.find(at("fds.txt")), std::string::npos) << files;
    EXPECT_EQ(files.find(".tolm_cache.lock"), std::string::npos) << files;
}

// A tolm that a command runs through `env -i`, with nothing of the holder's environment, knows
// it is below the holder from the lock file, which names the holder while it builds: it does not
// wait, and the file is empty again once the holder is done.
TEST_F(RunLocksScenario, NestedRunWithoutTheEnvironmentNeverWaits) {
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY);
    writeProject("outer: { cmdline = \"cp .tolm_cache.lock note.txt; env -i HOME=$HOME " + binary + " inner\" }\n"
                 "inner: { ^out = P\"(inner.txt)\" cmdline = \"echo in > inner.txt\" }\n");
    bool innerWaited = false;
    pid_t outerPid = 0;
    const RunResult outer = tolmWhile({"outer"}, [&](pid_t pid) {
        outerPid = pid;
        if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
    });
    EXPECT_FALSE(innerWaited) << outer.out;
    EXPECT_EQ(outer.exitCode, 0) << outer.out;
    EXPECT_TRUE(hasLine(outer.out, "[app::inner] echo in > inner.txt\n")) << outer.out;
    EXPECT_EQ(contentOf(at("inner.txt")), "in\n");
    EXPECT_EQ(contentOf(at("note.txt")).rfind(std::to_string(outerPid) + " ", 0), 0u) << contentOf(at("note.txt"));
    EXPECT_EQ(contentOf(at(".tolm_cache.lock")), "");
}

// A run that is not below the holder waits, whatever TOLM_PROJECT_LOCKS it has: the very value a
// command of the holder sees (a server it started, say) or one set by hand.
TEST_F(RunLocksScenario, OutsideRunWithTheVariableWaits) {
    writeProject("hold: { cmdline = \"echo $TOLM_PROJECT_LOCKS > variable.txt; "
                 "while [ ! -e release ]; do sleep 0.01; done\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo x > o.txt\" }\n");
    std::promise<pid_t> holderPid;
    auto holder = std::async(std::launch::async, [&] {
        return tolmWhile({"hold"}, [&](pid_t pid) { holderPid.set_value(pid); });
    });
    const pid_t pid = holderPid.get_future().get();
    ASSERT_TRUE(awaitWhileRunning(pid, [&] { return !contentOf(at("variable.txt")).empty(); }));
    const std::string inherited = linesOf(contentOf(at("variable.txt"))).at(0);
    EXPECT_NE(inherited.find(at(".tolm_cache.lock")), std::string::npos) << inherited;

    for (const std::string& value : {inherited, at(".tolm_cache.lock")}) {
        bool waited = false;
        const RunResult outside = tolmWhile({"t"}, [&](pid_t running) {
            if ((waited = waits(running))) kill(running, SIGINT);
        }, {"TOLM_PROJECT_LOCKS=" + value});
        EXPECT_TRUE(waited) << value;
        EXPECT_EQ(outside.exitCode, 128 + SIGINT) << value << outside.out;
    }
    EXPECT_FALSE(fs::exists(at("o.txt")));
    write("release", "");
    EXPECT_EQ(holder.get().exitCode, 0);
}

// A tolm that a command runs in a pid namespace of its own does not wait for the holder: with the
// host's /proc it finds the holder among its ancestors, with a /proc of its own (which shows none
// of them) by the holder's stamp it inherited, also for a project whose path holds the characters
// that separate the entries.
TEST_F(RunLocksScenario, NestedRunInAPidNamespaceNeverWaits) {
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY);
    // LeakSanitizer cannot stop the threads of a process whose /proc is another namespace's: an
    // instrumented inner run checks no leaks there (the variable is nothing to a plain build).
    const std::string noLeakCheck = "ASAN_OPTIONS=detect_leaks=0 ";
    const struct {
        std::string options;
        std::string directory;
        std::string environment;
    } cases[] = {
        {"--pid --fork", "", noLeakCheck},
        {"--pid --fork --mount-proc", "", ""},
        {"--pid --fork --mount-proc", "a:b=c%3A", ""},
    };
    for (const auto& nested : cases) {
        if (std::system(("unshare " + nested.options + " true >/dev/null 2>&1").c_str()) != 0) {
            GTEST_SKIP() << "unshare " << nested.options << " cannot make a pid namespace here";
        }
        writeProject("outer: { cmdline = \"" + nested.environment + "unshare " + nested.options + " " + binary +
                     " inner\" }\n"
                     "inner: { cmdline = \"echo inner-ran\" }\n", "", nested.directory);
        bool innerWaited = false;
        const RunResult outer = tolmWhile({"outer"}, [&](pid_t pid) {
            if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
        }, {}, nested.directory);
        EXPECT_FALSE(innerWaited) << nested.options << outer.out;
        EXPECT_EQ(outer.exitCode, 0) << nested.options << outer.out;
        EXPECT_TRUE(hasLine(outer.out, "inner-ran\n")) << nested.options << outer.out;
    }
}

// An inherited stamp that is not the holder's lets no run past it, though it names a process above
// the run: that of a holder that has ended, that of pid 1, that of the run's own parent. Nor does
// the stamp of a holder the run cannot see, when its entry is for another file, whatever path the
// entry gives.
TEST_F(RunLocksScenario, StampsNotOfTheHolderWait) {
    writeProject("hold: { cmdline = \"echo $TOLM_PROJECT_LOCKS > variable.txt; "
                 "while [ ! -e release ]; do sleep 0.01; done\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo x > o.txt\" }\n");
    const std::string lock = at(".tolm_cache.lock");
    const auto startOf = [](pid_t pid) { return statFields(pid).at(19); };

    write("release", "");
    ASSERT_EQ(tolm({"hold"}).exitCode, 0);
    const std::string ended = linesOf(contentOf(at("variable.txt"))).at(0);
    const std::string endedStamp = ended.substr(ended.rfind('=') + 1);
    fs::remove(at("release"));
    fs::remove(at("variable.txt"));

    std::promise<pid_t> holderPid;
    auto holder = std::async(std::launch::async, [&] {
        return tolmWhile({"hold"}, [&](pid_t pid) { holderPid.set_value(pid); });
    });
    const pid_t pid = holderPid.get_future().get();
    ASSERT_TRUE(awaitWhileRunning(pid, [&] { return !contentOf(at("variable.txt")).empty(); }));
    const std::string entryStart = lock + "=" + identityOf(lock) + "=";
    for (const std::string& entry : {ended, entryStart + "1 " + startOf(1),
                                     entryStart + std::to_string(::getpid()) + " " + startOf(::getpid())})
        EXPECT_TRUE(waitsGiven(entry, {})) << entry;
    write("release", "");
    EXPECT_EQ(holder.get().exitCode, 0);
    EXPECT_FALSE(fs::exists(at("o.txt")));

    // A holder no run can see: the runs go in a pid namespace with a /proc of their own, and its
    // stamp names a run that has ended. The entry of another file with this lock's path names
    // nothing; one of this file with another path (its mount elsewhere) names it.
    const Words ownProc = {"/usr/bin/unshare", "--pid", "--fork", "--mount-proc"};
    if (programWhile({ownProc[0], ownProc[1], ownProc[2], ownProc[3], "true"}, {}).exitCode != 0)
        GTEST_SKIP() << "unshare cannot make a pid namespace with its own /proc here";
    Util::FileLock held(lock);
    ASSERT_EQ(held.tryLock(), Util::FileLock::Attempt::Held);
    ASSERT_TRUE(held.writeNote(endedStamp + "\n"));
    EXPECT_TRUE(waitsGiven(lock + "=" + identityOf(at("tolm.txt")) + "=" + endedStamp, ownProc));
    EXPECT_FALSE(fs::exists(at("o.txt")));
    EXPECT_FALSE(waitsGiven("/x%3A" + lock + "=" + identityOf(lock) + "=" + endedStamp, ownProc));
    EXPECT_EQ(contentOf(at("o.txt")), "x\n");
}

// A build that could open its lock file for reading only (here a read-only mount of it) leaves no
// stamp there; a tolm its command runs, with its environment or through `env -i`, finds it holding
// the lock as the system shows it, and does not wait.
TEST_F(RunLocksScenario, NestedRunBelowAHolderWithoutAStampNeverWaits) {
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY), lock = FakeTool::shellQuoted(at(".tolm_cache.lock"));
    writeProject("outer: { cmdline = \"" + binary + " inner && env -i HOME=$HOME " + binary + " inner\" }\n"
                 "inner: { cmdline = \"echo inner-ran\" }\n");
    write(".tolm_cache.lock", "");
    const auto readOnly = [&](const std::string& then) {
        return Words{"-m", "sh", "-c", "mount --bind " + lock + " " + lock + " && mount -o remount,ro,bind " + lock +
                                           " " + lock + " && exec " + then};
    };
    if (Scenario::runProgram("/usr/bin/unshare", readOnly("true"), work_.path(), {}).exitCode != 0)
        GTEST_SKIP() << "no read-only mount of a file here";
    bool innerWaited = false;
    const RunResult outer = Scenario::runProgram(
        "/usr/bin/unshare", readOnly(binary + " outer"), work_.path(),
        {.home = home_.path().string(), .started = [&](pid_t pid) {
             if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
         }});
    EXPECT_FALSE(innerWaited) << outer.out;
    EXPECT_EQ(outer.exitCode, 0) << outer.out;
    EXPECT_EQ(count(outer, "inner-ran"), 2) << outer.out;
    EXPECT_EQ(contentOf(at(".tolm_cache.lock")), "");
}

// Whose turn it is goes by what the system shows. A run below the holder never waits, whatever copy
// of the program it runs, also below a holder that may only read the lock file, and whatever path
// it reaches the project by, also where it cannot see the holder. A run given the stamp the holder
// has noted, which the system shows holding the lock and not above the run, waits while it builds:
// the stale stamp of a run that was killed, left in a file the holder may only read, or the stamp
// of a holder without /proc, or of one in a pid namespace of its own.
TEST_F(RunLocksScenario, TurnsGoByWhatTheSystemShows) {
    const ScratchDir elsewhere;
    const fs::path copy = elsewhere.path() / "tolm2", mountPoint = elsewhere.path() / "p";
    fs::copy_file(TOLM_BINARY, copy);
    fs::create_directories(mountPoint);
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY), other = FakeTool::shellQuoted(copy.string());
    const std::string lock = at(".tolm_cache.lock");
    write("nest.sh", "mount --bind \"$2\" \"$3\" && cd \"$3\" && exec \"$1\" inner\n");
    writeProject("copy_outer: { cmdline = \"" + other + " inner && env -i HOME=$HOME " + other + " inner\" }\n"
                 "namespace_outer: { cmdline = \"unshare --mount --pid --fork --mount-proc sh nest.sh " + binary + " " +
                 FakeTool::shellQuoted(work_.path().string()) + " " + FakeTool::shellQuoted(mountPoint.string()) +
                 "\" }\n"
                 "inner: { cmdline = \"echo inner-ran\" }\n"
                 "hold: { cmdline = \"echo $TOLM_PROJECT_LOCKS > variable.txt; "
                 "while [ ! -e release ]; do sleep 0.01; done\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo x > o.txt\" }\n");
    write(".tolm_cache.lock", "");
    const Words readOnly = {"/usr/bin/unshare", "-m", "sh", "-c",
                            "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" \"$0\" && exec \"$@\"", lock};
    const Words ownPid = {"/usr/bin/unshare", "--pid", "--fork", "--mount-proc"};
    // How the note is made: by the holder itself; by a run killed before, in a file the holder may
    // only read; or as a holder without /proc writes it, its own number and no start time (in
    // place of the holder's own note: an instrumented run without /proc cannot start).
    enum class Note { Holder, KilledRun, WithoutProc };
    const struct {
        std::string form;
        Words through;
        std::string target;
        bool nested;
        Note note;
    } cases[] = {
        {"another copy below a holder that may only read", readOnly, "copy_outer", true, Note::Holder},
        {"a pid and mount namespace, the project elsewhere", {}, "namespace_outer", true, Note::Holder},
        {"the stale stamp of a killed run", readOnly, "hold", false, Note::KilledRun},
        {"the stamp of a holder without /proc", {}, "hold", false, Note::WithoutProc},
        {"the stamp of a holder in a pid namespace", ownPid, "hold", false, Note::Holder},
    };
    const auto runOf = [](Words argv, const std::string& target) {
        argv.insert(argv.end(), {TOLM_BINARY, target});
        return argv;
    };
    for (const auto& test : cases) {
        for (const char* file : {"release", "variable.txt", "o.txt"}) fs::remove(at(file));
        if (!test.through.empty() && programWhile(runOf(test.through, "-u"), {}).exitCode != 0)
            GTEST_SKIP() << test.form << ": not possible here";
        if (test.nested) {
            bool innerWaited = false;
            const RunResult outer = programWhile(runOf(test.through, test.target), [&](pid_t pid) {
                if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
            });
            EXPECT_FALSE(innerWaited) << test.form << outer.out;
            EXPECT_EQ(outer.exitCode, 0) << test.form << outer.out;
            EXPECT_TRUE(hasLine(outer.out, "inner-ran\n")) << test.form << outer.out;
            continue;
        }
        std::string entry;
        if (test.note == Note::KilledRun) {
            tolmWhile({"hold"}, [&](pid_t pid) {
                awaitWhileRunning(pid, [&] { return !contentOf(at("variable.txt")).empty(); });
                // Its command goes too (each leads a process group): left alone, it would wait for
                // ever once the work directory is gone.
                const std::vector<pid_t> commands = childrenOf(pid);
                kill(pid, SIGKILL);
                for (const pid_t command : commands) kill(-command, SIGKILL);
            });
            entry = linesOf(contentOf(at("variable.txt"))).at(0);
            EXPECT_EQ(linesOf(contentOf(lock)).at(0), entry.substr(entry.rfind('=') + 1)) << test.form;
            fs::remove(at("variable.txt"));
        }
        pid_t holderPid = 0;
        auto holder = startWhen(runOf(test.through, "hold"), [&] { return !contentOf(at("variable.txt")).empty(); },
                                {}, "", &holderPid);
        if (test.note == Note::WithoutProc) {
            const std::string stamp = std::to_string(holderPid) + " 0";
            write(".tolm_cache.lock", stamp + "\n");
            entry = lock + "=" + identityOf(lock) + "=" + stamp;
        }
        if (entry.empty()) entry = linesOf(contentOf(at("variable.txt"))).at(0);
        bool waited = false;
        const RunResult outside = tolmWhile({"t"}, [&](pid_t pid) {
            if ((waited = waits(pid))) kill(pid, SIGINT);
        }, {"TOLM_PROJECT_LOCKS=" + entry});
        EXPECT_TRUE(waited) << test.form << " " << entry;
        EXPECT_EQ(outside.exitCode, 128 + SIGINT) << test.form << outside.out;
        EXPECT_FALSE(fs::exists(at("o.txt"))) << test.form;
        write("release", "");
        EXPECT_EQ(holder.get().exitCode, 0) << test.form;
    }
}

// A tree copied with `cp -al` shares its lock file with the original: a build in either waits while
// the other's holds the lock, and builds once that one is done. The shared file takes no note, and
// its holder names it in no entry.
TEST_F(RunLocksScenario, HardLinkedTreesTakeTurns) {
    writeProject("init: { cmdline = \"true\" }\n"
                 "hold: { cmdline = \"cat .tolm_cache.lock > note.txt; echo $TOLM_PROJECT_LOCKS > variable.txt; "
                 "while [ ! -e release ]; do sleep 0.01; done\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo ${X} > o.txt\" }\n", "", "original");
    ASSERT_EQ(tolm({"init"}, "original").exitCode, 0);
    const std::string lock = at("original/.tolm_cache.lock");
    ASSERT_TRUE(fs::exists(lock));
    ASSERT_EQ(std::system(("cp -al " + FakeTool::shellQuoted(at("original")) + " " + FakeTool::shellQuoted(at("copy")))
                              .c_str()),
              0);
    ASSERT_EQ(fs::hard_link_count(lock), 2u);
    const struct {
        std::string holder, waiter;
    } cases[] = {{"original", "copy"}, {"copy", "original"}};
    for (const auto& turn : cases) {
        const std::string in = turn.holder + "/";
        auto holder = startWhen({TOLM_BINARY, "hold"}, [&] { return !contentOf(at(in + "variable.txt")).empty(); },
                                {}, turn.holder);
        bool waited = false;
        const RunResult later = tolmWhile({"t", "X=\"" + turn.waiter + "\""}, [&](pid_t pid) {
            waited = waits(pid);
            write(in + "release", "");
        }, {}, turn.waiter);
        EXPECT_TRUE(waited) << turn.waiter;
        EXPECT_EQ(later.exitCode, 0) << turn.waiter << later.out;
        EXPECT_EQ(count(later, kWaiting), 1) << turn.waiter << later.out;
        EXPECT_EQ(holder.get().exitCode, 0) << turn.holder;
        EXPECT_EQ(contentOf(at(turn.waiter + "/o.txt")), turn.waiter + "\n");
        EXPECT_EQ(contentOf(at(in + "note.txt")), "") << turn.holder;
        EXPECT_EQ(contentOf(at(in + "variable.txt")), "\n") << turn.holder;
    }
    EXPECT_EQ(fs::hard_link_count(lock), 2u);
    EXPECT_EQ(contentOf(lock), "");
}

// A build in a tree copied with `cp -al` that waits for the original's build keeps nothing that
// build's own commands need: a tolm that the holder's command runs in the copy does not wait (it is
// below the holder of the shared lock file), and then the waiter builds.
TEST_F(RunLocksScenario, WaiterInACopyKeepsNothingFromTheHoldersNestedRun) {
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY);
    writeProject("init: { cmdline = \"true\" }\n"
                 "outer: { cmdline = \"touch started; while [ ! -e go ]; do sleep 0.01; done; cd ../copy && " +
                     binary + " inner > ../inner.log\" }\n"
                 "inner: { cmdline = \"echo inner-ran\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo t > o.txt\" }\n",
                 "", "original");
    ASSERT_EQ(tolm({"init"}, "original").exitCode, 0);
    ASSERT_EQ(std::system(("cp -al " + FakeTool::shellQuoted(at("original")) + " " + FakeTool::shellQuoted(at("copy")))
                              .c_str()),
              0);
    pid_t outerPid = 0;
    auto outer = startWhen({TOLM_BINARY, "outer"}, [&] { return fs::exists(at("original/started")); }, {}, "original",
                           &outerPid);
    bool waited = false, innerWaited = false;
    const RunResult copy = tolmWhile({"t"}, [&](pid_t pid) {
        waited = waits(pid);
        write("original/go", "");
        // A waiting inner run would wait for ever, and the two builds with it: the signal ends them.
        if ((innerWaited = waitingBelow(outerPid) != 0)) kill(outerPid, SIGTERM);
    }, {}, "copy");
    EXPECT_TRUE(waited) << copy.out;
    EXPECT_FALSE(innerWaited) << contentOf(at("inner.log"));
    const RunResult holder = outer.get();
    EXPECT_EQ(holder.exitCode, 0) << holder.out;
    EXPECT_TRUE(hasLine(contentOf(at("inner.log")), "inner-ran\n")) << contentOf(at("inner.log"));
    EXPECT_EQ(copy.exitCode, 0) << copy.out;
    EXPECT_EQ(contentOf(at("copy/o.txt")), "t\n");
}

// A lock file removed while a build holds it (rm, git clean), replaced by another file or renamed,
// lets no second build in: a later run waits for the first and builds once it is done. A tolm that a
// command of the build runs after the removal still does not wait, also one that cannot see the
// build (a /proc of its own, the project at another path), which goes by its inherited entry.
TEST_F(RunLocksScenario, RemovedLockFileLetsNoSecondBuildIn) {
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY);
    const ScratchDir elsewhere;
    const fs::path mountPoint = elsewhere.path() / "p";
    fs::create_directories(mountPoint);
    // A nested run that cannot see the build: its own /proc, at the same path or at another.
    write("nest.sh", "if [ -n \"$2\" ]; then mount --bind \"$PWD\" \"$2\" && cd \"$2\"; fi; exec \"$1\" inner\n");
    writeProject("hold: { cmdline = \"${CHANGE}; touch started; while [ ! -e release ]; do sleep 0.01; done\" }\n"
                 "outer: { cmdline = \"${CHANGE}; ${NEST} " + binary + " ${AT}\" }\n"
                 "inner: { cmdline = \"echo inner-ran\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo ${X} > o.txt\" }\n");
    const std::string removed = "rm -f .tolm_cache.lock", replaced = removed + " && echo other > .tolm_cache.lock",
                      renamed = "mv .tolm_cache.lock .tolm_cache.lock.old",
                      renamedAway = "mkdir -p aside && mv .tolm_cache.lock aside/moved.lock";
    const std::string unseen = "unshare --mount --pid --fork --mount-proc sh nest.sh",
                      elsewherePath = FakeTool::shellQuoted(mountPoint.string());
    const bool namespaces = std::system("unshare --mount --pid --fork --mount-proc true >/dev/null 2>&1") == 0;
    const struct {
        std::string change;
        bool nested;
        std::string nest, at;
    } cases[] = {{removed, false, "", ""},        {replaced, false, "", ""},
                 {renamed, false, "", ""},        {renamedAway, false, "", ""},
                 {removed, true, "", "inner"},    {replaced, true, "", "inner"},
                 {renamed, true, "", "inner"},    {removed, true, unseen, ""},
                 {replaced, true, unseen, ""},    {renamed, true, unseen, ""},
                 {removed, true, unseen, elsewherePath}};
    int round = 0;
    for (const auto& test : cases) {
        const std::string change = "CHANGE=\"" + test.change + "\"", value = std::to_string(++round);
        for (const char* file : {"release", "started"}) fs::remove(at(file));
        if (test.nested) {
            if (!test.nest.empty() && !namespaces) continue;
            bool innerWaited = false;
            const RunResult outer = tolmWhile({"outer", change, "NEST=\"" + test.nest + "\"", "AT=\"" + test.at + "\""},
                                              [&](pid_t pid) {
                if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
            });
            EXPECT_FALSE(innerWaited) << test.change << test.nest << test.at << outer.out;
            EXPECT_EQ(outer.exitCode, 0) << test.change << test.nest << test.at << outer.out;
            EXPECT_TRUE(hasLine(outer.out, "inner-ran\n")) << test.change << test.nest << test.at << outer.out;
            continue;
        }
        auto holder = startWhen({TOLM_BINARY, "hold", change}, [&] { return fs::exists(at("started")); });
        bool waited = false;
        const RunResult second = tolmWhile({"t", "X=\"" + value + "\""}, [&](pid_t pid) {
            waited = waits(pid);
            write("release", "");
        });
        EXPECT_TRUE(waited) << test.change;
        EXPECT_EQ(second.exitCode, 0) << test.change << second.out;
        EXPECT_EQ(second.out.rfind(kWaiting + "\nStarting build\n", 0), 0u) << test.change << second.out;
        EXPECT_EQ(holder.get().exitCode, 0) << test.change;
        EXPECT_EQ(contentOf(at("o.txt")), value + "\n") << test.change;
    }
}

// Other programs' flocks of the project's directory meet no build, and make no run nested: two
// runs started below a script that holds one (`flock "$PROJECT" ...`, as cron and CI jobs
// serialise) take turns and keep both records; an unrelated holder keeps out no build; a command
// that takes one runs at once. Nor does an entry that names the directory let a run that cannot
// see the build past it, where the lock file takes no note (a second name): made up, or kept from
// an earlier build whose lock file was removed and made again.
TEST_F(RunLocksScenario, OtherProgramsLocksOfTheProjectDirectoryMeetNoBuild) {
    const std::string wait = "while [ ! -e release ]; do sleep 0.01; done";
    writeProject("a: { ^o = P\"(a.txt)\" cmdline = \"echo start-a >> log; touch a-started; " + wait +
                 "; echo a > a.txt; echo end-a >> log\" }\n"
                 "b: { ^o = P\"(b.txt)\" cmdline = \"echo start-b >> log; touch b-started; " + wait +
                 "; echo b > b.txt; echo end-b >> log\" }\n"
                 "v: { ^o = P\"(v.txt)\" cmdline = \"flock -n . -c 'echo v > v.txt'\" }\n"
                 "t: { cmdline = \"echo t-ran\" }\n"
                 "keep: { cmdline = R\"(printf %s \"$TOLM_PROJECT_LOCKS\" > kept.txt)\" }\n"
                 "hold: { cmdline = \"touch held; " + wait + "\" }\n");
    const std::string project = work_.path().string();
    const auto waitedIn = [&](const char* out) { return contentOf(at(out)).find(kWaiting) != std::string::npos; };
    const RunResult serialised = programWhile(
        {"/usr/bin/flock", project, "sh", "-c", "\"$T\" a > out.a 2>&1 & \"$T\" b > out.b 2>&1; wait"},
        [&](pid_t pid) {
            awaitWhileRunning(pid, [&] {
                return (fs::exists(at("a-started")) && fs::exists(at("b-started"))) || waitedIn("out.a") ||
                       waitedIn("out.b");
            });
            write("release", "");
        },
        {"T=" + std::string(TOLM_BINARY)});
    EXPECT_EQ(serialised.exitCode, 0) << contentOf(at("out.a")) << contentOf(at("out.b"));
    EXPECT_NE(waitedIn("out.a"), waitedIn("out.b")) << contentOf(at("out.a")) << contentOf(at("out.b"));
    const Words order = linesOf(contentOf(at("log")));
    ASSERT_EQ(order.size(), 4u) << contentOf(at("log"));
    EXPECT_EQ(order[1], "end-" + order[0].substr(6)) << contentOf(at("log"));
    for (const char* target : {"a", "b"}) EXPECT_TRUE(ranNothing(tolm({target}))) << target;

    // An unrelated program holds the directory: no build waits for it.
    auto unrelated = startWhen({"/usr/bin/flock", project, "sh", "-c", "touch locked; " + wait},
                               [&] { return fs::exists(at("locked")); });
    const RunResult beside = tolm({"t"});
    EXPECT_EQ(beside.exitCode, 0) << beside.out;
    EXPECT_EQ(beside.out.find(kWaiting), std::string::npos) << beside.out;
    EXPECT_TRUE(hasLine(beside.out, "t-ran\n")) << beside.out;
    EXPECT_EQ(unrelated.get().exitCode, 0);

    // A command locks the directory itself, and never waits for the build that runs it.
    const RunResult command = tolm({"v"});
    EXPECT_EQ(command.exitCode, 0) << command.out;
    EXPECT_EQ(contentOf(at("v.txt")), "v\n");

    const Words ownProc = {"/usr/bin/unshare", "--pid", "--fork", "--mount-proc"};
    if (programWhile({ownProc[0], ownProc[1], ownProc[2], ownProc[3], "true"}, {}).exitCode != 0)
        GTEST_SKIP() << "unshare cannot make a pid namespace with its own /proc here";
    for (const char* file : {"release", "held"}) fs::remove(at(file));
    ASSERT_EQ(tolm({"keep"}).exitCode, 0);
    const std::string kept = contentOf(at("kept.txt"));
    ASSERT_FALSE(kept.empty());
    // Made again with another inode: the files made meanwhile keep the old number from coming back.
    fs::remove(at(".tolm_cache.lock"));
    for (const char* file : {"x1", "x2", "x3"}) write(file, "");
    ASSERT_EQ(tolm({"t"}).exitCode, 0);
    fs::create_hard_link(at(".tolm_cache.lock"), at("second-name"));
    auto holder = startWhen({TOLM_BINARY, "hold"}, [&] { return fs::exists(at("held")); });
    const std::string directory = identityOf(project);
    for (const std::string& entry : {std::string(), "x=1.1," + directory + "=999 1", kept})
        EXPECT_TRUE(waitsGiven(entry, ownProc)) << entry;
    write("release", "");
    EXPECT_EQ(holder.get().exitCode, 0);
}

// A signal ends the wait at once, as it ends a build. The lists take no lock.
TEST_F(RunLocksScenario, SignalEndsTheWait) {
    writeProject("t: { cmdline = \"true\" }\n");
    // Held by a process that is no ancestor of the runs (this one is each run's).
    auto held = startWhen({"/usr/bin/flock", at(".tolm_cache.lock"), "sh", "-c",
                           "touch held; while [ ! -e release ]; do sleep 0.01; done"},
                          [&] { return fs::exists(at("held")); });
    EXPECT_EQ(tolm({"-u"}).out, "app\n");
    const RunResult stopped = tolmWhile({"t"}, [](pid_t pid) {
        if (waits(pid)) kill(pid, SIGINT);
    });
    EXPECT_EQ(stopped.exitCode, 128 + SIGINT);
    EXPECT_EQ(stopped.out, kWaiting + "\nError: Build interrupted by SIGINT.\n");
    write("release", "");
    EXPECT_EQ(held.get().exitCode, 0);
}

// A lock file that cannot be used (a directory in its place) is an error naming it, for the runs
// that need it; the others go on.
TEST_F(RunLocksScenario, UnusableLockFileIsAnError) {
    writeProject("t: { ^out = P\"(o.txt)\" cmdline = \"echo x > o.txt\" }\n");
    fs::create_directories(at(".tolm_cache.lock"));
    const RunResult build = tolm({"t"});
    EXPECT_EQ(build.out, "Error: Unable to use lock file '" + at(".tolm_cache.lock") + "': Is a directory\n");
    EXPECT_EQ(build.exitCode, 1);
    EXPECT_FALSE(fs::exists(at("o.txt")));
    EXPECT_EQ(tolm({"-u"}).exitCode, 0);

    fs::remove(at(".tolm_cache.lock"));
    const std::string registryLock = registryFile().string() + ".lock";
    fs::create_directories(registryLock);
    const RunResult registration = tolm({"-r"});
    EXPECT_EQ(registration.out, "Error: Unable to use lock file '" + registryLock + "': Is a directory\n");
    EXPECT_EQ(registration.exitCode, 1);
    EXPECT_EQ(contentOf(registryFile()), "");
    EXPECT_EQ(tolm({"t"}).exitCode, 0);
    EXPECT_EQ(contentOf(at("o.txt")), "x\n");
}

// A lock file that is a symbolic link, to a file or to nothing, is an error naming it; nothing is
// made or changed where it points, and nothing is built. The same for the registry's lock.
TEST_F(RunLocksScenario, LockFileThatIsALinkIsAnError) {
    writeProject("t: { ^out = P\"(o.txt)\" cmdline = \"echo x > o.txt\" }\n");
    const ScratchDir elsewhere;
    const fs::path absent = elsewhere.path() / "absent", present = elsewhere.write("present", "keep");
    const std::string lock = at(".tolm_cache.lock"), registryLock = registryFile().string() + ".lock";
    const std::string linkError = "': it is a symbolic link, which tolm does not follow\n";
    for (const fs::path& target : {absent, present}) {
        fs::create_symlink(target, lock);
        const RunResult build = tolm({"t"});
        EXPECT_EQ(build.out, "Error: Unable to use lock file '" + lock + linkError) << target;
        EXPECT_EQ(build.exitCode, 1);
        fs::remove(lock);

        fs::create_symlink(target, registryLock);
        const RunResult registration = tolm({"-r"});
        EXPECT_EQ(registration.out, "Error: Unable to use lock file '" + registryLock + linkError) << target;
        EXPECT_EQ(registration.exitCode, 1);
        fs::remove(registryLock);
    }
    EXPECT_FALSE(fs::exists(absent));
    EXPECT_EQ(contentOf(present), "keep");
    EXPECT_FALSE(fs::exists(at("o.txt")));
    EXPECT_EQ(contentOf(registryFile()), "");
    EXPECT_EQ(tolm({"t"}).exitCode, 0);
    EXPECT_EQ(contentOf(at("o.txt")), "x\n");
}

// A lock file with a second name (a hard link to a source) is locked but never written, for the
// project and for the registry: the build and the registrations go on, and the source keeps its
// bytes.
TEST_F(RunLocksScenario, LockFileWithASecondNameIsNeverWritten) {
    writeProject("t: { ^out = P\"(o.txt)\" cmdline = \"cat main.c > o.txt\" }\n");
    const std::string text = "int main(void) { return 0; }\n";
    const fs::path source = write("main.c", text);
    const std::string registryLock = registryFile().string() + ".lock";
    const struct {
        Words words;
        std::string lock;
    } cases[] = {{{"t"}, at(".tolm_cache.lock")}, {{"-r"}, registryLock}, {{"--find-compilers"}, registryLock}};
    for (const auto& run : cases) {
        fs::create_directories(fs::path(run.lock).parent_path());
        fs::create_hard_link(source, run.lock);
        const RunResult result = tolm(run.words);
        EXPECT_EQ(result.exitCode, 0) << run.words[0] << result.out;
        EXPECT_EQ(result.out.find("Error"), std::string::npos) << run.words[0] << result.out;
        EXPECT_EQ(fs::hard_link_count(source), 2u) << run.words[0];
        fs::remove(run.lock);
        EXPECT_EQ(contentOf(source), text) << run.words[0];
    }
    EXPECT_EQ(contentOf(at("o.txt")), text);
    EXPECT_TRUE(hasLine(contentOf(registryFile()), "  demo \"" + at(".tolm_project.txt") + "\"\n"));
}

// One other process holding 2,000 flocks on files of the project's file system (a daemon, a test
// farm) changes no turn: a run takes the lock and builds, a second run waits for a holder and
// builds once it is done, also when the holder's lock file was removed or renamed (it is found
// among those flocks), and a tolm that a command of the build runs does not wait.
TEST_F(RunLocksScenario, ManyFlocksOfAnotherProcessChangeNoTurn) {
    const FlocksHeld flocks(work_.path() / "flocks", 2000);
    ASSERT_TRUE(flocks.held());
    const std::string binary = FakeTool::shellQuoted(TOLM_BINARY);
    writeProject("hold: { cmdline = \"${CHANGE}; touch started; while [ ! -e release ]; do sleep 0.01; done\" }\n"
                 "outer: { cmdline = \"" + binary + " inner\" }\n"
                 "inner: { cmdline = \"echo inner-ran\" }\n"
                 "t: { ^out = P\"(o.txt)\" cmdline = \"echo ${X} > o.txt\" }\n");
    enum class Run { Alone, BesideAHolder, Nested };
    const struct {
        const char* form;
        Run run;
        std::string change;
    } cases[] = {
        {"alone", Run::Alone, ""},
        {"beside a holder", Run::BesideAHolder, "true"},
        {"beside a holder whose lock file was removed", Run::BesideAHolder, "rm -f .tolm_cache.lock"},
        {"beside a holder whose lock file was renamed", Run::BesideAHolder, "mv .tolm_cache.lock old.lock"},
        {"below the holder", Run::Nested, ""},
    };
    int round = 0;
    for (const auto& test : cases) {
        const std::string value = std::to_string(++round);
        for (const char* file : {"release", "started"}) fs::remove(at(file));
        if (test.run == Run::Nested) {
            bool innerWaited = false;
            const RunResult outer = tolmWhile({"outer"}, [&](pid_t pid) {
                if ((innerWaited = waits(pid))) kill(pid, SIGTERM);
            });
            EXPECT_FALSE(innerWaited) << test.form << outer.out;
            EXPECT_TRUE(hasLine(outer.out, "inner-ran\n")) << test.form << outer.out;
            continue;
        }
        std::future<RunResult> holder;
        if (test.run == Run::BesideAHolder)
            holder = startWhen({TOLM_BINARY, "hold", "CHANGE=\"" + test.change + "\""},
                               [&] { return fs::exists(at("started")); });
        bool waited = false;
        const RunResult run = tolmWhile({"t", "X=\"" + value + "\""}, [&](pid_t pid) {
            if (test.run == Run::Alone) return;
            waited = waits(pid);
            write("release", "");
        });
        EXPECT_EQ(waited, test.run == Run::BesideAHolder) << test.form << run.out;
        EXPECT_EQ(run.exitCode, 0) << test.form << run.out;
        if (holder.valid()) {
            EXPECT_EQ(holder.get().exitCode, 0) << test.form;
        }
        EXPECT_EQ(contentOf(at("o.txt")), value + "\n") << test.form;
    }
}

// The lock file renamed at each step of a run's taking the lock: the run stops there (the test
// seam), the file is renamed away, a second run starts, and the first goes on. Whichever builds
// first, the two commands never run at once, and both build.
TEST_F(RunLocksScenario, LockFileRenamedAtEachStepOfTakingIt) {
    writeProject("a: { cmdline = \"mkdir busy || echo overlap >> overlaps; touch ran-${X}; "
                 "while [ ! -e release ]; do sleep 0.01; done; echo ${X} >> o.txt; rmdir busy\" }\n");
    // Once it waits for the other run, or runs its command.
    const auto waitsOrRuns = [&](pid_t pid, const std::string& value) {
        return awaitWhileRunning(pid, [&] {
            return printedSoFar(pid).find(kWaiting) != std::string::npos || fs::exists(at("ran-" + value));
        });
    };
    for (const char* step : {"opened", "locked", "noted", "checked", "taken"}) {
        for (const char* file : {"release", "ran-1", "ran-2", "overlaps", "o.txt", "old.lock"}) fs::remove(at(file));
        std::promise<pid_t> firstPid;
        auto first = std::async(std::launch::async, [&] {
            return tolmWhile({"a", "X=\"1\""}, [&](pid_t pid) { firstPid.set_value(pid); },
                             {std::string("TOLM_TEST_PAUSE_AT=") + step});
        });
        const pid_t paused = firstPid.get_future().get();
        ASSERT_TRUE(awaitWhileRunning(paused, [&] { return isStopped(paused); })) << step;
        fs::rename(at(".tolm_cache.lock"), at("old.lock"));
        std::promise<pid_t> secondPid;
        auto second = std::async(std::launch::async, [&] {
            return tolmWhile({"a", "X=\"2\""}, [&](pid_t pid) { secondPid.set_value(pid); });
        });
        EXPECT_TRUE(waitsOrRuns(secondPid.get_future().get(), "2")) << step;
        kill(paused, SIGCONT);
        EXPECT_TRUE(waitsOrRuns(paused, "1")) << step;
        EXPECT_FALSE(fs::exists(at("ran-1")) && fs::exists(at("ran-2"))) << step;
        write("release", "");
        EXPECT_EQ(first.get().exitCode, 0) << step;
        EXPECT_EQ(second.get().exitCode, 0) << step;
        EXPECT_FALSE(fs::exists(at("overlaps"))) << step;
        EXPECT_EQ(linesOf(contentOf(at("o.txt"))).size(), 2u) << step;
    }
}

// A note written in another pid namespace is never taken for a process of this one, though its
// number and start time name one here (the run's own pid 1, started in that very tick): the run
// waits. A note numbered through the run's own /proc still goes by ancestry, and the holder's
// stamp inherited for the lock file still lets a nested run through.
TEST_F(RunLocksScenario, NotesFromAnotherPidNamespace) {
    const Words ownProc = {"/usr/bin/unshare", "--pid", "--fork", "--mount-proc"};
    if (programWhile({ownProc[0], ownProc[1], ownProc[2], ownProc[3], "true"}, {}).exitCode != 0)
        GTEST_SKIP() << "unshare cannot make a pid namespace with its own /proc here";
    writeProject("t: { ^out = P\"(o.txt)\" cmdline = \"echo built > o.txt\" }\n");
    const std::string lock = at(".tolm_cache.lock");
    // In the namespace: tell its /proc's number and the start of its pid 1 (this shell), wait for the
    // note, and run tolm below the shell, with the entry of the lock file's holder when one is given.
    write("run.sh", "stat -c %d /proc > numbering.txt; cut -d' ' -f22 /proc/1/stat > start.txt\n"
                    "while [ ! -e go ]; do sleep 0.01; done\n"
                    "[ -n \"$2\" ] && export TOLM_PROJECT_LOCKS=\"$2=1 $(cat start.txt)\"\n"
                    "\"$1\" t; exit $?\n");
    Util::FileLock held(lock);
    ASSERT_EQ(held.tryLock(), Util::FileLock::Attempt::Held);
    struct stat proc {};
    ASSERT_EQ(::stat("/proc", &proc), 0);
    const std::string outside = "proc " + std::to_string(proc.st_dev) + "\n";
    const struct {
        const char* form;
        bool ownNumbering;
        std::string numbering;
        bool inherited;
        bool waits;
    } cases[] = {
        {"numbered through another /proc", false, outside, false, true},
        {"not numbered (an earlier form)", false, "", false, true},
        {"numbered through the run's /proc", true, "", false, false},
        {"another /proc's, the stamp inherited", false, outside, true, false},
    };
    for (const auto& test : cases) {
        for (const char* file : {"go", "o.txt", "numbering.txt", "start.txt"}) fs::remove(at(file));
        pid_t waiting = 0;
        const std::string entry = test.inherited ? lock + "=" + identityOf(lock) : "";
        const RunResult run = programWhile({ownProc[0], ownProc[1], ownProc[2], ownProc[3], "sh", "run.sh", TOLM_BINARY, entry},
                                           [&](pid_t pid) {
            awaitWhileRunning(pid, [&] { return !contentOf(at("start.txt")).empty(); });
            const std::string numbering =
                test.ownNumbering ? "proc " + linesOf(contentOf(at("numbering.txt"))).at(0) + "\n" : test.numbering;
            held.writeNote("1 " + linesOf(contentOf(at("start.txt"))).at(0) + "\n" + numbering + lock + "\n");
            write("go", "");
            if ((waiting = waitingBelow(pid)) != 0) kill(waiting, SIGINT);
        });
        EXPECT_EQ(waiting != 0, test.waits) << test.form << run.out;
        EXPECT_EQ(fs::exists(at("o.txt")), !test.waits) << test.form << run.out;
    }
}

// kill -9 of a build whose command ignores SIGTERM, of tolm alone or of its whole group (as a
// supervisor's time-out kills it), and a run started at once: that run waits while the killed
// build's command runs, whether the command then ends by itself or the guard ends it, and builds
// once nothing of the killed build runs, so the output is its own.
TEST_F(RunLocksScenario, KilledBuildKeepsTheProjectWhileItsCommandRuns) {
    writeProject("a: { ^o = P\"(o.txt)\" cmdline = \"trap '' TERM; touch started; "
                 "while [ ! -e ${GATE} ]; do sleep 0.01; done; echo ${V} > o.txt\" }\n");
    const struct {
        const char* form;
        bool wholeGroup;
        bool commandEnds;
    } cases[] = {
        {"tolm alone, the command ends", false, true},
        {"tolm alone, the guard ends the command", false, false},
        {"the whole group, the command ends", true, true},
    };
    for (const auto& test : cases) {
        for (const char* file : {"started", "release", "o.txt", ".tolm_cache"}) fs::remove(at(file));
        const RunResult killed = programWhile({"/usr/bin/setsid", TOLM_BINARY, "a", "V=\"old\"", "GATE=\"release\""},
                                              [&](pid_t pid) {
            awaitWhileRunning(pid, [&] { return fs::exists(at("started")); });
            kill(test.wholeGroup ? -pid : pid, SIGKILL);
        });
        EXPECT_EQ(killed.exitCode, -1) << test.form;
        ASSERT_TRUE(runsIn(work_.path())) << test.form;
        bool waited = false;
        const RunResult next = tolmWhile({"a", "V=\"new\"", "GATE=\"/\""}, [&](pid_t pid) {
            waited = waits(pid);
            if (test.commandEnds) write("release", "");
        });
        EXPECT_TRUE(waited) << test.form << next.out;
        EXPECT_EQ(next.exitCode, 0) << test.form << next.out;
        EXPECT_FALSE(runsIn(work_.path())) << test.form;
        EXPECT_EQ(contentOf(at("o.txt")), "new\n") << test.form;
    }
}

}  // namespace
