#include "util/log.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

bool pretendTerminal() { return true; }
bool pretendPipe() { return false; }

// Captures std::cout and restores every piece of process-wide log state.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedBuffer_ = std::cout.rdbuf(captured_.rdbuf());
        savedVerbosity_ = Log::verbosity;
        savedCheck_ = Log::terminalCheck;
        Log::terminalCheck = &pretendPipe;
        Log::verbosity = 5;
        Log::indent.clear();
    }
    void TearDown() override
    {
        std::cout.rdbuf(savedBuffer_);
        Log::verbosity = savedVerbosity_;
        Log::terminalCheck = savedCheck_;
        Log::indent.clear();
    }
    std::string output() const { return captured_.str(); }

    std::ostringstream captured_;
    Log::TerminalCheck savedCheck_ = nullptr;

private:
    std::streambuf* savedBuffer_ = nullptr;
    int savedVerbosity_ = 5;
};

} // namespace

// At the initial threshold 5, levels 1 to 4 print nothing and 5 to 7 print.
TEST_F(LogTest, DefaultThresholdHidesDetail)
{
    for (int level = 1; level <= 7; ++level) Log::log(level, "L{} ", level);
    EXPECT_EQ(output(), "L5 L6 L7 ");
}

// Threshold 3 shows 3..7; threshold 0 shows level 0; level 8 shows when 8 >= threshold.
TEST_F(LogTest, ThresholdFollowsVerbosity)
{
    Log::verbosity = 3;
    for (int level = 0; level <= 8; ++level) Log::log(level, "{}", level);
    EXPECT_EQ(output(), "345678");

    captured_.str("");
    Log::verbosity = 0;
    Log::log(0, "zero");
    Log::log(-1, "negative");
    EXPECT_EQ(output(), "zero");

    captured_.str("");
    Log::verbosity = 9;
    Log::log(8, "eight");
    Log::log(LogLevel::Error, "error");
    EXPECT_EQ(output(), "");
}

// A hidden message is not even formatted: a bad format string below the threshold is harmless.
TEST_F(LogTest, HiddenMessageIsNotFormatted)
{
    EXPECT_NO_THROW(Log::log(LogLevel::Trace, fmt::runtime("{"), 1));
    EXPECT_EQ(output(), "");
}

// Each level's colour sequence, the 256-colour form for 208, and the reset after the text.
TEST_F(LogTest, TerminalGetsColourSequences)
{
    Log::terminalCheck = &pretendTerminal;
    Log::verbosity = -5;
    const char* expected[] = {
        "\x1b[37mx\x1b[0m",       // 0: any other level
        "\x1b[35mx\x1b[0m",       // 1 Trace
        "\x1b[33mx\x1b[0m",       // 2 Debug
        "\x1b[36mx\x1b[0m",       // 3 Verbose
        "\x1b[38;5;208mx\x1b[0m", // 4 Detail
        "\x1b[37mx\x1b[0m",       // 5 Info
        "\x1b[33mx\x1b[0m",       // 6 Warning
        "\x1b[31mx\x1b[0m",       // 7 Error
        "\x1b[37mx\x1b[0m",       // 8
    };
    for (int level = 0; level <= 8; ++level) {
        captured_.str("");
        Log::log(level, "x");
        EXPECT_EQ(output(), expected[level]) << "level " << level;
    }
    captured_.str("");
    Log::log(-3, "x");
    EXPECT_EQ(output(), "\x1b[37mx\x1b[0m");
}

// printColoured skips the level test and uses the colour it is given.
TEST_F(LogTest, PrintColouredIgnoresThreshold)
{
    Log::verbosity = 100;
    Log::printColoured(35, "Resolving variables.\n");
    EXPECT_EQ(output(), "Resolving variables.\n");

    captured_.str("");
    Log::terminalCheck = &pretendTerminal;
    Log::printColoured(208, "Visiting {}\n", std::string("app"));
    EXPECT_EQ(output(), "\x1b[38;5;208mVisiting app\n\x1b[0m");
}

// A redirected stdout gets the text alone; an empty message writes nothing on a pipe.
TEST_F(LogTest, PipeGetsPlainTextAndEmptyMessages)
{
    Log::log(LogLevel::Error, "Error: {}\n", "boom");
    EXPECT_EQ(output(), "Error: boom\n");
    EXPECT_EQ(output().find('\x1b'), std::string::npos);

    captured_.str("");
    Log::log(LogLevel::Info, "");
    EXPECT_EQ(output(), "");

    Log::terminalCheck = &pretendTerminal;
    Log::log(LogLevel::Info, "");
    EXPECT_EQ(output(), "\x1b[37m\x1b[0m");
}

