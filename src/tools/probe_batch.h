#pragma once
// Asking programs questions: run a probe with an argument text and keep what
// it prints on standard output and how it exits.
//
// A search asks many questions; a ProbeBatch asks them all at once, up to
// the probe limit, and hands each answer to a callback on the calling
// thread. A question that depends on an earlier answer is asked from that
// answer's callback, so it follows the answer it needs while every other
// question runs. The callbacks fill in what the search later reads in its
// own order, so results never depend on which probe ends first.
//
// Probes are argument vectors run without a shell (probe_process.h), with
// standard input from /dev/null and standard error discarded.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "tools/probe_process.h"

struct CommandOutput {
    // Standard output without leading and trailing blanks, tabs, CRs and LFs.
    std::filesystem::path output;
    // The exit code 0..255 of a normal exit; -1 otherwise.
    std::int32_t exitStatus = -1;
};

// How many probe programs run at once: the processor count (at least two),
// unless a test has set another (0 brings that back). Returns the old one.
std::size_t setProbeLimit(std::size_t limit);

class ProbeBatch {
public:
    using Answer = std::function<void(const CommandOutput&)>;

    ProbeBatch();

    // Runs the executable with the blank-separated words of `arguments`;
    // `then` gets the answer during run(). An answer the current
    // ProbeAnswerScope already holds reaches `then` at once.
    void ask(const std::filesystem::path& executable, const std::string& arguments, Answer then);

    // Returns once every question, also those asked by the callbacks, is
    // answered.
    void run();

private:
    ProcessGroup processes_;
};

// One question, asked and answered on its own.
CommandOutput captureCommandOutput(const std::filesystem::path& executable, const std::string& arguments);

// One tool set-up may ask a program the same question twice: the search
// probes /usr/bin/gcc, and the choice of the machine's own toolchain asks it
// for its machine again. While a scope lives, the probes of its thread run
// each executable (as written) with each argument text once and give the
// first answer again. A scope inside another shares its answers.
class ProbeAnswerScope {
public:
    ProbeAnswerScope();
    ~ProbeAnswerScope();
    ProbeAnswerScope(const ProbeAnswerScope&) = delete;
    ProbeAnswerScope& operator=(const ProbeAnswerScope&) = delete;

private:
    bool outermost_;
};
