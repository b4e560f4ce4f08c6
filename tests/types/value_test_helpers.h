#pragma once
// Small helpers shared by the value tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "types/identifier.h"
#include "types/tolm_value.h"

namespace Tolm::TestHelpers {

inline Identifier parsedIdentifier(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error)) << text;
    return id;
}

// The message of the exception of type E that `action` throws, or "no failure".
template <typename E, typename Action>
std::string failureMessage(Action action)
{
    try {
        action();
    } catch (const E& e) {
        if constexpr (requires { e.message(); }) {
            return e.message();
        } else {
            return e.what();
        }
    }
    return "no failure";
}

// The plain texts of the elements that iterating `value` visits.
inline std::vector<std::string> elementTexts(const TolmValuePtr& value)
{
    std::vector<std::string> result;
    for (auto it = value->begin(), stop = value->end(); !it->equals(*stop); it->advance()) {
        result.push_back(it->current()->toString());
    }
    return result;
}

}  // namespace Tolm::TestHelpers
