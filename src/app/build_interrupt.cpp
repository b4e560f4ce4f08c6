#include "app/build_interrupt.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "app/guard_record.h"
#include "tools/probe_process.h"
#include "util/log.h"
#include "util/process_ancestry.h"

namespace {

namespace Messages {
constexpr const char* Interrupted = "Build interrupted by SIG{}.";
constexpr const char* OutputFailed = "cannot write to standard output";
}  // namespace Messages

constexpr int TakenSignals[] = {SIGINT, SIGTERM, SIGHUP};

// How long the guard lets the commands of a dead tolm end on SIGTERM before
// it sends SIGKILL: 100 looks, 50 ms apart.
constexpr int GuardLooks = 100;
constexpr useconds_t GuardLookMicroseconds = 50000;
// How often, after the grace, a stop looks for what would never end: each
// look reads the status of every process of the system.
constexpr useconds_t JudgeLookMicroseconds = 1000000;
// How many waits for a left group pass between two looks at /proc: one a
// second.
constexpr int LooksPerScan = 20;
// How long after a signal was passed on one that is still pending was not
// taken: the process is stopped, or in a wait that no signal ends.
constexpr auto TakingTime = std::chrono::seconds(1);
// How long what a command leaves behind after its own process ended is
// given to clean up: a process that caught the signal and carries on (a
// server that reloads on SIGHUP) would keep tolm for ever. The command's
// own process is waited for without limit, as make and ninja wait for it.
constexpr auto LeftBehindTime = std::chrono::seconds(10);
// How long tolm waits for a left group once each of its processes was sent
// SIGKILL.
constexpr auto KilledTime = std::chrono::seconds(2);

std::atomic<int> caughtSignal{0};
// Every signal passed on, one bit each (bit n - 1 for signal n).
std::atomic<std::uint64_t> passedSignals{0};
sigset_t savedMask;
std::atomic<bool> maskSaved{false};
// Readable from the first signal on, for whoever waits on descriptors; made
// once and never closed, since the signal thread writes to it at any time.
int wakeDescriptors[2] = {-1, -1};

// The running commands' groups and the connection to the guard (-1: none).
// The connection stays open for the whole run, also once the guard is gone:
// a command's child, forked at any moment, writes to it by its number, which
// must never name another file.
std::mutex groupsMutex;
std::set<pid_t> groups;
int guardSocket = -1;
bool guardGone = false;
pid_t guardProcess = -1;

// The groups whose leaders ended after a stop while others of them ran on,
// with when: tolm waits for them before it lets go of the project.
std::map<pid_t, std::chrono::steady_clock::time_point> leftGroups;
// The stopped groups each process of which was sent SIGKILL, with when
// first; dropped with the group, whose number a later one may take.
std::map<pid_t, std::chrono::steady_clock::time_point> killedGroups;
// When a signal was last passed on. Used by the signal thread only.
std::chrono::steady_clock::time_point lastPassed;
// Held by the signal thread while it acts on a signal. Once the scope has
// ended, the thread acts no more: the program's exit destroys what it uses.
std::mutex actingMutex;
bool scopeEnded = false;

// How a process of a stopped group took the signals passed on, as /proc
// showed it just before each was sent: whether it heard one (it had a
// handler, or blocked it to take it itself), whether it had taken those
// sent before by the time the next came, and whether it ignored each. By
// process and start time. Used by the signal thread only.
struct Hearing {
    bool heard = false;
    bool took = false;
    bool ignoredEach = true;
    // The signals sent before that were still pending at the last note:
    // one of them gone since was taken.
    std::uint64_t waiting = 0;
    // The program it ran when it heard: a shell's child shows the shell's
    // handler from the fork until it ignores the signal (a background job)
    // and runs its program, so one noted then never acted on the signal.
    std::string program;
};
std::map<std::pair<pid_t, unsigned long long>, Hearing> hearings;

// Sends one record in one message of its own; false when it did not go.
bool sendRecord(GuardRecord::Kind kind, pid_t group, std::uint64_t startedBy = 0) {
    const GuardRecord record = guardRecord(kind, group, startedBy);
    ssize_t sent;
    while ((sent = send(guardSocket, &record, sizeof record, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return sent == static_cast<ssize_t>(sizeof record);
}

// Room for one descriptor passed along with a record.
union DescriptorRoom {
    char bytes[CMSG_SPACE(sizeof(int))];
    cmsghdr header;
};

// A message of `bytes` with room for one descriptor beside them.
msghdr messageWith(iovec& bytes, DescriptorRoom& room) {
    msghdr header{};
    header.msg_iov = &bytes;
    header.msg_iovlen = 1;
    header.msg_control = room.bytes;
    header.msg_controllen = sizeof room.bytes;
    return header;
}

// The descriptor that came with a message; -1 when none did.
int passedDescriptor(msghdr& message) {
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS || part->cmsg_len != CMSG_LEN(sizeof(int)))
            continue;
        int descriptor = -1;
        std::memcpy(&descriptor, CMSG_DATA(part), sizeof descriptor);
        return descriptor;
    }
    return -1;
}

// Tells the guard of a group that started or ended. Call with groupsMutex
// held. A guard that is gone is not asked again.
void tellGuard(GuardRecord::Kind kind, pid_t group, std::uint64_t startedBy = 0) {
    if (guardSocket < 0 || guardGone) return;
    if (!sendRecord(kind, group, startedBy)) guardGone = true;
}

// A stopped command would act on the signal only once continued.
void signalGroup(pid_t group, int signal) {
    kill(-group, signal);
    kill(-group, SIGCONT);
}

// Whether anything of a group still runs, after a stop. A look at /proc
// misses what starts once it has listed the processes: a chain of processes
// each starting the next and ending may show none alive. One that shows none
// gets SIGKILL as a whole before it counts as ended: what it still has was
// started after the stop by what has ended.
bool stoppedGroupRuns(pid_t group) {
    if (Util::groupRuns(group)) return true;
    kill(-group, SIGKILL);
    return false;
}

// The groups of the running commands, and those left after their leaders.
std::vector<pid_t> stoppedGroups() {
    std::lock_guard<std::mutex> lock(groupsMutex);
    std::vector<pid_t> chosen(groups.begin(), groups.end());
    for (const auto& [group, left] : leftGroups) chosen.push_back(group);
    return chosen;
}

// Whether a process took a signal that was pending at its last note.
bool tookSince(const Hearing& hearing, const Util::SignalMasks& masks) {
    return (hearing.waiting & ~masks.pending) != 0;
}

// Notes how each process of the groups takes `signal`, before it is sent;
// `earlier`: the signals passed on before. Looked at without groupsMutex,
// which the commands' threads need meanwhile.
void noteHearing(const std::vector<pid_t>& chosen, int signal, std::uint64_t earlier) {
    if (chosen.empty()) return;
    const std::optional<std::vector<Util::ProcessStatus>> members = Util::groupMembers(chosen);
    if (!members) return;
    const std::uint64_t sent = std::uint64_t{1} << (signal - 1);
    for (const Util::ProcessStatus& member : *members) {
        const std::optional<Util::SignalMasks> masks = Util::signalMasks(member.pid);
        if (!masks) continue;
        const auto [entry, first] = hearings.try_emplace({member.pid, member.start});
        Hearing& hearing = entry->second;
        // One started since an earlier signal came from a clean-up, which
        // may well have it ignore the signal.
        if (first && earlier != 0) hearing.ignoredEach = false;
        // One that heard an earlier signal and has none of them pending, or
        // has one no longer that was pending at the last note, has taken it:
        // a second Ctrl-C, held back while its handler runs, stops no
        // clean-up. One still pending, blocked or in a wait that only SIGKILL
        // ends (a hung network read), was not taken.
        const bool noneWaits = (masks->pending & earlier) == 0;
        hearing.took = hearing.took || (hearing.heard && (noneWaits || tookSince(hearing, *masks)));
        hearing.waiting = masks->pending & earlier;
        if (!hearing.heard && Util::hears(*masks, sent)) {
            hearing.heard = true;
            hearing.program = Util::programName(member.pid);
        }
        hearing.ignoredEach = hearing.ignoredEach && (masks->ignored & sent) != 0;
    }
}

// Passes a signal on to the commands; once the scope has ended, only notes
// it and returns false.
bool passOn(int signal) {
    const std::uint64_t earlier = passedSignals.fetch_or(std::uint64_t{1} << (signal - 1));
    int none = 0;
    if (caughtSignal.compare_exchange_strong(none, signal) && wakeDescriptors[1] >= 0)
        (void)!write(wakeDescriptors[1], "!", 1);
    std::lock_guard<std::mutex> acting(actingMutex);
    if (scopeEnded) return false;
    noteHearing(stoppedGroups(), signal, earlier);
    lastPassed = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(groupsMutex);
    for (pid_t group : groups) signalGroup(group, signal);
    for (const auto& [group, left] : leftGroups) signalGroup(group, signal);
    return true;
}

// Once the grace is over: SIGKILL for what of the stopped groups would never
// end. That is a process that ignored each signal when it came, or holds
// back every one it was sent, and every process of a group of which no
// process that heard a signal still runs: what lingers after a clean-up, or
// what no signal stops (the first process of a PID namespace of its own). A
// process that heard a signal is given the time its clean-up takes, and so
// is what its group starts meanwhile, which may well ignore the signal.
// Where /proc cannot tell the processes apart, every group gets it. False,
// doing nothing, once the scope has ended.
bool endWhatWillNotEnd() {
    std::lock_guard<std::mutex> acting(actingMutex);
    if (scopeEnded) return false;
    const std::vector<pid_t> chosen = stoppedGroups();
    if (chosen.empty()) return true;
    const auto now = std::chrono::steady_clock::now();
    // The groups whose leaders ended long enough ago: no clean-up holds them.
    std::set<pid_t> overdue;
    {
        std::lock_guard<std::mutex> lock(groupsMutex);
        for (const auto& [group, left] : leftGroups)
            if (now - left >= LeftBehindTime) overdue.insert(group);
    }
    const bool settled = now - lastPassed >= TakingTime;
    const std::optional<std::vector<Util::ProcessStatus>> members = Util::groupMembers(chosen);
    if (!members) {
        for (pid_t group : chosen) kill(-group, SIGKILL);
        std::lock_guard<std::mutex> lock(groupsMutex);
        for (pid_t group : chosen) killedGroups.try_emplace(group, now);
        return true;
    }
    const std::uint64_t signals = passedSignals.load();
    struct Judged {
        pid_t pid;
        pid_t group;
        bool ends;
    };
    std::vector<Judged> judged;
    std::set<pid_t> cleaning;
    for (const Util::ProcessStatus& member : *members) {
        const auto found = hearings.find({member.pid, member.start});
        // One not noted started since the signal came.
        Hearing unnoted{.heard = false, .took = false, .ignoredEach = false, .waiting = 0, .program = {}};
        Hearing& hearing = found != hearings.end() ? found->second : unnoted;
        const std::optional<Util::SignalMasks> masks = Util::signalMasks(member.pid);
        if (masks && hearing.heard && tookSince(hearing, *masks)) hearing.took = true;
        // A signal still pending a while after it was sent was not taken,
        // blocked or not: one blocked and pending, never.
        const bool heldBack = !hearing.took && masks &&
                              (Util::holdsBack(*masks, signals) || (settled && (masks->pending & signals) != 0));
        // One that runs another program since it heard, and ignores every
        // signal now, was a shell's child noted before it ignored them.
        const bool forked = hearing.heard && masks && (signals & ~masks->ignored) == 0 && !hearing.program.empty() &&
                            Util::programName(member.pid) != hearing.program;
        const bool heard = hearing.heard && !forked;
        // A stopped process cleans nothing up (a clean-up that touched the
        // terminal from the background, say).
        const bool stopped = member.state == 'T';
        if (heard && !heldBack && !stopped && overdue.count(member.group) == 0) cleaning.insert(member.group);
        judged.push_back({member.pid, member.group, hearing.ignoredEach || forked || (heard && heldBack)});
    }
    for (const Judged& process : judged)
        if (process.ends && cleaning.count(process.group) != 0) kill(process.pid, SIGKILL);
    // A group as a whole: what it starts meanwhile (a chain of processes
    // each starting the next) cannot slip between a look and a kill.
    std::lock_guard<std::mutex> lock(groupsMutex);
    for (pid_t group : chosen) {
        if (cleaning.count(group) != 0) continue;
        kill(-group, SIGKILL);
        killedGroups.try_emplace(group, now);
    }
    return true;
}

// The guard: a fork of tolm made before any other thread, so it may use the
// allocator. It outlives terminal and termination signals meant for tolm and
// holds none of tolm's output open, so a reader of that output still sees it
// end with tolm. Its own process group keeps it out of a kill of tolm's
// group; there it is never in the terminal's foreground, and with /dev/null
// for its streams and the job-control signals ignored, the terminal can
// neither stop it nor make it wait.
[[noreturn]] void guard(int socket) {
    // Asked here rather than by tolm before the fork, which keeps the call
    // off every run's own path; tolm's group by tolm's number, since tolm may
    // already have moved the guard into a group of its own.
    const pid_t tolmGroup = getpgid(getppid());
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU}) ::signal(signal, SIG_IGN);
    setpgid(0, 0);
    // The streams are replaced below; the socket must not be one of them.
    if (socket <= STDERR_FILENO) socket = fcntl(socket, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (const int null = open("/dev/null", O_RDWR); null >= 0) {
        for (int stream = 0; stream < 3; ++stream) dup2(null, stream);
        if (null > 2) close(null);
    }
    // Each running group with the time its record gives for its leader's start.
    std::map<pid_t, std::uint64_t> running;
    // The project lock's descriptor: open until the guard ends, it keeps the
    // lock held once tolm is gone, for as long as what tolm left runs.
    int projectLock = -1;
    for (;;) {
        // One byte more than a record, so that a longer message shows as one.
        char message[sizeof(GuardRecord) + 1];
        iovec bytes{message, sizeof message};
        DescriptorRoom room{};
        msghdr header = messageWith(bytes, room);
        const ssize_t got = recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        const int passed = passedDescriptor(header);
        const std::optional<GuardRecord> record = readGuardRecord(message, static_cast<std::size_t>(got));
        if (record && record->kind == GuardRecord::HoldsLock && passed >= 0) {
            if (projectLock >= 0) close(projectLock);
            projectLock = passed;
            continue;
        }
        if (passed >= 0) close(passed);
        if (!record || record->kind == GuardRecord::HoldsLock) continue;
        if (record->kind == GuardRecord::Ended)
            running.erase(record->group);
        else
            running[record->group] = record->startedBy;
    }
    // tolm is gone: stop what it left running, once each group is seen to
    // be one it started. Looked at only now, so a run that ends well costs
    // the guard no look at /proc.
    if (!running.empty()) {
        const GuardView view = currentGuardView(tolmGroup);
        std::erase_if(running,
                      [&view](const auto& group) { return !acceptsGroupNow(group.first, group.second, view); });
    }
    for (const auto& [group, startedBy] : running) signalGroup(group, SIGTERM);
    for (int look = 0; look < GuardLooks && !running.empty(); ++look) {
        usleep(GuardLookMicroseconds);
        std::erase_if(running, [](const auto& group) { return !stoppedGroupRuns(group.first); });
    }
    for (const auto& [group, startedBy] : running) kill(-group, SIGKILL);
    _exit(0);
}

void startGuard() {
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(sockets[0]);
        guard(sockets[1]);
    }
    close(sockets[1]);
    if (pid < 0) {
        close(sockets[0]);
        return;
    }
    // Here too, so the guard has its own group before any command starts,
    // whichever of the two runs first.
    setpgid(pid, pid);
    guardSocket = sockets[0];
    guardProcess = pid;
}

