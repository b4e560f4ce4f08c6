#include "types/identifier.h"
#include "types/identifier_parser.h"

#include <gtest/gtest.h>

#include <string>

using Tolm::Identifier;
using Tolm::IndexRange;
using Tolm::ParseError;

namespace {

Identifier parsed(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error)) << text << ": " << error.message;
    return id;
}

// Parses text expecting failure and returns "position: message".
std::string failure(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_FALSE(Identifier::parse(text, id, error)) << text;
    return std::to_string(error.position) + ": " + error.message;
}

} // namespace

// Plain and dotted names become one segment per part, case kept.
TEST(Identifier, DottedNames)
{
    const Identifier single = parsed("a");
    ASSERT_EQ(single.segments.size(), 1u);
    EXPECT_EQ(single.segments[0].name, "a");
    EXPECT_TRUE(single.segments[0].indexes.empty());

    const Identifier dotted = parsed("Core.Inner_2._x");
    ASSERT_EQ(dotted.segments.size(), 3u);
    EXPECT_EQ(dotted.segments[0].name, "Core");
    EXPECT_EQ(dotted.segments[1].name, "Inner_2");
    EXPECT_EQ(dotted.segments[2].name, "_x");
}

// Each index kind: integer, range, nested identifier, in written order.
TEST(Identifier, IndexKinds)
{
    const Identifier integerId = parsed("x[3]");
    const auto& integer = integerId.segments[0].indexes;
    ASSERT_EQ(integer.size(), 1u);
    EXPECT_EQ(std::get<Tolm::IntegerIndex>(integer[0]), 3);

    const Identifier rangeId = parsed("x[2..5]");
    const auto& range = rangeId.segments[0].indexes;
    ASSERT_EQ(range.size(), 1u);
    EXPECT_EQ(std::get<Tolm::RangeIndex>(range[0]), (IndexRange{2, 5}));

    const Identifier nestedId = parsed("x[i]");
    const auto& nested = nestedId.segments[0].indexes;
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_EQ(std::get<Tolm::NestedIndex>(nested[0])->toString(), "i");

    const Identifier three = parsed("x[0][1..2][y.z]");
    const auto& indexes = three.segments[0].indexes;
    ASSERT_EQ(indexes.size(), 3u);
    EXPECT_EQ(indexes[0].index(), Tolm::IntegerIndex);
    EXPECT_EQ(indexes[1].index(), Tolm::RangeIndex);
    ASSERT_EQ(indexes[2].index(), Tolm::NestedIndex);
    EXPECT_EQ(std::get<Tolm::NestedIndex>(indexes[2])->segments.size(), 2u);

    const Identifier deep = parsed("x[a[1]]");
    const auto& inner = *std::get<Tolm::NestedIndex>(deep.segments[0].indexes[0]);
    ASSERT_EQ(inner.segments.size(), 1u);
    EXPECT_EQ(inner.segments[0].name, "a");
    EXPECT_EQ(std::get<Tolm::IntegerIndex>(inner.segments[0].indexes[0]), 1);
}

// Numbers: leading zeros allowed; twenty or more digits wrap modulo 2^64.
TEST(Identifier, NumberValues)
{
    EXPECT_EQ(std::get<Tolm::IntegerIndex>(parsed("a[007]").segments[0].indexes[0]), 7);
    // 18446744073709551617 = 2^64 + 1.
    EXPECT_EQ(std::get<Tolm::IntegerIndex>(
                  parsed("a[18446744073709551617]").segments[0].indexes[0]),
              1);
    // 2^63 reads as the most negative 64-bit value.
    EXPECT_EQ(std::get<Tolm::IntegerIndex>(parsed("a[9223372036854775808]").segments[0].indexes[0]),
              INT64_MIN);
}

