#include "types/tolm_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"

namespace Tolm {
namespace {

std::shared_ptr<TolmList> listOf(std::vector<TolmValuePtr> items)
{
    return std::make_shared<TolmList>(std::move(items));
}

Identifier parsed(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error));
    return id;
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

// Plain text joins items with one space; the literal spaces and comma-separates them.
TEST(TolmListTest, TextAndLiteralForms)
{
    auto ab = listOf({makeStringValue("a"), makeStringValue("b")});
    EXPECT_EQ(ab->toString(), "a b");
    EXPECT_EQ(ab->toLiteral(), "[ \"a\", \"b\" ]");
    EXPECT_EQ(listOf({makeStringValue("a")})->toLiteral(), "[ \"a\" ]");
    EXPECT_EQ(listOf({})->toLiteral(), "[]");
    EXPECT_EQ(listOf({})->toString(), "");
    auto mixed = listOf({makeIntValue(3), makePathStringValue("/b", std::string("p")),
                         std::make_shared<TolmIdentifier>(parsed("v[1]")), listOf({makeRawStringValue("r")})});
    EXPECT_EQ(mixed->toLiteral(), "[ 3, P\"/b/p\", v[1], [ \"r\" ] ]");
}

// get answers only in-range integer keys, with the shared item itself.
TEST(TolmListTest, GetWithKeys)
{
    auto b = makeStringValue("b");
    auto ab = listOf({makeStringValue("a"), b});
    EXPECT_EQ(ab->get(AccessKey(std::int64_t{1})), b);
    try {
        ab->get(AccessKey(std::int64_t{2}));
        FAIL();
    } catch (const IndexException& e) {
        EXPECT_EQ(e.message(), "Variable [ \"a\", \"b\" ] cannot be indexed with [2]");
    }
    EXPECT_THROW(ab->get(AccessKey(std::int64_t{-1})), IndexException);
    try {
        ab->get(AccessKey(KeyRange{0, 1, 1}));
        FAIL();
    } catch (const IndexException& e) {
        EXPECT_EQ(e.message(), "Variable [ \"a\", \"b\" ] cannot be indexed with [0:1:1]");
    }
    EXPECT_THROW(ab->get(AccessKey(std::string("x"))), IndexException);
}

// Appending a list shares its items; appending anything else adds a copy.
TEST(TolmListTest, AppendSharesListsClonesOthers)
{
    auto x = makeStringValue("x");
    auto y = makeStringValue("y");
    auto list = listOf({makeStringValue("a")});
    list->append(*listOf({x, y}));
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ(list->items()[1], x);
    EXPECT_EQ(list->items()[2], y);

    auto z = makeStringValue("z");
    list->append(*z);
    ASSERT_EQ(list->size(), 4u);
    EXPECT_NE(list->items()[3], z);
    EXPECT_EQ(list->items()[3]->toString(), "z");
}

// A nested list is flattened only one level by append.
TEST(TolmListTest, AppendFlattensOneLevel)
{
    auto inner = listOf({makeStringValue("i")});
    auto list = listOf({});
    list->append(*listOf({inner}));
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ(list->items()[0], inner);
}

// A list appended to itself doubles once instead of reading items that move under it.
TEST(TolmListTest, AppendToItself)
{
    auto list = listOf({makeStringValue("a"), makeStringValue("b")});
    list->append(*list);
    EXPECT_EQ(list->toString(), "a b a b");
}

// add leaves the list unchanged and shares its items with the result.
TEST(TolmListTest, AddLeavesListUnchanged)
{
    auto a = makeStringValue("a");
    auto list = listOf({a});
    auto result = list->add(*makeStringValue("z"));
    EXPECT_EQ(list->size(), 1u);
    EXPECT_EQ(result->toString(), "a z");
    EXPECT_EQ(result->get(AccessKey(std::int64_t{0})), a);
}

// A clone holds clones of the items, never the same objects.
TEST(TolmListTest, CloneIsDeep)
{
    auto a = makeStringValue("a");
    auto list = listOf({a});
    auto copy = list->clone();
    EXPECT_NE(copy->get(AccessKey(std::int64_t{0})), a);
    copy->get(AccessKey(std::int64_t{0}))->append(*makeStringValue("b"));
    EXPECT_EQ(a->toString(), "a");
}

// A list never takes an empty item, by any way in.
TEST(TolmListTest, RejectsEmptyItems)
{
    EXPECT_THROW(TolmList({makeStringValue("a"), nullptr}), TolmException);
    TolmList list;
    EXPECT_THROW(list.push(nullptr), TolmException);
    EXPECT_THROW(makeListValue({nullptr}), TolmException);
    EXPECT_EQ(list.size(), 0u);
}

// Lists are equal item by item; an empty list equals an empty list and no list equals a string.
TEST(TolmListTest, Equality)
{
    EXPECT_TRUE(listOf({makeStringValue("a")})->equals(*listOf({makeStringValue("A")})));
    EXPECT_FALSE(listOf({makeStringValue("a")})->equals(*listOf({makeStringValue("a"), makeStringValue("b")})));
    EXPECT_TRUE(listOf({})->equals(*listOf({})));
    EXPECT_FALSE(listOf({makeStringValue("a")})->equals(*makeStringValue("a")));
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
    try {
        one->lessThan(*makeStringValue("s"));
        FAIL();
    } catch (const BadConversion& e) {
        EXPECT_EQ(e.message(), "Cannot convert TolmString \"s\" to TolmList");
    }
}

// Iteration visits the shared items in order; foreign iterators cannot be compared.
TEST(TolmListTest, Iteration)
{
    auto a = makeStringValue("a");
    auto list = listOf({a, makeIntValue(2)});
    auto it = list->begin();
    EXPECT_EQ(it->current(), a);
    it->advance();
    EXPECT_EQ(it->current()->toString(), "2");
    it->advance();
    EXPECT_TRUE(it->equals(*list->end()));
    EXPECT_THROW(it->equals(*makeIntValue(1)->begin()), InternalError);
}

// Resolving splices nested lists and what identifiers name into one flat new list.
TEST(TolmListTest, ResolveFlattens)
{
    TableResolver resolver;
    resolver.table["L"] = listOf({makeStringValue("l1"), makeStringValue("l2")});
    auto list = listOf({makeStringValue("s"), listOf({makeStringValue("n1"), makeStringValue("n2")}),
                        std::make_shared<TolmIdentifier>(parsed("L"))});
    list->setResolver(&resolver);
    auto resolved = list->resolve();
    EXPECT_EQ(resolved->toString(), "s n1 n2 l1 l2");
    EXPECT_EQ(dynamic_cast<TolmList&>(*resolved).size(), 5u);
    EXPECT_EQ(list->size(), 3u);
}

// setResolver reaches the items, also inside nested lists.
TEST(TolmListTest, SetResolverReachesItems)
{
    TableResolver resolver;
    auto inner = std::make_shared<TolmString>("s");
    auto list = listOf({listOf({inner})});
    list->setResolver(&resolver);
    EXPECT_EQ(inner->resolver, &resolver);
}

// An item that resolves to no value is reported rather than stored as an empty item.
TEST(TolmListTest, ResolveToNothingFails)
{
    TableResolver resolver;
    auto list = listOf({std::make_shared<TolmIdentifier>(parsed("missing"))});
    list->setResolver(&resolver);
    try {
        list->resolve();
        FAIL();
    } catch (const TolmException& e) {
        EXPECT_EQ(e.message(), "List item missing resolved to no value.");
    }
}

}  // namespace
}  // namespace Tolm