void stopGuard() {
    {
        std::lock_guard<std::mutex> lock(groupsMutex);
        if (guardSocket >= 0) close(guardSocket);
        guardSocket = -1;
    }
    if (guardProcess <= 0) return;
    while (waitpid(guardProcess, nullptr, 0) < 0 && errno == EINTR) {
    }
    guardProcess = -1;
}

// Probes end with the run: passed on a signal like the commands, and killed
// by their group as soon as one was caught.
class ProbeStop : public ProbeWatch {
public:
    int stopDescriptor() override { return wakeDescriptors[0]; }
    void throwIfStopped() override { BuildInterrupt::throwIfCaught(); }
    const sigset_t* signalMask() override { return BuildInterrupt::commandSignalMask(); }
    void started(pid_t group) override { BuildInterrupt::enterGroup(group); }
    void ended(pid_t group) override { BuildInterrupt::leaveGroup(group); }
};

ProbeStop probeStop;

// The taken signals that were not ignored when tolm started.
sigset_t signalsToTake() {
    sigset_t taken;
    sigemptyset(&taken);
    for (int signal : TakenSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaddset(&taken, signal);
    }
    return taken;
}

}  // namespace

BuildInterrupted::BuildInterrupted(int signal)
    : TolmException(fmt::format(fmt::runtime(Messages::Interrupted), sigabbrev_np(signal))), signal(signal) {}

