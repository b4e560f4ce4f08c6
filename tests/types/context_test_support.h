#pragma once
// Small builders shared by the tests of assignments, contexts and targets:
// values and assignments written the way a unit file would state them.

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <string>

#include "types/assignment.h"
#include "types/identifier.h"
#include "types/tolm_identifier.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace Tolm::TestSupport {

using Type = Assignment::AssignType;

inline Identifier parsedIdentifier(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error)) << text;
    return id;
}

// The bare identifier `text` as a value (a reference to another variable).
inline TolmValuePtr ref(const std::string& text)
{
    return std::make_shared<TolmIdentifier>(parsedIdentifier(text));
}

inline TolmValuePtr str(const std::string& text)
{
    return makeStringValue(text);
}

inline Assignment set(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
{
    return Assignment(name, std::move(value), Type::Set, modifier);
}

inline Assignment append(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
{
    return Assignment(name, std::move(value), Type::Append, modifier);
}

// Collects what the log prints to standard output while it lives, plain
// (no colour sequences), at the given verbosity threshold.
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
        if (!taken_) text();
        Log::verbosity = savedVerbosity_;
        Log::terminalCheck = savedCheck_;
    }
    std::string text()
    {
        std::cout.flush();
        taken_ = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    int savedVerbosity_;
    Log::TerminalCheck savedCheck_;
    bool taken_ = false;
};

}  // namespace Tolm::TestSupport
