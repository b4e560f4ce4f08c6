#include "types/tolm_exceptions.h"

#include <gtest/gtest.h>

#include <exception>
#include <type_traits>
#include <string>
#include <vector>

using namespace Tolm;

// Every class of the family composes its exact message text; InternalError names file, line and function.
// The loop message is shown by the build scenario.
TEST(TolmExceptions, MessageTexts) {
    const std::string indexed = " cannot be indexed with ";
    const std::vector<AccessKey> keys{std::string("ctx"), std::int64_t{-4}, KeyRange{1, 2, 1},
                                      KeyPattern{"a*"}};
    const std::string reason = "Identifier part must be context.";
    const std::string file = __FILE__, function = std::source_location::current().function_name();
    const struct {
        std::string message, expected;
    } cases[] = {
        {TolmException("Build failed.").message(), "Build failed."},
        {BadOperation("Cannot append").message(), "Cannot append"},
        {NotFoundException("Variable", "OUTPUT_NAME").message(), "Variable 'OUTPUT_NAME' not found."},
        {BadConversion("int", "3", "list").message(), "Cannot convert int 3 to list"},
        {IndexException("N", AccessKey{std::int64_t{-1}}).message(), "Variable N" + indexed + "[-1]"},
        {IndexException("L", AccessKey{KeyRange{-3, 5, 2}}).message(), "Variable L" + indexed + "[-3:5:2]"},
        {IndexException("S", AccessKey{std::string("name")}).message(), "Variable S" + indexed + "name"},
        {IndexException("S", AccessKey{KeyPattern{"*.c"}}).message(), "Variable S" + indexed + "/*.c/"},
        {IdentifierError(keys, 0, reason).message(), reason + "  <<"},
        {IdentifierError(keys, 3, reason).message(), reason + " ctx.-4.1, 2, 1. <<"},
        {IdentifierError(keys, 100, reason).message(), reason + " ctx.-4.1, 2, 1.a*. <<"},
        // The default argument records the constructing statement; keep both on one line.
        {InternalError().message(), "Internal: " + file + "(" + std::to_string(__LINE__) + ") " + function},
        {AssignmentException("Attempted to modify assignment: A = 1 with A ?= 2").what(),
         "Attempted to modify assignment: A = 1 with A ?= 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.message, c.expected);
}

// AssignmentException is caught as a standard exception, the others as TolmException only.
static_assert(std::is_base_of_v<std::exception, AssignmentException>);
static_assert(!std::is_base_of_v<std::exception, TolmException>);
static_assert(std::is_base_of_v<TolmException, BadOperation> && std::is_base_of_v<TolmException, NotFoundException> &&
              std::is_base_of_v<TolmException, BadConversion> && std::is_base_of_v<TolmException, IndexException> &&
              std::is_base_of_v<TolmException, IdentifierError> && std::is_base_of_v<TolmException, InternalError> &&
              std::is_base_of_v<TolmException, LoopFoundException>);
