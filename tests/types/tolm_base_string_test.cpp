#include "types/tolm_base_string.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "types/tolm_exceptions.h"
#include "types/tolm_string.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {
using namespace TestHelpers;

// add/append join each operand kind by its spacing rule; other operands fail naming the operand, then the string.
TEST(TolmBaseStringTest, Combining)
{
    struct Case { const char* left; TolmValuePtr operand; std::string added, appended; };
    const Case cases[] = {{"a", text("b"), "ab", "a b"}, {"a", text("\"b\""), "a\"b\"", "a \"b\""},
        {"a", raw("r"), "ar", "a r"}, {"a", makePathStringValue("/base", std::string("p")), "ap", "a p"},
        {"", text("b"), "b", " b"}, {"id", num(-7), "id-7", "id-7"},
        {"x", listOf({text("1"), text("2")}), "x 1 2", "x 1 2"}, {"x", listOf({}), "x ", "x "}};
    for (const Case& c : cases) {
        auto left = text(c.left);
        EXPECT_EQ(left->add(*c.operand)->toString(), c.added) << c.operand->toLiteral();
        EXPECT_EQ(left->toString(), c.left);
        left->append(*c.operand);
        EXPECT_EQ(left->toString(), c.appended) << c.operand->toLiteral();
    }
    auto s = text("s");
    EXPECT_EQ(failureMessage<BadConversion>([&] { s->append(*ident("v.w")); }),
              "Cannot convert TolmIdentifier v.w to TolmString");
    EXPECT_EQ(s->toString(), "s");
    EXPECT_EQ(failureMessage<BadConversion>([&] { raw("r")->add(*ident("v")); }),
              "Cannot convert TolmIdentifier v to TolmRawString");
}

// Equality ignores case and one pair of quotes (not raw); order is by byte length; an integer is simply unequal.
TEST(TolmBaseStringTest, Comparisons)
{
    struct Case { TolmValuePtr left, right; bool equal, less, greater; };
    const Case cases[] = {{text("ab"), text("AB"), true, false, false},
        {text("\"Foo\""), text("foo"), true, false, true}, {raw("\"Foo\""), raw("foo"), false, false, true},
        {text("abc"), text("zz"), false, false, true}, {text("abc"), text("abd"), false, false, false},
        {text("ab"), text("xyz"), false, true, false}, {text("5"), num(5), false, false, false}};
    for (const Case& c : cases) {
        const std::string label = c.left->toLiteral() + " vs " + c.right->toLiteral();
        EXPECT_EQ(c.left->equals(*c.right), c.equal) << label;
        EXPECT_EQ(c.left->notEquals(*c.right), !c.equal) << label;
        EXPECT_EQ(c.left->lessThan(*c.right), c.less) << label;
        EXPECT_EQ(c.left->greaterThan(*c.right), c.greater) << label;
    }
}

// Integer and range keys select bytes of the raw text; other keys and bad positions fail exactly.
TEST(TolmBaseStringTest, Get)
{
    auto hello = text("hello");
    const std::pair<AccessKey, std::string> parts[] = {
        {at(1), "e"}, {KeyRange{1, 3, 1}, "el"}, {KeyRange{5, 9, 1}, ""}, {KeyRange{3, 1, 1}, "lo"}};
    for (const auto& [key, expected] : parts) EXPECT_EQ(hello->get(key)->toString(), expected);
    EXPECT_EQ(text("\"q\"")->get(at(0))->toString(), "\"");
    const std::pair<AccessKey, std::string> failures[] = {
        {at(5), "[5]"}, {at(-1), "[-1]"}, {"name", "name"}, {KeyPattern{"a*"}, "/a*/"}};
    for (const auto& [key, keyText] : failures)
        EXPECT_EQ(failureMessage<IndexException>([&] { hello->get(key); }),
                  "Variable \"hello\" cannot be indexed with " + keyText);
    EXPECT_THROW(hello->get(KeyRange{6, 7, 1}), std::out_of_range);
    EXPECT_THROW(hello->get(KeyRange{-1, 2, 1}), std::out_of_range);
}

// Words split at any white space; quotes around a string are dropped, a raw string keeps them.
TEST(TolmBaseStringTest, WordIteration)
{
    const std::pair<TolmValuePtr, std::vector<std::string>> cases[] = {{text("  a  b\tc "), {"a", "b", "c"}},
        {text(""), {}}, {text(" \t \n"), {}}, {text("\"\""), {}}, {text("\"x y\""), {"x", "y"}},
        {raw("\"x y\""), {"\"x", "y\""}}, {text("a\"b c"), {"a\"b", "c"}}};
    for (const auto& [value, words] : cases) EXPECT_EQ(elementTexts(value), words) << value->toLiteral();
    EXPECT_THROW(text("a")->begin()->equals(*num(1)->begin()), InternalError);
    EXPECT_THROW(TolmString("a b").begin(), std::bad_weak_ptr);
}

}  // namespace
}  // namespace Tolm
