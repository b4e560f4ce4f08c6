#include "types/tolm_base_string.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"

namespace Tolm {
namespace {

std::vector<std::string> words(const TolmValuePtr& value)
{
    std::vector<std::string> result;
    for (auto it = value->begin(), stop = value->end(); !it->equals(*stop); it->advance()) {
        result.push_back(it->current()->toString());
    }
    return result;
}

Identifier parsed(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error));
    return id;
}

// add joins strings directly, append puts one space between them.
TEST(TolmBaseStringTest, StringOperandSpacing)
{
    auto a = makeStringValue("a");
    EXPECT_EQ(a->add(*makeStringValue("b"))->toString(), "ab");
    EXPECT_EQ(a->toString(), "a");
    a->append(*makeStringValue("b"));
    EXPECT_EQ(a->toString(), "a b");

    // The operand's raw text is used, quotes and all.
    auto q = makeStringValue("x");
    q->append(*makeStringValue("\"y\""));
    EXPECT_EQ(q->toString(), "x \"y\"");
}

// An empty text still gets the separator on append.
TEST(TolmBaseStringTest, EmptyTextKeepsSeparator)
{
    auto empty = makeStringValue("");
    empty->append(*makeStringValue("b"));
    EXPECT_EQ(empty->toString(), " b");
}

// Integers join without a separator on both add and append.
TEST(TolmBaseStringTest, IntegerOperandJoinsDirectly)
{
    auto id = makeStringValue("id");
    EXPECT_EQ(id->add(TolmInt(-3))->toString(), "id-3");
    id->append(TolmInt(7));
    EXPECT_EQ(id->toString(), "id7");
}

// Lists join with one space on both add and append, their items space-separated.
TEST(TolmBaseStringTest, ListOperandJoinsWithSpace)
{
    auto list = makeListValue({makeStringValue("1"), makeStringValue("2")});
    auto x = makeStringValue("x");
    EXPECT_EQ(x->add(*list)->toString(), "x 1 2");
    x->append(*list);
    EXPECT_EQ(x->toString(), "x 1 2");
}

// add keeps the class of the left value, whatever the operand's class.
TEST(TolmBaseStringTest, AddKeepsLeftClass)
{
    auto raw = makeRawStringValue("r");
    EXPECT_EQ(raw->add(*makeStringValue("s"))->typeName(), "TolmRawString");
    auto path = makePathStringValue("/base", std::string("src"));
    auto joined = path->add(*makeStringValue("/a.c"));
    auto* joinedPath = dynamic_cast<TolmPathString*>(joined.get());
    ASSERT_NE(joinedPath, nullptr);
    EXPECT_EQ(joinedPath->text, "src/a.c");
    EXPECT_EQ(joinedPath->baseDirectory, "/base");
}

// Any other operand fails, naming the operand first and the string's type last; the string stays.
TEST(TolmBaseStringTest, OtherOperandIsBadConversion)
{
    auto s = makeStringValue("s");
    TolmIdentifier other(parsed("v.w"));
    try {
        s->append(other);
        FAIL();
    } catch (const BadConversion& e) {
        EXPECT_EQ(e.message(), "Cannot convert TolmIdentifier v.w to TolmString");
    }
    EXPECT_EQ(s->toString(), "s");
    try {
        makeRawStringValue("r")->add(other);
        FAIL();
    } catch (const BadConversion& e) {
        EXPECT_EQ(e.message(), "Cannot convert TolmIdentifier v.w to TolmRawString");
    }
}

// Equality ignores case and one pair of quotes; ordering compares byte lengths only.
TEST(TolmBaseStringTest, Comparisons)
{
    EXPECT_TRUE(makeStringValue("ab")->equals(*makeStringValue("AB")));
    EXPECT_TRUE(makeStringValue("\"Foo\"")->equals(*makeStringValue("foo")));
    EXPECT_FALSE(makeRawStringValue("\"Foo\"")->equals(*makeRawStringValue("foo")));
    EXPECT_TRUE(makeStringValue("abc")->greaterThan(*makeStringValue("zz")));
    EXPECT_FALSE(makeStringValue("abc")->lessThan(*makeStringValue("abd")));
    EXPECT_TRUE(makeStringValue("ab")->lessThan(*makeStringValue("xyz")));
    EXPECT_FALSE(makeStringValue("ab")->lessThan(*makeStringValue("cd")));
    EXPECT_FALSE(makeStringValue("ab")->greaterThan(*makeStringValue("cd")));
    EXPECT_TRUE(makeStringValue("ab")->notEquals(*makeStringValue("abc")));
}

// A string compared with a non-string is simply unequal and unordered.
TEST(TolmBaseStringTest, ComparisonWithIntegerIsFalse)
{
    auto five = makeStringValue("5");
    TolmInt n(5);
    EXPECT_FALSE(five->equals(n));
    EXPECT_FALSE(five->greaterThan(n));
    EXPECT_FALSE(five->lessThan(n));
}

