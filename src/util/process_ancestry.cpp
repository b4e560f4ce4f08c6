#include "util/process_ancestry.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "util/number_text.h"
#include "util/regular_file.h"

namespace Util {

namespace {

// Far beyond any real chain of parents; ends a loop /proc could show while
// processes come and go.
constexpr int MaxAncestors = 4096;

// The fields of /proc/<which>/stat. The program's name, second, stands in
// parentheses and may hold spaces and parentheses itself, so the fields are
// counted from the last ')'. A process reaped between the open and the read
// fails the read (ESRCH): that is a process not shown.
std::optional<ProcessStatus> statOf(const std::string& which) {
    const std::string line = readRegularFile("/proc/" + which + "/stat").bytes;
    const std::size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    ProcessStatus stat;
    if (!(std::istringstream(line.substr(0, nameEnd)) >> stat.pid)) return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    // State, parent, group, session, then 15 more fields before the start time.
    std::string state, skipped;
    if (!(fields >> state >> stat.parent >> stat.group >> stat.session) || state.empty()) return std::nullopt;
    stat.state = state[0];
    for (int field = 0; field < 15; ++field)
        if (!(fields >> skipped)) return std::nullopt;
    if (!(fields >> stat.start)) return std::nullopt;
    return stat;
}

// Whether a process shows threads besides its first: /proc shows a process
// whose first thread has ended as ended, though its other threads run on.
bool hasOtherThreads(const std::string& which) {
    const std::unique_ptr<DIR, int (*)(DIR*)> threads(::opendir(("/proc/" + which + "/task").c_str()), ::closedir);
    if (!threads) return false;
    int count = 0;
    while (const dirent* entry = ::readdir(threads.get()))
        if (entry->d_name[0] != '.' && ++count > 1) return true;
    return false;
}

// Whether an NSpid line's numbers (the process's in each PID namespace, the
// outermost first) end in a 1 of a namespace below the outermost one.
bool namespaceInit(std::string_view numbers) {
    const std::size_t last = numbers.find_last_not_of(" \t");
    if (last == std::string_view::npos) return false;
    numbers = numbers.substr(0, last + 1);
    const std::size_t blank = numbers.find_last_of(" \t");
    if (blank == std::string_view::npos) return false;
    const std::string_view before = numbers.substr(0, blank);
    return numbers.substr(blank + 1) == "1" && before.find_first_not_of(" \t") != std::string_view::npos;
}

}  // namespace

ProcessStamp ownProcessStamp() {
    const std::optional<ProcessStatus> stat = statOf("self");
    return stat ? ProcessStamp{stat->pid, stat->start} : ProcessStamp{::getpid(), 0};
}

bool processesVisible() {
    return statOf("self").has_value();
}

std::string stampText(const ProcessStamp& stamp) {
    return std::to_string(stamp.pid) + " " + std::to_string(stamp.start);
}

std::optional<ProcessStamp> parseStamp(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    ProcessStamp stamp;
    if (!parseWholeNumber(text.substr(0, space), stamp.pid) || !parseWholeNumber(text.substr(space + 1), stamp.start))
        return std::nullopt;
    if (stamp.pid <= 0) return std::nullopt;
    return stamp;
}

std::optional<ProcessStatus> processStatus(pid_t pid) {
    std::optional<ProcessStatus> stat = statOf(std::to_string(pid));
    if (!stat || stat->pid != pid) return std::nullopt;
    return stat;
}

std::optional<ProcessStatus> ownProcessStatus() { return statOf("self"); }

bool isAncestor(const ProcessStamp& stamp) {
    const std::optional<ProcessStatus> own = statOf("self");
    pid_t current = own ? own->parent : 0;
    for (int depth = 0; current > 0 && depth < MaxAncestors; ++depth) {
        const std::optional<ProcessStatus> stat = statOf(std::to_string(current));
        if (!stat) return false;
        if (current == stamp.pid) return stat->start == stamp.start;
        current = stat->parent;
    }
    return false;
}

std::optional<ProcessStamp> stampOf(pid_t pid) {
    const std::optional<ProcessStatus> stat = processStatus(pid);
    if (!stat) return std::nullopt;
    return ProcessStamp{pid, stat->start};
}

bool isVisible(const ProcessStamp& stamp) {
    return stampOf(stamp.pid) == stamp;
}

bool groupRuns(pid_t group) {
    if (::kill(-group, 0) != 0) return false;
    const std::optional<ProcessStatus> own = statOf("self");
    if (!own || own->pid != ::getpid()) return true;
    const std::unique_ptr<DIR, int (*)(DIR*)> processes(::opendir("/proc"), ::closedir);
    if (!processes) return true;
    while (const dirent* entry = ::readdir(processes.get())) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        const std::optional<ProcessStatus> stat = statOf(entry->d_name);
        if (stat && stat->group == group && (stat->state != 'Z' || hasOtherThreads(entry->d_name))) return true;
    }
    return false;
}

