#pragma once
// Shared pieces of the expansion tests: a resolver over a name table, results
// and failures written as short texts, and a scratch directory.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"
#include "util/ci_string.h"

namespace ExpansionTest {

// Hands stored values back unresolved, so the expansion's own guard is what
// stops a self-reference.
struct MapResolver : Tolm::Resolver {
    Tolm::TolmValuePtr lookup(const Tolm::Identifier& identifier) override
    {
        const auto found = values.find(Util::CiString(identifier.toString()));
        if (found == values.end()) throw Tolm::NotFoundException("Assignment", identifier.toString());
        return found->second;
    }
    void setText(const std::string& name, const std::string& text) { values[name] = Tolm::makeStringValue(text); }
    void setList(const std::string& name, const std::vector<std::string>& items)
    {
        values[name] = Tolm::makeListValue({});
        for (const auto& item : items)
            values[name]->append(*Tolm::makeStringValue(item));
    }
    std::map<Util::CiString, Tolm::TolmValuePtr> values;
};

// A result as the tests write it: a text as is, a list as "[a|b]".
inline std::string shown(const Tolm::TolmValuePtr& value)
{
    const auto* list = dynamic_cast<const Tolm::TolmList*>(value.get());
    if (!list) return value->toString();
    std::string text;
    for (const auto& item : list->items())
        text += "|" + item->toString();
    return "[" + (text.empty() ? text : text.substr(1)) + "]";
}

// What `action` gives, or "!" and a TolmException's message, or "!cycle: "
// and the name a std::out_of_range carries.
template <typename Action>
std::string outcome(Action&& action)
{
    try {
        return action();
    } catch (const Tolm::TolmException& failure) {
        return "!" + failure.message();
    } catch (const std::out_of_range& cycle) {
        return std::string("!cycle: ") + cycle.what();
    }
}

// A fresh directory named after the running test, removed when it ends.
struct ScratchDir {
    ScratchDir()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("tolm_" + std::to_string(::getpid()) + "_" + test->test_suite_name() + "_" + test->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    ~ScratchDir() { std::filesystem::remove_all(root); }
    void touch(const std::filesystem::path& relative) const
    {
        std::filesystem::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << "x";
    }
    std::filesystem::path root;
};

}  // namespace ExpansionTest
