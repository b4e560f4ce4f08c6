#include "util/process_ancestry.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

// The parent and start time /proc shows for a process, read here apart from the code under test.
struct Seen {
    pid_t parent;
    unsigned long long start;
};

Seen seen(pid_t pid) {
    const std::string stat = TestSupport::contentOf("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    return {std::stoi(words.at(1)), std::stoull(words.at(19))};
}

// A stamp is "pid start" and nothing else; a line end after it is allowed.
TEST(ProcessAncestry, StampText) {
    EXPECT_EQ(Util::stampText({1234, 98765}), "1234 98765");
    const std::optional<Util::ProcessStamp> stamp = Util::parseStamp("1234 98765\n");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->pid, 1234);
    EXPECT_EQ(stamp->start, 98765u);
    for (const char* text : {"", "\n", "1234", "1234 ", " 1234 5", "1234  5", "1234 5 6", "0 5", "-3 5", "3 -5",
                             "x 5", "3 5x", "1234 98765\n\n", "/a/.tolm_cache.lock=1 2"})
        EXPECT_FALSE(Util::parseStamp(text)) << text;
}

// The parent and every process above it are ancestors, each only with its own start time; this
// process itself is not its own ancestor.
TEST(ProcessAncestry, ParentChain) {
    ASSERT_TRUE(Util::processesVisible());
    const Util::ProcessStamp own = Util::ownProcessStamp();
    EXPECT_EQ(own.pid, ::getpid());
    EXPECT_EQ(own.start, seen(::getpid()).start);
    EXPECT_FALSE(Util::isAncestor(own));

    int ancestors = 0;
    for (pid_t pid = ::getppid(); pid > 0; pid = seen(pid).parent, ++ancestors) {
        const unsigned long long start = seen(pid).start;
        EXPECT_TRUE(Util::isAncestor({pid, start})) << pid;
        EXPECT_FALSE(Util::isAncestor({pid, start + 1})) << pid;
    }
    EXPECT_GE(ancestors, 1);
}

// A process is visible with its own start time only, and no longer once it has ended.
TEST(ProcessAncestry, Visibility) {
    const Util::ProcessStamp own{::getpid(), seen(::getpid()).start};
    EXPECT_TRUE(Util::isVisible(own));
    EXPECT_FALSE(Util::isVisible({own.pid, own.start + 1}));
    const pid_t child = fork();
    if (child == 0) _exit(0);
    const unsigned long long start = seen(child).start;
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(Util::isVisible({child, start}));
}

// The first process of a new pid namespace, whose /proc is still this one, has no parent by
// getppid() and is number 1 by getpid(), yet finds the processes above it and its own number as
// /proc shows them.
TEST(ProcessAncestry, ChainSeenThroughAPidNamespace) {
    constexpr int NoNamespace = 99;
    const Util::ProcessStamp test{::getpid(), seen(::getpid()).start};
    const pid_t child = fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWPID) != 0) _exit(NoNamespace);
        const Util::ProcessStamp parent{::getpid(), seen(::getpid()).start};
        const pid_t first = fork();
        if (first == 0) {
            const Util::ProcessStamp own = Util::ownProcessStamp();
            const bool right = ::getpid() == 1 && ::getppid() == 0 && own.pid != 1 && Util::isVisible(own) &&
                               Util::isAncestor(parent) && Util::isAncestor(test);
            _exit(right ? 0 : 1);
        }
        int status = -1;
        _exit(first > 0 && waitpid(first, &status, 0) == first && WIFEXITED(status) ? WEXITSTATUS(status) : 2);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == NoNamespace) GTEST_SKIP() << "no pid namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A process reaped while its /proc entry is being read makes the read fail (ESRCH) after the open
// succeeded; that is "not visible", never an error of the reader. Each child is read over and
// over while it ends, so a read now and then falls between the open and the reap.
TEST(ProcessAncestry, ProcessEndingWhileReadIsNotVisible) {
    for (int round = 0; round < 100; ++round) {
        const pid_t child = fork();
        if (child == 0) _exit(0);
        std::atomic<bool> reaped = false;
        std::thread reader([&] {
            while (!reaped) {
                EXPECT_NO_THROW((void)Util::stampOf(child));
                EXPECT_NO_THROW((void)Util::isAncestor({child, 1}));
            }
        });
        int status = -1;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        for (int more = 0; more < 50; ++more) std::this_thread::yield();
        reaped = true;
        reader.join();
    }
}

// A group runs while a process of it runs, also one whose first thread has ended while another
// goes on (which /proc shows as ended), not once only processes that have ended are left in it,
// which their parent has not collected yet; a group of no process does not run.
TEST(ProcessAncestry, GroupRunsWhileAMemberRuns) {
    enum class Child { Lasts, Ends, EndsFirstThread };
    const auto childLeading = [](Child kind) {
        const pid_t child = fork();
        if (child == 0) {
            setpgid(0, 0);
            if (kind == Child::Lasts) pause();
            if (kind == Child::EndsFirstThread) {
                pthread_t other;
                pthread_create(&other, nullptr, [](void*) -> void* { for (;;) pause(); }, nullptr);
                // The first thread alone ends, without unwinding into the test's frames.
                syscall(SYS_exit, 0);
            }
            _exit(0);
        }
        setpgid(child, child);
        return child;
    };
    const pid_t running = childLeading(Child::Lasts), ended = childLeading(Child::Ends),
                threadLeft = childLeading(Child::EndsFirstThread);
    // Ended, and left uncollected: a zombie, which the system still counts in the group.
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT), 0);
    // Its first thread gone: /proc shows it as ended.
    for (int look = 0; look < 1000 && Util::processStatus(threadLeft) && Util::processStatus(threadLeft)->state != 'Z';
         ++look)
        usleep(1000);
    EXPECT_TRUE(Util::groupRuns(running));
    EXPECT_FALSE(Util::groupRuns(ended));
    EXPECT_TRUE(Util::groupRuns(threadLeft));
    for (const pid_t child : {running, threadLeft}) kill(child, SIGKILL);
    for (const pid_t child : {running, ended, threadLeft}) waitpid(child, nullptr, 0);
    EXPECT_FALSE(Util::groupRuns(running));
}

