#include "types/tolm_base_string.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_path_string.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {

using TestHelpers::elementTexts;
using TestHelpers::failureMessage;
using Words = std::vector<std::string>;

// add joins strings directly, append puts one space between them, even after an empty text.
TEST(TolmBaseStringTest, StringOperandSpacing)
{
    auto a = makeStringValue("a");
    EXPECT_EQ(a->add(*makeStringValue("b"))->toString(), "ab");
    EXPECT_EQ(a->toString(), "a");
    a->append(*makeStringValue("\"b\""));  // the operand's raw text, quotes and all
    EXPECT_EQ(a->toString(), "a \"b\"");

    auto empty = makeStringValue("");
    empty->append(*makeStringValue("b"));
    EXPECT_EQ(empty->toString(), " b");
}

// Integers join without a separator; lists with one space; on both add and append.
TEST(TolmBaseStringTest, IntegerAndListOperands)
{
    auto id = makeStringValue("id");
    EXPECT_EQ(id->add(TolmInt(-3))->toString(), "id-3");
    id->append(TolmInt(7));
    EXPECT_EQ(id->toString(), "id7");

    auto list = makeListValue({makeStringValue("1"), makeStringValue("2")});
    auto x = makeStringValue("x");
    EXPECT_EQ(x->add(*list)->toString(), "x 1 2");
    x->append(*list);
    EXPECT_EQ(x->toString(), "x 1 2");
}

// add keeps the class of the left value; a path result keeps its base directory.
TEST(TolmBaseStringTest, AddKeepsLeftClass)
{
    EXPECT_EQ(makeRawStringValue("r")->add(*makeStringValue("s"))->typeName(), "TolmRawString");
    auto joined = makePathStringValue("/base", std::string("src"))->add(*makeStringValue("/a.c"));
    auto* joinedPath = dynamic_cast<TolmPathString*>(joined.get());
    ASSERT_NE(joinedPath, nullptr);
    EXPECT_EQ(joinedPath->text, "src/a.c");
    EXPECT_EQ(joinedPath->baseDirectory, "/base");
}

// Any other operand fails, naming the operand first and the string's type last; the string stays.
TEST(TolmBaseStringTest, OtherOperandIsBadConversion)
{
    auto s = makeStringValue("s");
    TolmIdentifier other(TestHelpers::parsedIdentifier("v.w"));
    EXPECT_EQ(failureMessage<BadConversion>([&] { s->append(other); }),
              "Cannot convert TolmIdentifier v.w to TolmString");
    EXPECT_EQ(s->toString(), "s");
    EXPECT_EQ(failureMessage<BadConversion>([&] { makeRawStringValue("r")->add(other); }),
              "Cannot convert TolmIdentifier v.w to TolmRawString");
}

// Equality ignores case and one pair of quotes; ordering compares byte lengths only.
TEST(TolmBaseStringTest, Comparisons)
{
    EXPECT_TRUE(makeStringValue("ab")->equals(*makeStringValue("AB")));
    EXPECT_TRUE(makeStringValue("\"Foo\"")->equals(*makeStringValue("foo")));
    EXPECT_FALSE(makeRawStringValue("\"Foo\"")->equals(*makeRawStringValue("foo")));
    EXPECT_TRUE(makeStringValue("ab")->notEquals(*makeStringValue("abc")));
    EXPECT_TRUE(makeStringValue("abc")->greaterThan(*makeStringValue("zz")));
    EXPECT_FALSE(makeStringValue("abc")->lessThan(*makeStringValue("abd")));
    EXPECT_TRUE(makeStringValue("ab")->lessThan(*makeStringValue("xyz")));
    EXPECT_FALSE(makeStringValue("ab")->lessThan(*makeStringValue("cd")));
    EXPECT_FALSE(makeStringValue("ab")->greaterThan(*makeStringValue("cd")));

    // Against an integer a string is simply unequal and unordered, not an error.
    TolmInt n(5);
    EXPECT_FALSE(makeStringValue("5")->equals(n));
    EXPECT_FALSE(makeStringValue("5")->greaterThan(n));
    EXPECT_FALSE(makeStringValue("5")->lessThan(n));
}

