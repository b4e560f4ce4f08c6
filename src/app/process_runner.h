#pragma once
// Running one command of a build job, behind a seam so the job runner can be
// tested without starting processes.
//
// The real runner starts "/bin/sh" "-c" with the command line in a child
// process. The program has worker threads when it forks, and another thread
// may hold the allocator's lock at that moment, so the child must not
// allocate: the argument vector and the environment (with the command's
// directories in front of PATH) are built before the fork, and the child only
// makes its group, tells tolm's guard of it, changes directory and calls
// execve. The console log is flushed first, so a command's own output never
// appears before the line that announces it.
//
// Each command leads a process group of its own, which a signal to the build
// reaches as a whole (build_interrupt.h). A command line longer than the
// system takes for one argument runs from a temporary script file instead,
// through the same shell. The child reports a failed change of directory or
// start of the shell through a pipe closed on exec, so that failure is told
// apart from a command that ran and failed.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/builder.h"

// How a command ended.
struct CommandResult {
    // 0 for success; otherwise the exit status, -1 for a command ended by a
    // signal, or the errno of a command that could not start.
    int code = 0;
    // Why the command could not start; empty when it started.
    std::string startFailure;
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs the command to its end. Called from several threads at once.
    virtual CommandResult run(const Tolm::Command& command) = 0;
};

// Starts every command through "/bin/sh"; holds no state.
class ShellProcessRunner : public ProcessRunner {
public:
    CommandResult run(const Tolm::Command& command) override;

protected:
    // In tolm, right after the fork, before tolm notes the child's group:
    // where a tolm killed by a signal must still leave no command running.
    virtual void forked(pid_t) {}
};

// The PATH a command runs with: its non-empty directories joined with ':',
// then the inherited PATH (null or empty: none). Empty when PATH stays as it
// is.
std::optional<std::string> commandSearchPath(const std::vector<std::filesystem::path>& directories,
                                             const char* inherited);