OutputFailed::OutputFailed() : TolmException(Messages::OutputFailed) {}

namespace BuildInterrupt {

Scope::Scope() {
    // The guard first: it is a fork, and no other thread may exist yet.
    startGuard();
    if (wakeDescriptors[0] < 0 && pipe2(wakeDescriptors, O_CLOEXEC | O_NONBLOCK) != 0)
        wakeDescriptors[0] = wakeDescriptors[1] = -1;
    // An ignored signal is left alone: blocked, it would be kept pending for
    // sigwait instead of being dropped.
    const sigset_t taken = signalsToTake();
    pthread_sigmask(SIG_BLOCK, &taken, &savedMask);
    maskSaved = true;
    setProbeWatch(&probeStop);
    if (sigisemptyset(&taken)) return;
    // Every thread made from here on starts with the signals blocked.
    std::thread([taken] {
        int signal = 0;
        while (sigwait(&taken, &signal) != 0) {
        }
        if (!passOn(signal)) return;
        // What would never end keeps tolm waiting for ever: after the grace
        // the guard gives, it gets SIGKILL, looked for from then on as long
        // as anything of the commands runs. What cleans up is waited for.
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += GuardLooks * GuardLookMicroseconds / 1000000;
        for (;;) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
            if (left.tv_nsec < 0) left = {left.tv_sec - 1, left.tv_nsec + 1000000000};
            if (left.tv_sec < 0) break;
            const int next = sigtimedwait(&taken, nullptr, &left);
            if (next > 0 && !passOn(next)) return;
        }
        // Looked for less often than the commands are waited for: each look
        // reads every process's status.
        for (;;) {
            if (!endWhatWillNotEnd()) return;
            timespec look{JudgeLookMicroseconds / 1000000, (JudgeLookMicroseconds % 1000000) * 1000L};
            const int next = sigtimedwait(&taken, nullptr, &look);
            if (next > 0 && !passOn(next)) return;
        }
    }).detach();
}

