#pragma once
// Helpers shared by the tests: values and assignments written the way a unit
// file states them, a file's bytes, the message of an expected failure, and a
// capture of what the log prints.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "types/context_template.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_list.h"
#include "types/unit.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace TestSupport {

using Tolm::TolmValuePtr;
using Type = Tolm::Assignment::AssignType;

inline Tolm::Identifier parsedIdentifier(const std::string& text)
{
    Tolm::Identifier id;
    Tolm::ParseError error;
    EXPECT_TRUE(Tolm::Identifier::parse(text, id, error)) << text << ": " << error.message;
    return id;
}
// A reference to another variable, as the bare identifier `text`.
inline std::shared_ptr<Tolm::TolmIdentifier> ref(const std::string& text)
{
    return std::make_shared<Tolm::TolmIdentifier>(parsedIdentifier(text));
}
inline TolmValuePtr str(const std::string& text) { return Tolm::makeStringValue(text); }
inline TolmValuePtr raw(const std::string& text) { return Tolm::makeRawStringValue(text); }
inline TolmValuePtr num(std::int32_t n) { return Tolm::makeIntValue(n); }
inline Tolm::AccessKey at(std::int64_t n) { return Tolm::AccessKey(n); }
inline auto listOf(std::vector<TolmValuePtr> items) { return std::make_shared<Tolm::TolmList>(std::move(items)); }

inline Tolm::Assignment set(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
{
    return Tolm::Assignment(name, std::move(value), Type::Set, modifier);
}
inline Tolm::Assignment append(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
{
    return Tolm::Assignment(name, std::move(value), Type::Append, modifier);
}
inline Tolm::Assignment declare(const std::string& name) { return Tolm::Assignment(name, nullptr, Type::Declare, 0); }
inline std::shared_ptr<Tolm::TolmContext> contextValue(std::vector<Tolm::Assignment> assignments)
{
    return std::make_shared<Tolm::TolmContext>(Tolm::ContextTemplate(std::move(assignments)).createContext());
}

// A unit holding empty targets of the given names, the first its main target.
inline std::shared_ptr<Tolm::Unit> unitWith(const std::string& name, const std::vector<std::string>& targets)
{
    auto unit = std::make_shared<Tolm::Unit>();
    unit->name = name;
    for (const std::string& target : targets) {
        Tolm::Target made;
        made.name = {"", name, target};
        unit->addTarget(std::move(made));
    }
    return unit;
}

// A variable's value text as stored; "<none>" without a value.
inline std::string textOf(const Tolm::Context& c, const std::string& name)
{
    const Tolm::Assignment& a = c.assignments.at(Util::CiString(name));
    return a.value ? a.value->toString() : "<none>";
}

// The texts a value's iteration visits.
inline std::vector<std::string> elementTexts(const TolmValuePtr& value)
{
    std::vector<std::string> result;
    for (auto it = value->begin(), stop = value->end(); !it->equals(*stop); it->advance())
        result.push_back(it->current()->toString());
    return result;
}

// A file's bytes, exactly as stored; empty when it can't be read.
inline std::string contentOf(const std::filesystem::path& file)
{
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

// The message of the E that `run` throws (message() of the program's own
// failures, what() of standard ones), or "no failure". Without E, any failure.
template <typename E = void, typename Run>
std::string failureOf(Run run)
{
    using Caught = std::conditional_t<std::is_void_v<E>, Tolm::TolmException, E>;
    try {
        run();
    } catch (const Caught& e) {
        if constexpr (requires { e.message(); }) return e.message();
        else return e.what();
    } catch (const std::exception& e) {
        if constexpr (!std::is_void_v<E>) throw;
        return e.what();
    }
    return "no failure";
}

// Captures what the log prints to standard output while it lives, plain (no
// colour sequences), at a chosen verbosity threshold; restores both after.
class LogCapture {
public:
    explicit LogCapture(int threshold)
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
    int savedVerbosity_ = Log::verbosity;
    Log::TerminalCheck savedCheck_ = Log::terminalCheck;
    bool taken_ = false;
};

}  // namespace TestSupport
