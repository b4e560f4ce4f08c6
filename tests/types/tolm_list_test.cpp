#include "types/tolm_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {

using TestHelpers::failureMessage;
using TestHelpers::parsedIdentifier;

std::shared_ptr<TolmList> listOf(std::vector<TolmValuePtr> items)
{
    return std::make_shared<TolmList>(std::move(items));
}

TolmValuePtr identifierValue(const std::string& text)
{
    return std::make_shared<TolmIdentifier>(parsedIdentifier(text));
}

// Answers lookups from a fixed table of names.
struct TableResolver : Resolver {
    std::map<std::string, TolmValuePtr> table;
    TolmValuePtr lookup(const Identifier& identifier) override
    {
        auto it = table.find(identifier.toString());
        return it == table.end() ? nullptr : it->second;
    }
};

// Plain text joins items with one space; the literal spaces and comma-separates item literals.
TEST(TolmListTest, TextAndLiteralForms)
{
    auto ab = listOf({makeStringValue("a"), makeStringValue("b")});
    EXPECT_EQ(ab->toString(), "a b");
    EXPECT_EQ(ab->toLiteral(), "[ \"a\", \"b\" ]");
    EXPECT_EQ(listOf({makeStringValue("a")})->toLiteral(), "[ \"a\" ]");
    EXPECT_EQ(listOf({})->toLiteral(), "[]");
    EXPECT_EQ(listOf({})->toString(), "");
    auto mixed = listOf({makeIntValue(-12), makePathStringValue("/b", std::string("p")),
                         identifierValue("v[1]"), listOf({makeRawStringValue("r")})});
    EXPECT_EQ(mixed->toLiteral(), "[ -12, P\"/b/p\", v[1], [ \"r\" ] ]");
}

// get answers only in-range integer keys, with the shared item itself.
TEST(TolmListTest, GetWithKeys)
{
    auto b = makeStringValue("b");
    auto ab = listOf({makeStringValue("a"), b});
    EXPECT_EQ(ab->get(AccessKey(std::int64_t{1})), b);
    EXPECT_EQ(failureMessage<IndexException>([&] { ab->get(AccessKey(std::int64_t{2})); }),
              "Variable [ \"a\", \"b\" ] cannot be indexed with [2]");
    EXPECT_EQ(failureMessage<IndexException>([&] { ab->get(AccessKey(KeyRange{0, 1, 1})); }),
              "Variable [ \"a\", \"b\" ] cannot be indexed with [0:1:1]");
    EXPECT_THROW(ab->get(AccessKey(std::int64_t{-1})), IndexException);
    EXPECT_THROW(ab->get(AccessKey(std::string("x"))), IndexException);
}

// Appending a list shares its items, flattening one level; anything else is added as a copy.
TEST(TolmListTest, AppendSharesListsClonesOthers)
{
    auto x = makeStringValue("x");
    auto inner = listOf({makeStringValue("i")});
    auto list = listOf({makeStringValue("a")});
    list->append(*listOf({x, inner}));
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ(list->items()[1], x);
    EXPECT_EQ(list->items()[2], inner);

    auto z = makeStringValue("z");
    list->append(*z);
    ASSERT_EQ(list->size(), 4u);
    EXPECT_NE(list->items()[3], z);
    EXPECT_EQ(list->items()[3]->toString(), "z");
}

// A list appended to itself doubles once instead of reading items that move under it.
TEST(TolmListTest, AppendToItself)
{
    auto list = listOf({makeStringValue("a"), makeStringValue("b")});
    list->append(*list);
    EXPECT_EQ(list->toString(), "a b a b");
}