// The signals stay blocked: one that comes while the program ends is only noted.
Scope::~Scope() {
    setProbeWatch(nullptr);
    awaitLeftGroups();
    stopGuard();
    std::lock_guard<std::mutex> lock(actingMutex);
    scopeEnded = true;
}

int caught() { return caughtSignal.load(); }

bool stopped() { return caught() != 0 || Log::outputFailed(); }

void throwIfCaught() {
    if (const int signal = caught()) throw BuildInterrupted(signal);
    if (Log::outputFailed()) throw OutputFailed();
}

const sigset_t* commandSignalMask() { return maskSaved ? &savedMask : nullptr; }

void tellGuardOfOwnGroup() {
    // Only send(): the child of a process with threads may call nothing
    // that takes a lock. The guard ends its wait only once this child has
    // closed its copy of the connection, at exec or exit, so it always
    // reads this record first.
    if (guardSocket >= 0) (void)sendRecord(GuardRecord::Started, getpid(), timeSinceBoot());
}

void enterGroup(pid_t group, bool guardTold) {
    std::lock_guard<std::mutex> lock(groupsMutex);
    groups.insert(group);
    // Asked once the group's leader runs: it started by now.
    if (!guardTold) tellGuard(GuardRecord::Started, group, timeSinceBoot());
    if (const int signal = caught()) signalGroup(group, signal);
}

