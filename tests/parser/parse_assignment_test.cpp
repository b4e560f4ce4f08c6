#include "parser/parse_assignment.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_path_string.h"
#include "types/tolm_string.h"

namespace {

using Type = Tolm::Assignment::AssignType;

Tolm::Assignment parse(const std::string& word) { return parseAssignment(word, "."); }

// The syntax-error text of a word that must be refused.
std::string refusal(const std::string& word) {
    try {
        parse(word);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "accepted";
}

// A bare word on the right becomes text, also when dotted or indexed.
TEST(ParseAssignment, BareWordsBecomeText) {
    auto plain = parse("MODE=release");
    ASSERT_TRUE(std::dynamic_pointer_cast<Tolm::TolmString>(plain.value));
    EXPECT_FALSE(std::dynamic_pointer_cast<Tolm::TolmIdentifier>(plain.value));
    EXPECT_EQ(plain.value->toString(), "release");
    EXPECT_EQ(parse("X = a.b[2]").value->toString(), "a.b[2]");
}

// Every literal kind keeps its own value type.
TEST(ParseAssignment, LiteralKinds) {
    EXPECT_EQ(std::dynamic_pointer_cast<Tolm::TolmString>(parse(R"(CFLAGS = "-O2 -g")").value)->text, "-O2 -g");
    EXPECT_EQ(std::dynamic_pointer_cast<Tolm::TolmInt>(parse("N = 7").value)->value, 7);
    auto path = std::dynamic_pointer_cast<Tolm::TolmPathString>(parse(R"--(SRC = P"(src/*.c)")--").value);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->baseDirectory, ".");
    EXPECT_EQ(path->text, "src/*.c");
}

// Operators, modifiers and declarations.
TEST(ParseAssignment, OperatorsAndModifiers) {
    auto declared = parse("DEBUG");
    EXPECT_EQ(declared.type, Type::Declare);
    EXPECT_FALSE(declared.value);
    EXPECT_EQ(parse("X += 1").type, Type::Append);
    EXPECT_EQ(parse("X ?= 1").type, Type::SetIfEmpty);
    EXPECT_EQ(parse("^X = 1").modifier, 1u);
    EXPECT_EQ(refusal("!X = 1"), "'!' assignment modifier is not allowed in this context.");
    EXPECT_THROW(parse("X = 99999999999"), std::out_of_range);
}

// Malformed words fail with one syntax-error message.
TEST(ParseAssignment, SyntaxErrors) {
    const std::string message = "Parsing assignment failed due to syntax errors.";
    EXPECT_EQ(refusal(""), message);
    EXPECT_EQ(refusal("= 1"), message);
    EXPECT_EQ(refusal("X = [1,]"), message);
}

// Text after the first assignment is refused rather than dropped.
TEST(ParseAssignment, TrailingTextFails) {
    const std::string message = "Parsing assignment failed due to syntax errors.";
    EXPECT_EQ(refusal("x = 1 y = 2"), message);
    EXPECT_EQ(refusal("a.b = 1"), message);
    testing::internal::CaptureStderr();
    EXPECT_EQ(refusal(R"(X = "a"b")"), message);
    testing::internal::GetCapturedStderr();
}

// A character that forms no token fails instead of silently changing the value.
TEST(ParseAssignment, LexerErrorsFail) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(refusal("CFLAGS = -O2"), "Parsing assignment failed due to syntax errors.");
    EXPECT_EQ(refusal("X = 1 $"), "Parsing assignment failed due to syntax errors.");
    testing::internal::GetCapturedStderr();
}

// Only the given length is read, and malformed UTF-8 is refused up front.
TEST(ParseAssignment, InputBoundsAndEncoding) {
    const std::string buffer = "N = 12345";
    EXPECT_EQ(std::dynamic_pointer_cast<Tolm::TolmInt>(parseAssignment({buffer.data(), 6}, ".").value)->value, 12);
    try {
        parse("X = \"\xC3\x28\"");
        FAIL() << "accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "UTF-8 string contains an illegal byte sequence");
    }
}

}  // namespace