// The terminal check is asked anew for every message.
TEST_F(LogTest, TerminalCheckedPerMessage)
{
    Log::log(LogLevel::Info, "a");
    Log::terminalCheck = &pretendTerminal;
    Log::log(LogLevel::Info, "b");
    Log::terminalCheck = &pretendPipe;
    Log::log(LogLevel::Info, "c");
    EXPECT_EQ(output(), "a\x1b[37mb\x1b[0mc");
}

// The default check answers as isatty on standard output does.
TEST_F(LogTest, DefaultTerminalCheckUsesIsatty)
{
    Log::terminalCheck = savedCheck_;
    EXPECT_EQ(Log::stdoutIsTerminal(), isatty(fileno(stdout)) != 0);
}

// Formats std::string, string views, character strings, numbers and literal braces.
TEST_F(LogTest, FormatsArguments)
{
    std::string text = "core";
    std::string_view view = "util";
    Log::log(LogLevel::Info, "{} {} {} {} {{x}}\n", text, view, "lib", 42);
    EXPECT_EQ(output(), "core util lib 42 {x}\n");
}

// The prefix goes before the first byte and after each inner line feed, not after the last one.
TEST_F(LogTest, IndentPrefixesEveryLine)
{
    Log::IndentGuard guard("[app] ");
    Log::log(LogLevel::Info, "first\nsecond\n");
    EXPECT_EQ(output(), "[app] first\n[app] second\n");

    captured_.str("");
    Log::log(LogLevel::Info, "a\n\nb");
    EXPECT_EQ(output(), "[app] a\n[app] \n[app] b");

    captured_.str("");
    Log::terminalCheck = &pretendTerminal;
    Log::log(LogLevel::Warning, "w\n");
    EXPECT_EQ(output(), "\x1b[33m[app] w\n\x1b[0m");
}

// applyIndent leaves the text alone when the prefix or the text is empty.
TEST_F(LogTest, ApplyIndentEdgeCases)
{
    EXPECT_EQ(Log::applyIndent("a\nb"), "a\nb");
    Log::indent = "> ";
    EXPECT_EQ(Log::applyIndent(""), "");
    EXPECT_EQ(Log::applyIndent("\n"), "> \n");
    EXPECT_EQ(Log::applyIndent("\n\n"), "> \n> \n");
    EXPECT_EQ(Log::applyIndent("x"), "> x");
}

// Guards nest and each restores the prefix it replaced, also when an exception passes.
TEST_F(LogTest, IndentGuardsNestAndUnwind)
{
    {
        Log::IndentGuard outer("[a] ");
        EXPECT_EQ(Log::indent, "[a] ");
        try {
            Log::IndentGuard inner("[b] ");
            EXPECT_EQ(Log::indent, "[b] ");
            throw std::runtime_error("walk failed");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(Log::indent, "[a] ");
    }
    EXPECT_EQ(Log::indent, "");
    EXPECT_EQ(Log::outputLock.load(), 0);
}

// A format call that throws frees the lock, so later messages still print.
TEST_F(LogTest, ThrowingFormatReleasesLock)
{
    EXPECT_THROW(Log::log(LogLevel::Error, fmt::runtime("{} {}"), 1), fmt::format_error);
    EXPECT_EQ(Log::outputLock.load(), 0);
    EXPECT_THROW(Log::printColoured(31, fmt::runtime("{"), 1), fmt::format_error);
    EXPECT_EQ(Log::outputLock.load(), 0);
    Log::log(LogLevel::Error, "still here\n");
    EXPECT_EQ(output(), "still here\n");
}

// Messages from several threads never mix within a message.
TEST_F(LogTest, ThreadsDoNotInterleave)
{
    constexpr int threads = 6;
    constexpr int perThread = 200;
    const std::string body(40, '#');
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &body] {
            for (int i = 0; i < perThread; ++i) Log::log(LogLevel::Info, "<{}:{}>\n", t, body);
        });
    }
    for (auto& worker : workers) worker.join();

    std::istringstream lines(output());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.size(), body.size() + 4) << line;
        EXPECT_EQ(line.front(), '<');
        EXPECT_EQ(line.substr(3), body + ">");
        ++count;
    }
    EXPECT_EQ(count, threads * perThread);
    EXPECT_EQ(Log::outputLock.load(), 0);
}
