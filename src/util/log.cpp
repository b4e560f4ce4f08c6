#include "util/log.h"

#include <cstdio>
#include <iostream>
#include <sched.h>
#include <unistd.h>
#include <utility>

namespace Log {

int verbosity = 5;
const std::uint32_t levelColours[7] = {35, 33, 36, 208, 37, 33, 31};
std::string indent;
std::atomic<unsigned char> outputLock{0};

namespace {

// Set from the state of std::cout and stdout after each write under the lock.
std::atomic<bool> outputLost{false};

// Call with outputLock held. A synced std::cout writes through stdout, so a
// failed write shows in either.
void noteOutputState()
{
    outputLost.store(!std::cout.good() || std::ferror(stdout) != 0, std::memory_order_relaxed);
}

bool isattyStdout()
{
    return isatty(fileno(stdout)) != 0;
}

} // namespace

TerminalCheck terminalCheck = &isattyStdout;

void lockOutput() noexcept
{
    while (outputLock.exchange(1, std::memory_order_seq_cst) == 1) sched_yield();
}

void unlockOutput() noexcept
{
    outputLock.store(0, std::memory_order_seq_cst);
}

bool stdoutIsTerminal()
{
    return terminalCheck ? terminalCheck() : false;
}

std::uint32_t colourOfLevel(int level) noexcept
{
    if (level >= 1 && level <= 7) return levelColours[level - 1];
    return 37;
}

std::string colourSequence(std::uint32_t colour)
{
    if (colour == 208) return "\x1b[38;5;208m";
    return "\x1b[" + std::to_string(colour) + "m";
}

std::string applyIndent(std::string_view text)
{
    if (indent.empty() || text.empty()) return std::string(text);
    std::string result;
    result.reserve(indent.size() + text.size());
    bool lineStart = true;
    for (char c : text) {
        if (lineStart) result += indent;
        result += c;
        lineStart = (c == '\n');
    }
    return result;
}

namespace {

// Writes one formatted message; the caller holds outputLock.
void writeLocked(std::uint32_t colour, std::string_view text)
{
    const std::string prefixed = applyIndent(text);
    if (stdoutIsTerminal()) {
        std::cout << colourSequence(colour) << prefixed << resetSequence;
    } else {
        std::cout << prefixed;
    }
    noteOutputState();
}

} // namespace

bool outputFailed() noexcept
{
    return outputLost.load(std::memory_order_relaxed);
}

bool flush()
{
    OutputLockGuard guard;
    std::cout.flush();
    noteOutputState();
    return !outputFailed();
}

void vprintColoured(std::uint32_t colour, fmt::string_view format, fmt::format_args args)
{
    OutputLockGuard guard;
    const std::string text = fmt::vformat(format, args);
    writeLocked(colour, text);
}

IndentGuard::IndentGuard(std::string newIndent)
{
    OutputLockGuard guard;
    saved_ = std::move(indent);
    indent = std::move(newIndent);
}

IndentGuard::~IndentGuard()
{
    OutputLockGuard guard;
    indent = std::move(saved_);
}

} // namespace Log
