#include "parser/parse_assignment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

using ParserTest::kindOf;
using Type = Tolm::Assignment::AssignType;

// Good words give their operator, modifier and value; bare words on the right become text.
TEST(ParseAssignment, GoodWords) {
    const std::vector<std::tuple<const char*, Type, std::uint32_t, const char*, const char*>> cases = {
        {"DEBUG", Type::Declare, 0, "null", ""},
        {"MODE=release", Type::Set, 0, "string", "release"},
        {"X = a.b[2]", Type::Set, 0, "string", "a.b[2]"},
        {R"(CFLAGS += "-O2 -g")", Type::Append, 0, "string", "-O2 -g"},
        {"N ?= 7", Type::SetIfEmpty, 0, "int", "7"},
        {"^X = [1, \"b\"]", Type::Set, 1, "list", "1 b"},
        {R"--(SRC = P"(src/*.c)")--", Type::Set, 0, "path", "src/*.c"},
    };
    for (const auto& [word, type, modifier, kind, shown] : cases) {
        auto assignment = parseAssignment(word, ".");
        EXPECT_EQ(assignment.type, type) << word;
        EXPECT_EQ(assignment.modifier, modifier) << word;
        EXPECT_EQ(kindOf(assignment.value), kind) << word;
        EXPECT_EQ(assignment.value ? assignment.value->toString() : "", shown) << word;
    }
    auto path = std::dynamic_pointer_cast<Tolm::TolmPathString>(parseAssignment(R"--(S = P"(a)")--", ".").value);
    EXPECT_EQ(path->baseDirectory, ".");
    // Only the given length is read.
    const std::string buffer = "N = 12345";
    EXPECT_EQ(parseAssignment({buffer.data(), 6}, ".").value->toString(), "12");
}

// Bad words fail as a whole; lexer errors, trailing text and malformed UTF-8 are not skipped.
TEST(ParseAssignment, BadWords) {
    const std::string syntax = "Parsing assignment failed due to syntax errors.";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", syntax}, {"= 1", syntax}, {"X = [1,]", syntax}, {"x = 1 y = 2", syntax}, {"a.b = 1", syntax},
        {R"(X = "a"b")", syntax}, {"CFLAGS = -O2", syntax}, {"X = 1 $", syntax},
        {"!X = 1", "'!' assignment modifier is not allowed in this context."},
        {"X = \"\xC3\x28\"", "UTF-8 string contains an illegal byte sequence"},
    };
    testing::internal::CaptureStderr();
    for (const auto& [word, message] : cases)
        EXPECT_EQ(ParserTest::failureOf([&word = word] { parseAssignment(word, "."); }), message) << word;
    testing::internal::GetCapturedStderr();
}

}  // namespace
