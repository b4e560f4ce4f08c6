#include "util/log.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Captures std::cout, starts as a pipe at threshold 5 and restores the process-wide log state.
class LogTest : public ::testing::Test {
protected:
    LogTest() { Log::terminalCheck = [] { return false; }, Log::verbosity = 5; }
    ~LogTest() override {
        std::cout.rdbuf(savedBuffer_);
        // The note of a failed output follows the stream again.
        Log::flush();
        Log::verbosity = savedVerbosity_;
        Log::terminalCheck = savedCheck_;
    }
    static void pretendTerminal() { Log::terminalCheck = [] { return true; }; }
    // The output so far; the capture starts afresh.
    std::string take() {
        std::string text = captured_.str();
        captured_.str("");
        return text;
    }

private:
    std::ostringstream captured_;
    std::streambuf* savedBuffer_ = std::cout.rdbuf(captured_.rdbuf());
    int savedVerbosity_ = Log::verbosity;
    Log::TerminalCheck savedCheck_ = Log::terminalCheck;
};

} // namespace

// A message prints exactly when its level reaches the threshold, levels 0 and 8 included; a hidden
// message is not even formatted.
TEST_F(LogTest, ThresholdDecidesWhatPrints) {
    for (auto [threshold, shown] : {std::pair{5, "5678"}, {0, "012345678"}, {9, ""}}) {
        Log::verbosity = threshold;
        for (int level = -1; level <= 8; ++level) Log::log(level, "{}", level);
        EXPECT_EQ(take(), shown) << "threshold " << threshold;
    }
    EXPECT_NO_THROW(Log::log(LogLevel::Trace, fmt::runtime("{"), 1));
}

// A terminal gets the level's colour (256-colour form for 208; levels outside 0 to 7 white) and the
// reset, also around an empty message; a pipe the text alone.
TEST_F(LogTest, ColoursOnTerminalOnly) {
    Log::verbosity = -5;
    Log::log(LogLevel::Error, "Error: {}\n", "boom");
    Log::log(LogLevel::Info, "");
    EXPECT_EQ(take(), "Error: boom\n");
    pretendTerminal();
    for (auto [level, colour] : {std::pair{-1, "37"}, {1, "35"}, {4, "38;5;208"}, {7, "31"}, {8, "37"}}) {
        Log::log(level, "x");
        EXPECT_EQ(take(), fmt::format("\x1b[{}mx\x1b[0m", colour)) << "level " << level;
    }
    Log::log(LogLevel::Info, "");
    EXPECT_EQ(take(), "\x1b[37m\x1b[0m");
}

// The prefix goes before the first byte and after each inner line feed, not after the last one;
// guards nest and put back the prefix they replaced, also when an exception passes.
TEST_F(LogTest, IndentPrefixesEveryLine) {
    try {
        Log::IndentGuard outer("[a] ");
        Log::IndentGuard guard("[app] ");
        Log::log(LogLevel::Info, "a\n\nb");
        EXPECT_EQ(take(), "[app] a\n[app] \n[app] b");
        pretendTerminal();
        Log::log(LogLevel::Warning, "w\n");
        EXPECT_EQ(take(), "\x1b[33m[app] w\n\x1b[0m");
        throw std::runtime_error("walk failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Log::indent, "");
    Log::IndentGuard outer("[a] ");
    { Log::IndentGuard inner("[b] "); }
    EXPECT_EQ(Log::indent, "[a] ");
}

// A format call that throws frees the lock, so later messages still print.
TEST_F(LogTest, ThrowingFormatReleasesLock) {
    EXPECT_THROW(Log::log(LogLevel::Error, fmt::runtime("{} {}"), 1), fmt::format_error);
    EXPECT_THROW(Log::printColoured(31, fmt::runtime("{"), 1), fmt::format_error);
    Log::log(LogLevel::Error, "still here\n");
    EXPECT_EQ(take(), "still here\n");
}

// Messages from several threads never mix within a message.
TEST_F(LogTest, ThreadsDoNotInterleave) {
    const std::string body(40, '#');
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t)
        workers.emplace_back([t, &body] {
            for (int i = 0; i < 200; ++i) Log::log(LogLevel::Info, "<{}:{}>\n", t, body);
        });
    for (auto& worker : workers) worker.join();
    std::istringstream lines(take());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) ASSERT_EQ(line.substr(2), ":" + body + ">");
    EXPECT_EQ(count, 6 * 200);
}

// Output that fails, in a write or only in the flush, is noted for the build's stop points, and
// the flush says so; the note follows the stream, so one that works again clears it.
TEST_F(LogTest, NotesFailedOutput) {
    struct Refusing : std::streambuf {
        explicit Refusing(bool writes) : refusesWrites(writes) {}
        int overflow(int c) override { return refusesWrites ? traits_type::eof() : c; }
        int sync() override { return -1; }
        bool refusesWrites;
    };
    for (const bool refusesWrites : {true, false}) {
        Refusing refusing(refusesWrites);
        std::streambuf* const working = std::cout.rdbuf(&refusing);
        Log::log(LogLevel::Info, "line\n");
        EXPECT_EQ(Log::outputFailed(), refusesWrites);
        EXPECT_FALSE(Log::flush());
        EXPECT_TRUE(Log::outputFailed());
        std::cout.rdbuf(working);
        EXPECT_TRUE(Log::flush());
        EXPECT_FALSE(Log::outputFailed());
    }
}
