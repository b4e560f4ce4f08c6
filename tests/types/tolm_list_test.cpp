#include "types/tolm_list.h"

#include <gtest/gtest.h>

#include "types/tolm_exceptions.h"
#include "types/tolm_string.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {
using namespace TestHelpers;

// Plain text joins items with one space; the literal brackets each item's own literal form.
TEST(TolmListTest, TextAndLiteralForms)
{
    auto ab = listOf({text("a"), text("b")});
    EXPECT_EQ(ab->toString(), "a b");
    EXPECT_EQ(ab->toLiteral(), "[ \"a\", \"b\" ]");
    EXPECT_EQ(listOf({text("a")})->toLiteral(), "[ \"a\" ]");
    EXPECT_EQ(listOf({})->toLiteral(), "[]");
    auto mixed = listOf({text("q\"t"), num(-12), makePathStringValue("/b", std::string("p")),
                         ident("v[1]"), listOf({raw("r")})});
    EXPECT_EQ(mixed->toLiteral(), "[ \"q\"t\", -12, P\"/b/p\", v[1], [ \"r\" ] ]");
}

// get answers an in-range integer key with the shared item; every other key fails exactly.
TEST(TolmListTest, GetWithKeys)
{
    auto ab = listOf({text("a"), text("b")});
    EXPECT_EQ(ab->get(at(1)), ab->items()[1]);
    const std::pair<AccessKey, std::string> failures[] = {
        {at(2), "[2]"}, {at(-1), "[-1]"}, {KeyRange{0, 1, 1}, "[0:1:1]"}, {"x", "x"}, {KeyPattern{"p"}, "/p/"}};
    for (const auto& [key, keyText] : failures)
        EXPECT_EQ(failureMessage<IndexException>([&] { ab->get(key); }),
                  "Variable [ \"a\", \"b\" ] cannot be indexed with " + keyText);
}

// append/add share a list operand's items and clone any other operand; add and clone leave this list alone.
TEST(TolmListTest, SharingAndCloning)
{
    auto x = text("x"), z = text("z");
    auto inner = listOf({text("i")});
    auto list = listOf({text("a")});
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
    EXPECT_THROW(TolmList({text("a"), nullptr}), TolmException);
    EXPECT_THROW(makeListValue({nullptr}), TolmException);
    TolmList list;
    EXPECT_THROW(list.push(nullptr), TolmException);
    EXPECT_EQ(list.size(), 0u);
}

// Lists compare item by item, a proper prefix first; ordering against a non-list fails naming the operand first.
TEST(TolmListTest, Comparisons)
{
    auto one = listOf({num(1)}), two = listOf({num(2)}), oneTwo = listOf({num(1), num(2)}), empty = listOf({});
    EXPECT_TRUE(listOf({text("a")})->equals(*listOf({text("A")})));
    EXPECT_FALSE(one->equals(*oneTwo));
    EXPECT_TRUE(empty->equals(*listOf({})));
    EXPECT_TRUE(listOf({text("a")})->notEquals(*text("a")));
    EXPECT_TRUE(one->lessThan(*oneTwo) && oneTwo->lessThan(*two) && two->greaterThan(*oneTwo));
    EXPECT_FALSE(empty->lessThan(*listOf({})) || empty->greaterThan(*listOf({})));
    EXPECT_EQ(failureMessage<BadConversion>([&] { one->lessThan(*text("s")); }),
              "Cannot convert TolmString \"s\" to TolmList");
    EXPECT_EQ(failureMessage<BadConversion>([&] { one->greaterThan(*num(3)); }),
              "Cannot convert TolmInt 3 to TolmList");
}

// Resolving gives one flat new list; an item that resolves to no value is reported, not stored.
TEST(TolmListTest, ResolveFlattens)
{
    struct : Resolver {
        TolmValuePtr named = listOf({text("l1"), text("l2")});
        TolmValuePtr lookup(const Identifier& id) override { return id.toString() == "L" ? named : nullptr; }
    } resolver;
    auto nested = std::make_shared<TolmString>("n1");
    auto list = listOf({text("s"), listOf({nested, text("n2")}), ident("L")});
    list->setResolver(&resolver);
    EXPECT_EQ(nested->resolver, &resolver);
    EXPECT_EQ(elementTexts(list->resolve()), (std::vector<std::string>{"s", "n1", "n2", "l1", "l2"}));
    EXPECT_EQ(list->size(), 3u);
    EXPECT_THROW(list->begin()->equals(*num(1)->begin()), InternalError);
    auto missing = listOf({ident("missing")});
    missing->setResolver(&resolver);
    EXPECT_EQ(failureMessage<TolmException>([&] { missing->resolve(); }), "List item missing resolved to no value.");
}

}  // namespace
}  // namespace Tolm
