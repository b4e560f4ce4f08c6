#pragma once
// Helpers shared by the value tests: short makers for table rows, the message
// of an expected exception, and the elements a value's iteration visits.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "types/tolm_identifier.h"
#include "types/tolm_list.h"
#include "types/value_factories.h"

namespace Tolm::TestHelpers {

inline TolmValuePtr text(const char* t) { return makeStringValue(t); }
inline TolmValuePtr raw(const char* t) { return makeRawStringValue(t); }
inline TolmValuePtr num(std::int32_t n) { return makeIntValue(n); }
inline AccessKey at(std::int64_t n) { return AccessKey(n); }
inline auto listOf(std::vector<TolmValuePtr> items) { return std::make_shared<TolmList>(std::move(items)); }

inline std::shared_ptr<TolmIdentifier> ident(const std::string& t)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(t, id, error)) << t;
    return std::make_shared<TolmIdentifier>(std::move(id));
}

// The message of the exception of type E that `action` throws, or "no failure".
template <typename E, typename Action>
std::string failureMessage(Action action)
{
    try {
        action();
    } catch (const E& e) {
        if constexpr (requires { e.message(); }) return e.message();
        else return e.what();
    }
    return "no failure";
}

inline std::vector<std::string> elementTexts(const TolmValuePtr& value)
{
    std::vector<std::string> result;
    for (auto it = value->begin(), stop = value->end(); !it->equals(*stop); it->advance())
        result.push_back(it->current()->toString());
    return result;
}

}  // namespace Tolm::TestHelpers