// The signal masks of a status file, pending joining the thread's and the process's; a text that
// lacks one, or holds one that is no whole hexadecimal number, tells nothing.
TEST(SignalMasks, ParsedFromStatusText) {
    const std::string status = "Name:\tsh\nSigQ:\t0/9\nSigPnd:\t0000000000000001\nShdPnd:\t0000000000004000\n"
                               "SigBlk:\t0000000000010000\nSigIgn:\t0000000001001000\nSigCgt:\tffffffffffffffff\n";
    const std::optional<Util::SignalMasks> masks = Util::parseSignalMasks(status);
    ASSERT_TRUE(masks);
    EXPECT_EQ(masks->pending, 0x4001u);
    EXPECT_EQ(masks->blocked, 0x10000u);
    EXPECT_EQ(masks->ignored, 0x1001000u);
    EXPECT_EQ(masks->caught, ~std::uint64_t{0});
    for (const auto& [from, to] : {std::pair{"ShdPnd", "ShdPnX"}, {"0000000000010000", "0x10000"},
                                   {"0000000000010000", ""}, {"0000000000010000", "1 2"},
                                   {"0000000000010000", "-1"}, {"ffffffffffffffff", "10000000000000000"}}) {
        std::string broken = status;
        broken.replace(broken.find(from), std::string_view(from).size(), to);
        EXPECT_FALSE(Util::parseSignalMasks(broken)) << broken;
    }
    EXPECT_FALSE(masks->shielded);
    // Shielded: the first process of a PID namespace below the outermost one.
    for (const auto& [numbers, shielded] : {std::pair{"4711\t1", true}, {"4711 12\t1 ", true}, {"1", false},
                                            {"4711\t12", false}, {"4711\t11", false}, {"", false}})
        EXPECT_EQ(Util::parseSignalMasks(status + "NSpid:\t" + numbers + "\n")->shielded, shielded) << numbers;
}

// A process hears a signal sent when it has a handler for it, blocks it to take it itself, or ends
// by the default action (one waiting in sigwait shows so), not when it ignores it, nor when it is
// the first of a PID namespace that leaves it the default action; it holds one back while it is
// blocked and pending, handler or not, and no longer once it took it.
TEST(SignalMasks, HeardAndHeldBack) {
    const std::uint64_t term = 1u << (SIGTERM - 1), both = term | 1u << (SIGINT - 1);
    const struct {
        Util::SignalMasks masks;
        std::uint64_t sent;
        bool heard, heldBack;
    } cases[] = {
        {{.caught = term}, term, true, false},
        {{.blocked = term}, term, true, false},
        {{.pending = term, .blocked = term}, term, true, true},
        {{.pending = term, .blocked = term, .caught = term}, term, true, true},
        {{.pending = term}, term, true, false},
        {{.ignored = term}, term, false, false},
        {{}, term, true, false},
        {{.shielded = true}, term, false, false},
        {{.caught = term, .shielded = true}, term, true, false},
        {{.blocked = term, .shielded = true}, term, true, false},
        {{.ignored = term, .caught = both & ~term}, both, true, false},
        {{.caught = term}, both & ~term, true, false},
        {{.caught = term}, 0, false, false},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Util::hears(test.masks, test.sent), test.heard) << &test - cases;
        EXPECT_EQ(Util::holdsBack(test.masks, test.sent), test.heldBack) << &test - cases;
    }
}

// What /proc shows of a process that blocks SIGTERM, sent it, in a group of its own: the group's
// one member, holding it back; once it has ended, no member and no masks.
TEST(SignalMasks, ShownForAProcessOfAGroup) {
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, nullptr);
        for (;;) pause();
    }
    setpgid(child, child);
    const std::uint64_t term = 1u << (SIGTERM - 1);
    std::optional<Util::SignalMasks> masks;
    const auto lookUntil = [&](std::uint64_t Util::SignalMasks::*mask) {
        for (int look = 0; look < 1000 && !((masks = Util::signalMasks(child)) && ((*masks).*mask & term)); ++look)
            usleep(1000);
    };
    lookUntil(&Util::SignalMasks::blocked);
    kill(child, SIGTERM);
    lookUntil(&Util::SignalMasks::pending);
    const std::optional<std::vector<Util::ProcessStatus>> members = Util::groupMembers({child});
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(masks);
    EXPECT_TRUE(Util::holdsBack(*masks, term));
    ASSERT_TRUE(members);
    ASSERT_EQ(members->size(), 1u);
    EXPECT_EQ(members->front().pid, child);
    EXPECT_EQ(members->front().group, child);
    EXPECT_EQ(Util::groupMembers({child}).value_or(std::vector<Util::ProcessStatus>{{}}).size(), 0u);
    EXPECT_FALSE(Util::signalMasks(child));
}

}  // namespace