void leaveGroup(pid_t group) {
    std::lock_guard<std::mutex> lock(groupsMutex);
    groups.erase(group);
    // After a stop, what the command started may outlive its leader: a
    // child that ignores the signal, or one still cleaning up. tolm waits
    // for it, and the guard keeps the group should tolm die meanwhile.
    if (caught() != 0 && stoppedGroupRuns(group)) {
        leftGroups.emplace(group, std::chrono::steady_clock::now());
        return;
    }
    killedGroups.erase(group);
    tellGuard(GuardRecord::Ended, group);
}

void awaitLeftGroups() {
    for (int look = 0;; ++look) {
        std::vector<pid_t> left;
        // Those that outlive SIGKILL a while count as ended: such a process
        // never runs a program's code again (frozen, or in a wait no signal
        // ends), and would keep tolm for as long as that lasts.
        std::set<pid_t> unkillable;
        {
            std::lock_guard<std::mutex> lock(groupsMutex);
            const auto now = std::chrono::steady_clock::now();
            for (const auto& [group, when] : leftGroups) {
                left.push_back(group);
                const auto killed = killedGroups.find(group);
                if (killed != killedGroups.end() && now - killed->second >= KilledTime) unkillable.insert(group);
            }
        }
        if (left.empty()) return;
        // Between looks at /proc, which reads every process's status, the
        // system tells whether a group has any process at all.
        if (look % LooksPerScan != 0 && unkillable.empty() && std::all_of(left.begin(), left.end(), [](pid_t group) {
                return kill(-group, 0) == 0;
            })) {
            usleep(GuardLookMicroseconds);
            continue;
        }
        // One look at /proc for all of them where it tells the members.
        std::set<pid_t> running;
        for (pid_t group : left) {
            // As the first process of a PID namespace tolm inherits what
            // outlives a command's shell: collected, it no longer counts.
            siginfo_t ended{};
            while (waitid(P_PGID, static_cast<id_t>(group), &ended, WEXITED | WNOHANG) == 0 && ended.si_pid != 0)
                ended = siginfo_t{};
        }
        if (const auto members = Util::groupMembers(left)) {
            for (const Util::ProcessStatus& member : *members) running.insert(member.group);
        } else {
            for (pid_t group : left)
                if (Util::groupRuns(group)) running.insert(group);
        }
        for (pid_t group : left) {
            if (running.count(group) != 0 && unkillable.count(group) == 0) continue;
            // What the look missed (see stoppedGroupRuns) ends with it.
            if (running.count(group) == 0) kill(-group, SIGKILL);
            running.erase(group);
            std::lock_guard<std::mutex> lock(groupsMutex);
            leftGroups.erase(group);
            killedGroups.erase(group);
            tellGuard(GuardRecord::Ended, group);
        }
        if (running.empty()) return;
        usleep(GuardLookMicroseconds);
    }
}

void shareLockWithGuard(int descriptor) {
    if (descriptor < 0) return;
    std::lock_guard<std::mutex> lock(groupsMutex);
    if (guardSocket < 0 || guardGone) return;
    GuardRecord record = guardRecord(GuardRecord::HoldsLock, 0);
    iovec bytes{&record, sizeof record};
    DescriptorRoom room{};
    msghdr header = messageWith(bytes, room);
    cmsghdr* part = CMSG_FIRSTHDR(&header);
    part->cmsg_level = SOL_SOCKET;
    part->cmsg_type = SCM_RIGHTS;
    part->cmsg_len = CMSG_LEN(sizeof descriptor);
    std::memcpy(CMSG_DATA(part), &descriptor, sizeof descriptor);
    ssize_t sent;
    while ((sent = sendmsg(guardSocket, &header, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (sent != static_cast<ssize_t>(sizeof record)) guardGone = true;
}

}  // namespace BuildInterrupt
