#include "types/identifier.h"
#include "types/identifier_parser.h"
#include "types/qualified_target_name.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "support/test_support.h"

namespace Tolm {
namespace {

const auto parsed = TestSupport::parsedIdentifier;
using TestSupport::failureOf;

// Each failure records its exact message at its exact position.
TEST(Identifier, FailurePositionsAndMessages) {
    const struct {
        const char* text;
        std::uint64_t position;
        const char* message;
    } cases[] = {
        {"", 0, "Empty identifier"},           {"1abc", 0, "Invalid identifier start"},
        {"\xC3\xA9t", 0, "Invalid identifier start"}, {"a..b", 2, "Invalid identifier start"},
        {"a.", 2, "Expected identifier segment after '.'"},
        {"a[b.]", 4, "Expected identifier segment after '.'"},
        {"a[", 2, "Unexpected end inside '[]'"},
        {"a[-]", 2, "Invalid index expression inside '[]'"},
        {"a[ 1]", 2, "Invalid index expression inside '[]'"},
        {"a[b", 3, "Expected ']'"},            {"a[1.5]", 3, "Expected ']'"},
        {"a[1..-]", 5, "Expected number"},     {"a[1..", 5, "Expected number"},
    };
    for (const auto& c : cases) {
        Identifier id;
        ParseError error;
        EXPECT_FALSE(Identifier::parse(c.text, id, error)) << c.text;
        EXPECT_EQ(error.position, c.position) << c.text;
        EXPECT_EQ(error.message, c.message) << c.text;
    }
}

// Names take a hyphen after their first character, as the lexer's names do. Text after the longest
// identifier is ignored by parse (the parser's position shows where it stopped) and refused by
// parseWhole with its position.
TEST(Identifier, HyphensAndLeftoverText) {
    const struct {
        const char* text;
        const char* prefix;         // what parse reads
        std::uint64_t stop;         // where the parser stopped
        const char* wholeFailure;   // parseWhole's message, "" when it succeeds
    } cases[] = {
        {"my-var", "my-var", 6, ""},
        {"a-b-c.d-[x-1]", "a-b-c.d-[x-1]", 13, ""},
        {"my junk", "my", 2, "Unexpected character"},
        {"L[0]extra", "L[0]", 4, "Unexpected character"},
        {"a.b}", "a.b", 3, "Unexpected character"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parsed(c.text).toString(), c.prefix) << c.text;
        Identifier out;
        IdentifierParser parser(c.text);
        EXPECT_TRUE(parser.parseSegments(out));
        EXPECT_EQ(parser.position, c.stop) << c.text;
        ParseError error;
        EXPECT_EQ(Identifier::parseWhole(c.text, out, error), *c.wholeFailure == '\0') << c.text;
        EXPECT_EQ(error.message, c.wholeFailure) << c.text;
        if (*c.wholeFailure) { EXPECT_EQ(error.position, c.stop) << c.text; }
    }
    // A failure inside the identifier is reported as such, not as leftover text.
    for (auto [text, message] : {std::pair{"", "Empty identifier"}, {"a[1 x", "Expected ']'"}}) {
        Identifier out;
        ParseError error;
        EXPECT_FALSE(Identifier::parseWhole(text, out, error));
        EXPECT_EQ(error.message, message);
    }
}

// Index brackets nest up to 200 levels; one more fails at the "[" that goes too deep, and a far
// deeper text fails the same way instead of exhausting the stack.
TEST(Identifier, NestingLimit) {
    auto nested = [](std::size_t levels) {
        std::string text;
        for (std::size_t i = 0; i < levels; ++i) text += "a[";
        return text + "b" + std::string(levels, ']');
    };
    EXPECT_EQ(parsed(nested(200)).toString(), nested(200));
    EXPECT_EQ(parsed("x[0][1][2]").segments[0].indexes.size(), 3u);  // side by side is no nesting
    for (const std::size_t levels : {201u, 100000u}) {
        Identifier out;
        ParseError error;
        EXPECT_FALSE(Identifier::parse(nested(levels), out, error));
        EXPECT_EQ(error.message, "nesting deeper than 200 levels");
        EXPECT_EQ(error.position, 401u);  // the 201st "["
    }
}

// The text form is the parse syntax and parses back to an equal identifier, negative indexes included
// (as the language writes them or as large numbers wrap); numbers allow leading zeros and wrap modulo 2^64.
TEST(Identifier, TextFormRoundTrips) {
    for (const std::string text : {"a.b.c", "x[0][1..2][y.z]", "x[a[1]].Out[b.c[2..3]]", "a[-1]",
                                   "a[-9223372036854775808]", "a[-2..-1][0..-1]"}) {
        EXPECT_EQ(parsed(text).toString(), text);
        EXPECT_EQ(parsed(parsed(text).toString()), parsed(text));
    }
    EXPECT_EQ(parsed("a[007]").toString(), "a[7]");
    EXPECT_EQ(parsed("a[18446744073709551617]").toString(), "a[1]"); // 2^64 + 1
    EXPECT_EQ(parsed("a[9223372036854775808]").toString(), "a[-9223372036854775808]");
    EXPECT_EQ(parsed("a[18446744073709551615]"), parsed("a[-1]"));
    EXPECT_EQ(parsed("a[-18446744073709551615]"), parsed("a[1]"));
    EXPECT_FALSE(parsed("x[a.b]") == parsed("x[a.c]"));
    EXPECT_FALSE(parsed("x[1]") == parsed("x[1..1]"));
}

// The canonical text writes both separators; the lenient reading splits at the first "::" and "/", the
// strict one refuses empty parts. (Dependency texts show the strict reading of full names.)
TEST(QualifiedTargetNameTest, TextAndReadings)
{
    EXPECT_EQ((QualifiedTargetName{"", "lib", "app"}.toString()), "/lib::app");
    EXPECT_EQ((QualifiedTargetName{"", "", "app"}.toString()), "/::app");
    const auto parts = [](const QualifiedTargetName& n) { return n.ns + "|" + n.unit + "|" + n.target; };
    const std::pair<const char*, const char*> cases[] = {{"a::b::c", "|a|b::c"}, {"x/y/z::t", "x|y/z|t"},
        {"::app", "||app"}, {"plain/name", "||plain/name"}, {"ext/lib::app", "ext|lib|app"}, {"", "||"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(parts(QualifiedTargetName::fromString(text)), expected);
    EXPECT_EQ(parts(parseDependencyString("app")), "||app");
    EXPECT_EQ(failureOf<std::runtime_error>([] { parseDependencyString("::app"); }),
              "Dependency string has empty prefix or target: ::app");
}

}  // namespace
}  // namespace Tolm
