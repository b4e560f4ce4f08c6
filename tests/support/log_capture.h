#pragma once
// Captures what the log prints to standard output while it lives, plain (no
// colour sequences), at a chosen verbosity threshold; restores both after.

#include <gtest/gtest.h>

#include <iostream>

#include "util/log.h"

namespace TestSupport {

class LogCapture {
public:
    explicit LogCapture(int threshold) : savedVerbosity_(Log::verbosity), savedCheck_(Log::terminalCheck)
    {
        Log::verbosity = threshold;
        Log::terminalCheck = [] { return false; };
        std::cout.flush();
        testing::internal::CaptureStdout();
    }
    ~LogCapture()
    {
        text();
        Log::verbosity = savedVerbosity_;
        Log::terminalCheck = savedCheck_;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // What was printed so far; ends the capture (later calls give nothing).
    std::string text()
    {
        if (taken_) return {};
        std::cout.flush();
        taken_ = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    int savedVerbosity_;
    Log::TerminalCheck savedCheck_;
    bool taken_ = false;
};

}  // namespace TestSupport