// add leaves the list unchanged and shares its items with the result; clone copies them.
TEST(TolmListTest, AddSharesCloneCopies)
{
    auto a = makeStringValue("a");
    auto list = listOf({a});
    auto sum = list->add(*makeStringValue("z"));
    EXPECT_EQ(list->size(), 1u);
    EXPECT_EQ(sum->toString(), "a z");
    EXPECT_EQ(sum->get(AccessKey(std::int64_t{0})), a);

    auto copy = list->clone();
    copy->get(AccessKey(std::int64_t{0}))->append(*makeStringValue("b"));
    EXPECT_EQ(a->toString(), "a");
}

// A list never takes an empty item, by any way in.
TEST(TolmListTest, RejectsEmptyItems)
{
    EXPECT_THROW(TolmList({makeStringValue("a"), nullptr}), TolmException);
    EXPECT_THROW(makeListValue({nullptr}), TolmException);
    TolmList list;
    EXPECT_THROW(list.push(nullptr), TolmException);
    EXPECT_EQ(list.size(), 0u);
}

// Lists are equal item by item; empty lists are equal and no list equals a string.
TEST(TolmListTest, Equality)
{
    EXPECT_TRUE(listOf({makeStringValue("a")})->equals(*listOf({makeStringValue("A")})));
    EXPECT_FALSE(listOf({makeStringValue("a")})->equals(*listOf({makeStringValue("a"), makeStringValue("b")})));
    EXPECT_TRUE(listOf({})->equals(*listOf({})));
    EXPECT_TRUE(listOf({makeStringValue("a")})->notEquals(*makeStringValue("a")));
}

// Lists order lexicographically; a proper prefix is less; non-lists are refused.
TEST(TolmListTest, Ordering)
{
    auto one = listOf({makeIntValue(1)});
    auto oneTwo = listOf({makeIntValue(1), makeIntValue(2)});
    auto two = listOf({makeIntValue(2)});
    EXPECT_TRUE(one->lessThan(*oneTwo));
    EXPECT_TRUE(oneTwo->lessThan(*two));
    EXPECT_TRUE(two->greaterThan(*oneTwo));
    EXPECT_FALSE(listOf({})->lessThan(*listOf({})));
    EXPECT_FALSE(listOf({})->greaterThan(*listOf({})));
    EXPECT_EQ(failureMessage<BadConversion>([&] { one->lessThan(*makeStringValue("s")); }),
              "Cannot convert TolmString \"s\" to TolmList");
}

// Iteration visits the shared items in order; foreign iterators cannot be compared.
TEST(TolmListTest, Iteration)
{
    auto a = makeStringValue("a");
    auto list = listOf({a});
    auto it = list->begin();
    EXPECT_EQ(it->current(), a);
    it->advance();
    EXPECT_TRUE(it->equals(*list->end()));
    EXPECT_THROW(it->equals(*makeIntValue(1)->begin()), InternalError);
}

// Resolving splices nested lists and what identifiers name into one flat new list.
TEST(TolmListTest, ResolveFlattens)
{
    TableResolver resolver;
    resolver.table["L"] = listOf({makeStringValue("l1"), makeStringValue("l2")});
    auto nested = std::make_shared<TolmString>("n1");
    auto list = listOf({makeStringValue("s"), listOf({nested, makeStringValue("n2")}), identifierValue("L")});
    list->setResolver(&resolver);
    EXPECT_EQ(nested->resolver, &resolver);  // handed down into nested lists

    auto resolved = list->resolve();
    EXPECT_EQ(resolved->toString(), "s n1 n2 l1 l2");
    EXPECT_EQ(dynamic_cast<TolmList&>(*resolved).size(), 5u);
    EXPECT_EQ(list->size(), 3u);
}

// An item that resolves to no value is reported rather than stored as an empty item.
TEST(TolmListTest, ResolveToNothingFails)
{
    TableResolver resolver;
    auto list = listOf({identifierValue("missing")});
    list->setResolver(&resolver);
    EXPECT_EQ(failureMessage<TolmException>([&] { list->resolve(); }),
              "List item missing resolved to no value.");
}

}  // namespace
}  // namespace Tolm