std::optional<std::vector<ProcessStatus>> groupMembers(const std::vector<pid_t>& groups) {
    const std::optional<ProcessStatus> own = statOf("self");
    if (!own || own->pid != ::getpid()) return std::nullopt;
    const std::unique_ptr<DIR, int (*)(DIR*)> processes(::opendir("/proc"), ::closedir);
    if (!processes) return std::nullopt;
    std::vector<ProcessStatus> members;
    while (const dirent* entry = ::readdir(processes.get())) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        const std::optional<ProcessStatus> stat = statOf(entry->d_name);
        if (stat && std::find(groups.begin(), groups.end(), stat->group) != groups.end() &&
            (stat->state != 'Z' || hasOtherThreads(entry->d_name)))
            members.push_back(*stat);
    }
    return members;
}

std::optional<SignalMasks> parseSignalMasks(std::string_view status) {
    SignalMasks masks;
    std::uint64_t threadPending = 0, processPending = 0;
    const struct {
        std::string_view name;
        std::uint64_t* mask;
    } fields[] = {{"SigPnd:", &threadPending}, {"ShdPnd:", &processPending}, {"SigBlk:", &masks.blocked},
                  {"SigIgn:", &masks.ignored}, {"SigCgt:", &masks.caught}};
    unsigned found = 0;
    std::string_view nsPids;
    while (!status.empty()) {
        const std::size_t end = std::min(status.find('\n'), status.size());
        std::string_view line = status.substr(0, end);
        status.remove_prefix(std::min(end + 1, status.size()));
        if (line.starts_with("NSpid:")) nsPids = line.substr(6);
        for (unsigned field = 0; field < std::size(fields); ++field) {
            if (!line.starts_with(fields[field].name)) continue;
            line.remove_prefix(fields[field].name.size());
            line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
            if (!parseWholeNumber(line, *fields[field].mask, 16)) return std::nullopt;
            found |= 1u << field;
            break;
        }
    }
    if (found != (1u << std::size(fields)) - 1) return std::nullopt;
    masks.pending = threadPending | processPending;
    masks.shielded = namespaceInit(nsPids);
    return masks;
}

std::string programName(pid_t pid) {
    std::string name = readRegularFile("/proc/" + std::to_string(pid) + "/comm").bytes;
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

std::optional<SignalMasks> signalMasks(pid_t pid) {
    return parseSignalMasks(readRegularFile("/proc/" + std::to_string(pid) + "/status").bytes);
}

bool hears(const SignalMasks& masks, std::uint64_t signals) {
    const std::uint64_t acted = masks.shielded ? masks.caught | masks.blocked : ~std::uint64_t{0};
    return (signals & ~masks.ignored & acted) != 0;
}

bool holdsBack(const SignalMasks& masks, std::uint64_t signals) {
    return (signals & masks.blocked & masks.pending) != 0;
}

}  // namespace Util
