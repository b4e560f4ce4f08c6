#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <stdexcept>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "types/tolm_int.h"
#include "types/tolm_path_string.h"
#include "types/tolm_string.h"

namespace Tolm {
namespace {
using namespace TestSupport;

// add/append join each operand kind by its spacing rule; an unresolved operand fails and changes nothing.
TEST(TolmBaseStringTest, Combining)
{
    struct Case { const char* left; TolmValuePtr operand; std::string added, appended; };
    const Case cases[] = {{"a", str("b"), "ab", "a b"}, {"a", str("\"b\""), "a\"b\"", "a \"b\""},
        {"a", raw("r"), "ar", "a r"}, {"a", makePathStringValue("/base", std::string("p")), "ap", "a p"},
        {"", str("b"), "b", " b"}, {"id", num(-7), "id-7", "id-7"},
        {"x", listOf({str("1"), str("2")}), "x 1 2", "x 1 2"}, {"x", listOf({}), "x ", "x "}};
    for (const Case& c : cases) {
        auto left = str(c.left);
        EXPECT_EQ(left->add(*c.operand)->toString() + "|" + left->toString(), c.added + "|" + c.left);
        left->append(*c.operand);
        EXPECT_EQ(left->toString(), c.appended) << c.operand->toLiteral();
    }
    auto s = str("s");
    EXPECT_EQ(failureOf<BadConversion>([&] { s->append(*ref("v.w")); }),
              "Cannot convert TolmIdentifier v.w to TolmString");
    EXPECT_EQ(s->toString(), "s");
}

// Equality ignores case and one pair of quotes (not raw); order is by byte length; an integer is simply unequal.
TEST(TolmBaseStringTest, Comparisons)
{
    struct Case { TolmValuePtr left, right; bool equal, less, greater; };
    const Case cases[] = {{str("ab"), str("AB"), true, false, false},
        {str("\"Foo\""), str("foo"), true, false, true}, {raw("\"Foo\""), raw("foo"), false, false, true},
        {str("abc"), str("zz"), false, false, true}, {str("abc"), str("abd"), false, false, false},
        {str("ab"), str("xyz"), false, true, false}, {str("5"), num(5), false, false, false}};
    for (const Case& c : cases) {
        const std::string label = c.left->toLiteral() + " vs " + c.right->toLiteral();
        EXPECT_EQ(c.left->equals(*c.right), c.equal) << label;
        EXPECT_EQ(c.left->notEquals(*c.right), !c.equal) << label;
        EXPECT_EQ(c.left->lessThan(*c.right), c.less) << label;
        EXPECT_EQ(c.left->greaterThan(*c.right), c.greater) << label;
    }
}

// Integer and range keys select bytes of a string's raw text, an integer key the shared item of a list;
// every other key and position fails with its exact text, a range past a string's end out of range.
TEST(ValueGetTest, KeysAndFailures)
{
    auto hello = str("hello");
    const std::pair<AccessKey, std::string> parts[] = {
        {at(1), "e"}, {KeyRange{1, 3, 1}, "el"}, {KeyRange{5, 9, 1}, ""}, {KeyRange{3, 1, 1}, "lo"}};
    for (const auto& [key, expected] : parts) EXPECT_EQ(hello->get(key)->toString(), expected);
    EXPECT_EQ(str("\"q\"")->get(at(0))->toString(), "\"");
    auto ab = listOf({str("a"), str("b")});
    EXPECT_EQ(ab->get(at(1)), ab->items()[1]);
    const std::string hi = "\"hello\" cannot be indexed with ", l = "[ \"a\", \"b\" ] cannot be indexed with ";
    const std::tuple<TolmValuePtr, AccessKey, std::string> failures[] = {{hello, at(5), hi + "[5]"},
        {hello, at(-1), hi + "[-1]"}, {hello, KeyPattern{"a*"}, hi + "/a*/"}, {ab, at(2), l + "[2]"},
        {ab, KeyRange{0, 1, 1}, l + "[0:1:1]"}, {ab, "x", l + "x"}, {num(5), at(0), "5 cannot be indexed with [0]"},
        {ref("v"), at(0), "v cannot be indexed with [0]"}};
    for (const auto& [value, key, message] : failures)
        EXPECT_EQ(failureOf<IndexException>([&] { value->get(key); }), "Variable " + message);
    EXPECT_THROW(hello->get(KeyRange{-1, 2, 1}), std::out_of_range);
}

// Words split at any white space; quotes around a string are dropped, a raw string keeps them.
TEST(TolmBaseStringTest, WordIteration)
{
    const std::pair<TolmValuePtr, std::vector<std::string>> cases[] = {{str("  a  b\tc "), {"a", "b", "c"}},
        {str(""), {}}, {str(" \t \n"), {}}, {str("\"\""), {}}, {str("\"x y\""), {"x", "y"}},
        {raw("\"x y\""), {"\"x", "y\""}}, {str("a\"b c"), {"a\"b", "c"}}};
    for (const auto& [value, words] : cases) EXPECT_EQ(elementTexts(value), words) << value->toLiteral();
    EXPECT_THROW(str("a")->begin()->equals(*num(1)->begin()), InternalError);
}

// Sums wrap as two's complement on add and append; add leaves the value alone. Non-integer operands fail
// naming the integer, then the operand's type; it iterates as nothing.
TEST(TolmIntTest, SumsAndRefusals)
{
    TolmInt big(INT32_MAX), low(INT32_MIN), five(5);
    EXPECT_EQ(big.add(TolmInt(1))->toString() + "|" + big.toString(), "-2147483648|2147483647");
    low.append(TolmInt(-1));
    EXPECT_EQ(low.value, INT32_MAX);
    EXPECT_EQ(failureOf<BadConversion>([&] { five.append(*str("5")); }), "Cannot convert TolmInt 5 to TolmString");
    EXPECT_THROW(five.lessThan(*str("5")), BadConversion);
    EXPECT_EQ(five.value, 5);
    EXPECT_TRUE(elementTexts(num(7)).empty());
}

// An unresolved identifier prints as its name and refuses combining, iterating, equality and resolving.
TEST(TolmIdentifierTest, UnresolvedUsesFail)
{
    EXPECT_EQ(ref("a.b[0][2..5][c.d]")->toLiteral(), "a.b[0][2..5][c.d]");
    auto v = ref("v");
    auto s = str("s");
    EXPECT_EQ(failureOf<BadOperation>([&] { v->add(*s); }), "v is not resolved yet and '\"s\"' cannot be added.");
    EXPECT_EQ(failureOf<BadOperation>([&] { v->append(*s); }),
              "v is not resolved yet and '\"s\"' cannot be appended to it.");
    const std::function<void()> uses[] = {[&] { v->begin(); }, [&] { v->end(); }, [&] { v->equals(*s); },
                                          [&] { v->notEquals(*s); }, [&] { v->resolve(); }};
    for (const auto& use : uses) EXPECT_THROW(use(), BadOperation);
    EXPECT_FALSE(v->greaterThan(*s) || v->lessThan(*s));
}

// Plain text joins items with one space; the literal brackets each item's own literal form.
TEST(TolmListTest, TextAndLiteralForms)
{
    auto mixed = listOf({str("q\"t"), num(-12), makePathStringValue("/b", std::string("p")), ref("v[1]"),
                         listOf({raw("r")})});
    EXPECT_EQ(mixed->toString() + "|" + listOf({})->toLiteral(), "q\"t -12 p v[1] r|[]");
    EXPECT_EQ(mixed->toLiteral(), "[ \"q\"t\", -12, P\"/b/p\", v[1], [ \"r\" ] ]");
}

// append/add share a list operand's items and clone any other operand; add and clone leave this list alone.
TEST(TolmListTest, SharingAndCloning)
{
    auto x = str("x"), z = str("z");
    auto inner = listOf({str("i")});
    auto list = listOf({str("a")});
    auto sum = list->add(*listOf({x}));
    EXPECT_EQ(list->size(), 1u);
    EXPECT_EQ(sum->get(at(0)), list->items()[0]);
    EXPECT_EQ(sum->get(at(1)), x);
    list->append(*listOf({x, inner}));
    list->append(*z);
    EXPECT_EQ(list->items()[1], x);
    EXPECT_EQ(list->items()[2], inner);
    EXPECT_NE(list->items()[3], z);
    list->clone()->get(at(1))->append(*z);
    EXPECT_EQ(x->toString(), "x");
    list->append(*list);  // doubles once instead of reading items that move under it
    EXPECT_EQ(list->toString(), "a x i z a x i z");
}

// A list never takes an empty item, by any way in.
TEST(TolmListTest, RejectsEmptyItems)
{
    EXPECT_THROW(TolmList({str("a"), nullptr}), TolmException);
    EXPECT_THROW(makeListValue({nullptr}), TolmException);
    TolmList list;
    EXPECT_THROW(list.push(nullptr), TolmException);
    EXPECT_EQ(list.size(), 0u);
}

// Lists compare item by item, a proper prefix first, equal lists neither way; ordering against a non-list fails.
TEST(TolmListTest, Comparisons)
{
    auto one = listOf({num(1)}), two = listOf({num(2)}), oneTwo = listOf({num(1), num(2)}), empty = listOf({});
    EXPECT_TRUE(listOf({str("a")})->equals(*listOf({str("A")})));
    EXPECT_FALSE(one->equals(*oneTwo));
    EXPECT_TRUE(empty->equals(*listOf({})));
    EXPECT_TRUE(one->lessThan(*oneTwo) && oneTwo->lessThan(*two) && two->greaterThan(*oneTwo));
    EXPECT_TRUE(oneTwo->greaterThan(*one) && !one->greaterThan(*oneTwo));
    EXPECT_FALSE(empty->lessThan(*listOf({})) || empty->greaterThan(*listOf({})));
    EXPECT_EQ(failureOf<BadConversion>([&] { one->lessThan(*str("s")); }),
              "Cannot convert TolmString \"s\" to TolmList");
}

// Resolving gives one flat new list; an item that resolves to no value is reported, not stored.
TEST(TolmListTest, ResolveFlattens)
{
    struct : Resolver {
        TolmValuePtr named = listOf({str("l1"), str("l2")});
        TolmValuePtr lookup(const Identifier& id) override { return id.toString() == "L" ? named : nullptr; }
    } resolver;
    auto nested = std::make_shared<TolmString>("n1");
    auto list = listOf({str("s"), listOf({nested, str("n2")}), ref("L")});
    list->setResolver(&resolver);
    EXPECT_EQ(nested->resolver, &resolver);
    EXPECT_EQ(elementTexts(list->resolve()), (std::vector<std::string>{"s", "n1", "n2", "l1", "l2"}));
    EXPECT_EQ(list->size(), 3u);
    auto missing = listOf({ref("missing")});
    missing->setResolver(&resolver);
    EXPECT_EQ(failureOf<TolmException>([&] { missing->resolve(); }), "List item missing resolved to no value.");
}

// Prints and iterates the NAMES in case-insensitive order, as text values; an empty context prints nothing.
TEST(TolmContextTest, NamesInOrder)
{
    auto value = contextValue({set("B", str("1")), set("a", str("2")), set("Z", str("3"))});
    EXPECT_EQ(value->toString() + "|" + value->toLiteral() + "|" + contextValue({})->toString(), "a B Z|a B Z|");
    EXPECT_EQ(elementTexts(value), (std::vector<std::string>{"a", "B", "Z"}));
    EXPECT_TRUE(elementTexts(contextValue({})).empty());
    // A context value without a context is an empty one.
    const auto none = std::make_shared<TolmContext>(nullptr);
    EXPECT_EQ(none->toString(), "");
    EXPECT_TRUE(elementTexts(none).empty());
}

// Appending or adding a text declares it in the shared context, clearing an old value; adding a context
// leaves this one unchanged; raw texts and integers are refused, and a failed merge changes nothing.
TEST(TolmContextTest, Combining)
{
    auto value = contextValue({set("A", str("1")), set("X", str("old"))});
    value->append(*str("X"));
    EXPECT_EQ(textOf(*value->context, "X"), "<none>");
    EXPECT_TRUE(value->add(*str("Y"))->equals(*value));
    EXPECT_EQ(value->context->assignments.at("Y").type, Type::Declare);
    EXPECT_EQ(value->add(*contextValue({set("B", str("2"))}))->toString() + "|" + value->toString(), "A B X Y|A X Y");
    EXPECT_THROW(value->append(*makeRawStringValue("R")), BadConversion);
    EXPECT_THROW(value->append(*contextValue({set("0", str("new")), append("A", ref("v"))})), BadConversion);
    EXPECT_EQ(value->toString(), "A X Y");  // a failed merge adds nothing, not even the names before the failure
    EXPECT_THROW(value->add(*makeIntValue(1)), BadConversion);
}

// Equality means the same context object, ordering counts entries, a clone gets its own copy of the
// context, and get by a missing name is a Variable not found.
TEST(TolmContextTest, ComparisonCloneAndGet)
{
    auto value = contextValue({set("A", str("1"))}), two = contextValue({set("x", nullptr), set("y", nullptr)});
    EXPECT_TRUE(value->equals(TolmContext(value->context)));
    EXPECT_FALSE(value->equals(*contextValue({set("A", str("1"))})));
    EXPECT_TRUE(two->greaterThan(*value) && value->lessThan(*two) && !two->lessThan(*value));
    EXPECT_THROW(value->equals(*str("A")), BadConversion);
    TolmValuePtr copy = value->clone();
    EXPECT_FALSE(copy->equals(*value));
    EXPECT_EQ(copy->get(AccessKey(std::string("a")))->toString(), "1");
    EXPECT_EQ(failureOf<NotFoundException>([&] { value->get(AccessKey(std::string("B"))); }),
              "Variable 'B' not found.");
}

// The literal joins the base directory unless the text is absolute; values made from a path keep the directory.
TEST(TolmPathStringTest, BaseDirectory)
{
    EXPECT_EQ(TolmPathString("src/a.c", "/p/q").toLiteral(), "P\"/p/q/src/a.c\"");
    EXPECT_EQ(TolmPathString("/abs/x", "/p/q").toLiteral(), "P\"/abs/x\"");
    EXPECT_EQ(TolmPathString("src/a.c", "").toLiteral(), "P\"src/a.c\"");
    auto path = makePathStringValue("/p", std::string("a.c b.c"));
    EXPECT_EQ(path->toString(), "a.c b.c");
    EXPECT_EQ(path->typeName(), "TolmString");
    for (const auto& value : {path->add(*str("x")), path->begin()->current(), path->get(at(0)), path->clone()})
        EXPECT_EQ(dynamic_cast<TolmPathString&>(*value).baseDirectory, "/p");
}

// Paths are equal only when both name one existing file; against a plain string they compare by unquoted text.
TEST(TolmPathStringTest, Equality)
{
    const ScratchDir scratch;
    const auto dir = scratch.path();
    scratch.write("src/a.c", "int x;\n");
    EXPECT_TRUE(TolmPathString("src/a.c", dir).equals(TolmPathString((dir / "src/a.c").native(), "")));
    EXPECT_FALSE(TolmPathString("nothing.c", dir).equals(TolmPathString("nothing.c", dir)));
    EXPECT_TRUE(TolmPathString("\"Src\"", dir).equals(*str("src")));
}

}  // namespace
}  // namespace Tolm