// Integer and range keys select bytes of the raw text; text keys are refused.
TEST(TolmBaseStringTest, GetWithKeys)
{
    auto hello = makeStringValue("hello");
    EXPECT_EQ(hello->get(AccessKey(std::int64_t{1}))->toString(), "e");
    EXPECT_EQ(hello->get(AccessKey(KeyRange{1, 3, 1}))->toString(), "el");
    EXPECT_EQ(hello->get(AccessKey(KeyRange{5, 9, 1}))->toString(), "");
    EXPECT_EQ(hello->get(AccessKey(KeyRange{3, 1, 1}))->toString(), "lo");
    EXPECT_THROW(hello->get(AccessKey(KeyRange{6, 7, 1})), std::out_of_range);
    EXPECT_THROW(hello->get(AccessKey(KeyRange{-1, 2, 1})), std::out_of_range);
}

// Out-of-range integer keys and text or pattern keys fail with the string's literal.
TEST(TolmBaseStringTest, GetFailures)
{
    auto hello = makeStringValue("hello");
    auto message = [&](const AccessKey& key) {
        try {
            hello->get(key);
        } catch (const IndexException& e) {
            return e.message();
        }
        return std::string("no failure");
    };
    EXPECT_EQ(message(std::int64_t{5}), "Variable \"hello\" cannot be indexed with [5]");
    EXPECT_EQ(message(std::int64_t{-1}), "Variable \"hello\" cannot be indexed with [-1]");
    EXPECT_EQ(message(std::string("name")), "Variable \"hello\" cannot be indexed with name");
    EXPECT_EQ(message(KeyPattern{"a*"}), "Variable \"hello\" cannot be indexed with /a*/");
    EXPECT_THROW(makeStringValue("")->get(AccessKey(std::int64_t{0})), IndexException);
}

// A part selected from a string keeps the string's class.
TEST(TolmBaseStringTest, GetKeepsClass)
{
    auto raw = makeRawStringValue("\"q\"");
    auto first = raw->get(AccessKey(std::int64_t{0}));
    EXPECT_EQ(first->typeName(), "TolmRawString");
    EXPECT_EQ(first->toString(), "\"");
}

// Words split at any white space; runs, tabs and ends make no empty words.
TEST(TolmBaseStringTest, WordIteration)
{
    EXPECT_EQ(words(makeStringValue("  a  b\tc ")), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(words(makeStringValue("")).empty());
    EXPECT_TRUE(words(makeStringValue(" \t \n")).empty());
    EXPECT_EQ(words(makeStringValue("one")), (std::vector<std::string>{"one"}));
}

// Surrounding quotes are not part of a string's words, but stay on a raw string's.
TEST(TolmBaseStringTest, WordIterationAndQuotes)
{
    EXPECT_EQ(words(makeStringValue("\"x y\"")), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(words(makeRawStringValue("\"x y\"")), (std::vector<std::string>{"\"x", "y\""}));
    EXPECT_EQ(words(makeStringValue("a\"b c")), (std::vector<std::string>{"a\"b", "c"}));
}

// Each word is a value of the owner's class; a path's words keep its base directory.
TEST(TolmBaseStringTest, WordsKeepOwnerClass)
{
    auto path = makePathStringValue("/base", std::string("a.c b.c"));
    auto it = path->begin();
    auto word = it->current();
    auto* wordPath = dynamic_cast<TolmPathString*>(word.get());
    ASSERT_NE(wordPath, nullptr);
    EXPECT_EQ(wordPath->baseDirectory, "/base");
    EXPECT_EQ(wordPath->text, "a.c");
}

// Iterators of different classes cannot be compared.
TEST(TolmBaseStringTest, IteratorOfOtherClassIsInternalError)
{
    auto s = makeStringValue("a");
    TolmInt n(1);
    EXPECT_THROW(s->begin()->equals(*n.begin()), InternalError);
}

// Iterating a string that no shared pointer owns fails instead of dangling.
TEST(TolmBaseStringTest, IteratingUnownedStringFails)
{
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

// Clones are independent, of the same class, and carry no resolver.
TEST(TolmBaseStringTest, CloneIsIndependent)
{
    auto s = std::make_shared<TolmString>("a");
    struct NoResolver : Resolver {
        TolmValuePtr lookup(const Identifier&) override { return nullptr; }
    } resolver;
    s->setResolver(&resolver);
    auto copy = s->clone();
    auto* copyString = dynamic_cast<TolmString*>(copy.get());
    ASSERT_NE(copyString, nullptr);
    EXPECT_EQ(copyString->resolver, nullptr);
    copy->append(*makeStringValue("b"));
    EXPECT_EQ(s->toString(), "a");
}

// Type names: a path string reports itself as a plain string.
TEST(TolmBaseStringTest, TypeNames)
{
    EXPECT_EQ(TolmBaseString("").typeName(), "TolmBaseString");
    EXPECT_EQ(makeStringValue("")->typeName(), "TolmString");
    EXPECT_EQ(makePathStringValue("")->typeName(), "TolmString");
    EXPECT_EQ(makeRawStringValue("")->typeName(), "TolmRawString");
}

}  // namespace
}  // namespace Tolm