// Each failure reports its exact message and position.
TEST(Identifier, FailurePositionsAndMessages)
{
    EXPECT_EQ(failure(""), "0: Empty identifier");
    EXPECT_EQ(failure("1abc"), "0: Invalid identifier start");
    EXPECT_EQ(failure("a."), "2: Expected identifier segment after '.'");
    EXPECT_EQ(failure("a["), "2: Unexpected end inside '[]'");
    EXPECT_EQ(failure("a[-1]"), "2: Invalid index expression inside '[]'");
    EXPECT_EQ(failure("a[1"), "3: Expected ']'");
    EXPECT_EQ(failure("a[1..]"), "5: Expected number");
    EXPECT_EQ(failure("a[1.."), "5: Expected number");
    EXPECT_EQ(failure("a[b.]"), "4: Expected identifier segment after '.'");
    EXPECT_EQ(failure("a..b"), "2: Invalid identifier start");
    EXPECT_EQ(failure("a[1.5]"), "3: Expected ']'");
    EXPECT_EQ(failure("a[ 1]"), "2: Invalid index expression inside '[]'");
    EXPECT_EQ(failure("a[b"), "3: Expected ']'");
    EXPECT_EQ(failure("\xC3\xA9t\xC3\xA9"), "0: Invalid identifier start");
    EXPECT_EQ(failure(" a"), "0: Invalid identifier start");
}

// Text after the longest identifier is ignored by parse; the parser's position shows where it stopped.
TEST(Identifier, StopsAtFirstForeignCharacter)
{
    for (const std::string text : {"a b", "a-b"}) {
        const Identifier id = parsed(text);
        ASSERT_EQ(id.segments.size(), 1u);
        EXPECT_EQ(id.segments[0].name, "a");

        Identifier out;
        IdentifierParser parser(text);
        EXPECT_TRUE(parser.parseSegments(out));
        EXPECT_EQ(parser.position, 1u);
    }

    Identifier out;
    IdentifierParser whole("core.lib");
    EXPECT_TRUE(whole.parseSegments(out));
    EXPECT_EQ(whole.position, whole.text.size());
}

// Without an error record the parser reports failure only by its result.
TEST(Identifier, ParserWithoutErrorRecord)
{
    Identifier out;
    IdentifierParser parser("a[");
    EXPECT_FALSE(parser.parseSegments(out));
    EXPECT_EQ(parser.position, 2u);

    IdentifierParser empty("");
    EXPECT_FALSE(empty.parseSegments(out));
    EXPECT_EQ(empty.position, 0u);

    ParseError error;
    IdentifierParser withRecord("", &error);
    EXPECT_FALSE(withRecord.parseSegments(out));
    EXPECT_EQ(error.message, "Unexpected end while parsing name");
}

// A failed parse leaves the output untouched for the empty text.
TEST(Identifier, EmptyTextKeepsOutput)
{
    Identifier out = parsed("keep");
    ParseError error;
    EXPECT_FALSE(Identifier::parse("", out, error));
    ASSERT_EQ(out.segments.size(), 1u);
    EXPECT_EQ(out.segments[0].name, "keep");
}

// The text form is the parse syntax, and it parses back to an equal identifier.
TEST(Identifier, TextFormRoundTrips)
{
    for (const std::string text :
         {"a", "a.b.c", "x[3]", "x[2..5]", "x[i]", "x[0][1..2][y.z]", "x[a[1]].Out[b.c[2..3]]"}) {
        const Identifier id = parsed(text);
        EXPECT_EQ(id.toString(), text);
        EXPECT_EQ(parsed(id.toString()), id);
    }
    EXPECT_EQ(parsed("a[007]").toString(), "a[7]");
}

// Equality compares nested identifiers by content and keeps names' case.
TEST(Identifier, Equality)
{
    EXPECT_EQ(parsed("x[a.b]"), parsed("x[a.b]"));
    EXPECT_FALSE(parsed("x[a.b]") == parsed("x[a.c]"));
    EXPECT_FALSE(parsed("x[1]") == parsed("x[1..1]"));
    EXPECT_FALSE(parsed("Name") == parsed("name"));
    EXPECT_FALSE(parsed("a.b") == parsed("a"));
}
