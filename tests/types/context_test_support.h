#pragma once
// Builders shared by the tests of assignments, contexts and targets: values
// and assignments written the way a unit file states them.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/log_capture.h"
#include "types/context_template.h"
#include "types/tolm_context.h"
#include "types/tolm_identifier.h"
#include "types/value_factories.h"

namespace Tolm::TestSupport {

using Type = Assignment::AssignType;

inline Identifier parsedIdentifier(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error)) << text;
    return id;
}
// A reference to another variable, as the bare identifier `text`.
inline TolmValuePtr ref(const std::string& text) { return std::make_shared<TolmIdentifier>(parsedIdentifier(text)); }
inline TolmValuePtr str(const std::string& text) { return makeStringValue(text); }
inline Assignment set(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
{
    return Assignment(name, std::move(value), Type::Set, modifier);
}
inline Assignment append(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
{
    return Assignment(name, std::move(value), Type::Append, modifier);
}
inline Assignment declare(const std::string& name) { return Assignment(name, nullptr, Type::Declare, 0); }
inline std::shared_ptr<TolmContext> contextValue(std::vector<Assignment> assignments)
{
    return std::make_shared<TolmContext>(ContextTemplate(std::move(assignments)).createContext());
}

// A variable's value text as stored; "<none>" without a value.
inline std::string textOf(const Context& c, const std::string& name)
{
    const Assignment& a = c.assignments.at(Util::CiString(name));
    return a.value ? a.value->toString() : "<none>";
}

// The message of what `run` raises: what() of a standard exception, message() of the program's own.
template <typename Failure, typename Run>
std::string failureText(Run run)
{
    try {
        run();
    } catch (const Failure& raised) {
        if constexpr (std::is_base_of_v<std::exception, Failure>) return raised.what();
        else return raised.message();
    }
    ADD_FAILURE() << "no failure";
    return {};
}

using ::TestSupport::LogCapture;

}  // namespace Tolm::TestSupport
