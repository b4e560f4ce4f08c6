#pragma once
// The console log.
//
// Every message goes to std::cout under one process-wide spin lock, so build
// jobs on worker threads never interleave within a message. A message is shown
// when its level is at least Log::verbosity; on a terminal it is wrapped in the
// colour of its level and the reset sequence. Every line gets the prefix
// Log::indent, which names the target being walked; the same lock guards it.
//
// Formatting uses {fmt} (std::format syntax). log and printColoured are thin
// templates over vprintColoured, which does the work under the lock.
//
// Output that never reached its reader (a closed pipe, a full disk) is noted
// at every message and flush, so the build can stop at once without asking
// the stream itself, which the writing threads use under the lock.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace Log {

// The levels callers pass; any other integer is accepted as a level too.
enum LogLevel : int {
    Trace = 1,
    Debug = 2,
    Verbose = 3,
    Detail = 4,
    Info = 5, // normal output
    Warning = 6,
    Error = 7,
};

// Threshold: a message of level L is shown exactly when L >= verbosity.
// Set once by the command-line parse; read without the lock.
extern int verbosity;

// Colours of levels 1 to 7; every other level uses 37.
extern const std::uint32_t levelColours[7];

// The line prefix; read and changed only with outputLock held.
extern std::string indent;

// The console spin lock: 1 while some thread writes or changes the prefix.
extern std::atomic<unsigned char> outputLock;

// Acquire: exchange the flag with 1, yielding the processor until it was 0.
void lockOutput() noexcept;
// Release: store 0.
void unlockOutput() noexcept;

// Holds outputLock for its lifetime, so a throwing format call cannot leave
// the lock taken.
class OutputLockGuard {
public:
    OutputLockGuard() noexcept { lockOutput(); }
    ~OutputLockGuard() { unlockOutput(); }
    OutputLockGuard(const OutputLockGuard&) = delete;
    OutputLockGuard& operator=(const OutputLockGuard&) = delete;
};

// Whether the console output has failed, as of the last message or flush.
// Read without the lock, at no cost.
bool outputFailed() noexcept;

// Writes what std::cout holds to standard output now, under outputLock, and
// notes whether that worked; false when the output has failed.
bool flush();

// Whether standard output is a terminal, asked anew for every message.
bool stdoutIsTerminal();

// Test seam: the check stdoutIsTerminal uses (isatty of stdout by default).
using TerminalCheck = bool (*)();
extern TerminalCheck terminalCheck;

// The colour of a level: levelColours[L-1] for 1 <= L <= 7, else 37.
std::uint32_t colourOfLevel(int level) noexcept;

// The escape sequence written before a message of that colour: ESC[Nm, or the
// 256-colour form ESC[38;5;208m for 208.
std::string colourSequence(std::uint32_t colour);

// The reset sequence written after a coloured message.
inline constexpr std::string_view resetSequence = "\x1b[0m";

// A copy of text with indent before its first byte and after every line feed
// that more text follows. Call with outputLock held.
std::string applyIndent(std::string_view text);

// Formats, prefixes and writes one message in the given colour, all under
// outputLock. Format errors propagate (fmt::format_error) with the lock freed.
void vprintColoured(std::uint32_t colour, fmt::string_view format, fmt::format_args args);

template <typename... Args>
void printColoured(std::uint32_t colour, fmt::format_string<Args...> format, Args&&... args)
{
    vprintColoured(colour, format, fmt::make_format_args(args...));
}

template <typename... Args>
void log(int level, fmt::format_string<Args...> format, Args&&... args)
{
    // The level test comes first: a hidden message costs one comparison.
    if (verbosity > level) return;
    vprintColoured(colourOfLevel(level), format, fmt::make_format_args(args...));
}

// Replaces the prefix for its lifetime and puts the previous one back on
// destruction (also during unwinding). Guards nest.
class IndentGuard {
public:
    explicit IndentGuard(std::string newIndent);
    ~IndentGuard();
    IndentGuard(const IndentGuard&) = delete;
    IndentGuard& operator=(const IndentGuard&) = delete;

private:
    std::string saved_;
};

} // namespace Log

// Callers write LogLevel::Info.
using LogLevel = Log::LogLevel;
