#pragma once

// What each fuzz target does with one input, shared by the libFuzzer
// binaries (fuzz_main.cpp) and by the test suite, which replays every input
// under fuzz/regressions/<target>/ so that a fixed fault stays fixed.
//
// A check feeds the input to one entry point of the front end or the core
// model. Failures that the program reports to its user (its own exceptions,
// standard exceptions with a message) are expected and swallowed. A broken
// property (a round trip that changes the data) or a failure that only a
// fault can cause (an internal error, a bad cast, a null dereference caught
// as an exception) throws Finding. Crashes, sanitizer reports, hangs and
// memory blowups are for libFuzzer to notice.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace FuzzChecks {

struct Finding : std::logic_error {
    using std::logic_error::logic_error;
};

struct Target {
    const char* name;
    void (*check)(std::string_view input);
};

// Every target, by the name scripts/fuzz and fuzz/regressions use.
const std::vector<Target>& targets();

// The target of that name, or null.
const Target* findTarget(std::string_view name);

// Quiets the log and the parser's console messages for the life of the
// process: fuzzing prints nothing but its findings.
void silenceOutput();

}  // namespace FuzzChecks
