#pragma once
// Shared pieces of the text-expansion tests: a resolver over a plain name
// table, builders of text values and a capture of the log.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"
#include "util/ci_string.h"
#include "util/log.h"

namespace ExpansionTest {

// Looks names up in a table and hands the stored values back unresolved, so
// the expansion's own guard is what stops a self-reference.
class MapResolver : public Tolm::Resolver {
public:
    Tolm::TolmValuePtr lookup(const Tolm::Identifier& identifier) override
    {
        const auto found = values.find(Util::CiString(identifier.toString()));
        if (found == values.end()) throw Tolm::NotFoundException("Assignment", identifier.toString());
        return found->second;
    }

    void set(const std::string& name, Tolm::TolmValuePtr value) { values[Util::CiString(name)] = std::move(value); }
    void setText(const std::string& name, const std::string& text) { set(name, Tolm::makeStringValue(text)); }
    void setList(const std::string& name, const std::vector<std::string>& items)
    {
        std::vector<Tolm::TolmValuePtr> values;
        for (const auto& item : items)
            values.push_back(Tolm::makeStringValue(item));
        set(name, Tolm::makeListValue(std::move(values)));
    }

    std::map<Util::CiString, Tolm::TolmValuePtr> values;
};

// The texts of a result: each item of a list, else the one text.
inline std::vector<std::string> textsOf(const Tolm::TolmValuePtr& value)
{
    std::vector<std::string> texts;
    if (const auto* list = dynamic_cast<const Tolm::TolmList*>(value.get())) {
        for (const auto& item : list->items())
            texts.push_back(item->toString());
    } else {
        texts.push_back(value->toString());
    }
    return texts;
}

// The message of the TolmException that `action` throws; fails the test
// when it throws none.
template <typename Action>
std::string tolmFailure(Action&& action)
{
    try {
        action();
    } catch (const Tolm::TolmException& failure) {
        return failure.message();
    }
    ADD_FAILURE() << "no TolmException thrown";
    return {};
}

// Collects what the log prints at the default threshold, uncoloured.
class LogCapture {
public:
    LogCapture() : savedVerbosity_(Log::verbosity), savedCheck_(Log::terminalCheck)
    {
        Log::verbosity = 5;
        Log::terminalCheck = [] { return false; };
        testing::internal::CaptureStdout();
    }
    ~LogCapture()
    {
        if (!taken_) testing::internal::GetCapturedStdout();
        Log::verbosity = savedVerbosity_;
        Log::terminalCheck = savedCheck_;
    }
    std::string take()
    {
        taken_ = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    int savedVerbosity_;
    Log::TerminalCheck savedCheck_;
    bool taken_ = false;
};

}  // namespace ExpansionTest