// Integer and range keys select bytes of the raw text; a start past the end is out of range.
TEST(TolmBaseStringTest, GetWithIntegerAndRangeKeys)
{
    auto hello = makeStringValue("hello");
    EXPECT_EQ(hello->get(AccessKey(std::int64_t{1}))->toString(), "e");
    EXPECT_EQ(hello->get(AccessKey(KeyRange{1, 3, 1}))->toString(), "el");
    EXPECT_EQ(hello->get(AccessKey(KeyRange{5, 9, 1}))->toString(), "");
    EXPECT_EQ(hello->get(AccessKey(KeyRange{3, 1, 1}))->toString(), "lo");
    EXPECT_THROW(hello->get(AccessKey(KeyRange{6, 7, 1})), std::out_of_range);
    EXPECT_THROW(hello->get(AccessKey(KeyRange{-1, 2, 1})), std::out_of_range);
    EXPECT_EQ(makeStringValue("\"q\"")->get(AccessKey(std::int64_t{0}))->toString(), "\"");
}

// Out-of-range integer keys and text or pattern keys fail with the string's literal.
TEST(TolmBaseStringTest, GetFailures)
{
    auto hello = makeStringValue("hello");
    auto message = [&](const AccessKey& key) {
        return failureMessage<IndexException>([&] { hello->get(key); });
    };
    EXPECT_EQ(message(std::int64_t{5}), "Variable \"hello\" cannot be indexed with [5]");
    EXPECT_EQ(message(std::int64_t{-1}), "Variable \"hello\" cannot be indexed with [-1]");
    EXPECT_EQ(message(std::string("name")), "Variable \"hello\" cannot be indexed with name");
    EXPECT_EQ(message(KeyPattern{"a*"}), "Variable \"hello\" cannot be indexed with /a*/");
    EXPECT_THROW(makeStringValue("")->get(AccessKey(std::int64_t{0})), IndexException);
}

// Words split at any white space; runs, tabs and ends make no empty words.
TEST(TolmBaseStringTest, WordIteration)
{
    EXPECT_EQ(elementTexts(makeStringValue("  a  b\tc ")), (Words{"a", "b", "c"}));
    EXPECT_TRUE(elementTexts(makeStringValue("")).empty());
    EXPECT_TRUE(elementTexts(makeStringValue(" \t \n")).empty());
    EXPECT_EQ(elementTexts(makeStringValue("one")), (Words{"one"}));
}

// Surrounding quotes are not part of a string's words, but stay on a raw string's.
TEST(TolmBaseStringTest, WordIterationAndQuotes)
{
    EXPECT_EQ(elementTexts(makeStringValue("\"x y\"")), (Words{"x", "y"}));
    EXPECT_EQ(elementTexts(makeRawStringValue("\"x y\"")), (Words{"\"x", "y\""}));
    EXPECT_EQ(elementTexts(makeStringValue("a\"b c")), (Words{"a\"b", "c"}));
}

// Each word is a value of the owner's class; a path's words keep its base directory.
TEST(TolmBaseStringTest, WordsKeepOwnerClass)
{
    auto word = makePathStringValue("/base", std::string("a.c b.c"))->begin()->current();
    auto* wordPath = dynamic_cast<TolmPathString*>(word.get());
    ASSERT_NE(wordPath, nullptr);
    EXPECT_EQ(wordPath->baseDirectory, "/base");
    EXPECT_EQ(wordPath->text, "a.c");
}

// Iterators of another class cannot be compared, and an unowned string cannot be iterated.
TEST(TolmBaseStringTest, IteratorMisuse)
{
    EXPECT_THROW(makeStringValue("a")->begin()->equals(*TolmInt(1).begin()), InternalError);
    TolmString loose("a b");
    EXPECT_THROW(loose.begin(), std::bad_weak_ptr);
}

// Text literals are double-quoted with nothing escaped; raw strings carry no marker.
TEST(TolmBaseStringTest, Literals)
{
    EXPECT_EQ(makeStringValue("a\"b")->toLiteral(), "\"a\"b\"");
    EXPECT_EQ(makeRawStringValue("r s")->toLiteral(), "\"r s\"");
    EXPECT_EQ(TolmBaseString("t").toLiteral(), "\"t\"");
}

}  // namespace
}  // namespace Tolm
