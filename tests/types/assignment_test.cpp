#include "types/assignment.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/tolm_exceptions.h"

namespace Tolm {
namespace {

using namespace TestSupport;

// Each operator merges by its rule, only mode 1 takes the incoming modifier (SetIfEmpty on a value changes
// neither), the entry keeps its name and type, and resolved is cleared.
TEST(AssignmentTest, MergeRules)
{
    struct Case {
        const char *existing, *incoming;  // nullptr: no value
        Type type;
        std::uint32_t mode;
        const char* value;
        std::uint32_t modifier;
    } cases[] = {
        {"old", "new", Type::Set, 0, "new", 1},        {"old", nullptr, Type::Set, 1, "<none>", 2},
        {"old", "new", Type::Append, 0, "old new", 1}, {nullptr, "new", Type::Append, 0, "new", 1},
        {"old", nullptr, Type::Append, 1, "old", 2},   {"old", "new", Type::SetIfEmpty, 1, "old", 1},
        {nullptr, "new", Type::SetIfEmpty, 1, "new", 2}, {"old", "new", Type::Declare, 0, "<none>", 1}};
    for (const Case& c : cases) {
        Assignment entry("X", c.existing ? str(c.existing) : nullptr, Type::Set, 1);
        entry.resolved = true;
        entry.mergeFrom(Assignment("x", c.incoming ? str(c.incoming) : nullptr, c.type, 2), c.mode);
        SCOPED_TRACE(entry.toString());
        EXPECT_EQ(entry.value ? entry.value->toString() : "<none>", c.value);
        EXPECT_EQ(entry.modifier, c.modifier);
        EXPECT_EQ(entry.name, "X");
        EXPECT_EQ(entry.type, Type::Set);
        EXPECT_FALSE(entry.resolved);
    }
}

// Append onto an entry without a value takes a clone, so later appends there cannot reach the supplier.
TEST(AssignmentTest, AppendOntoNothingTakesClone)
{
    Assignment entry("X", nullptr, Type::Set, 0);
    TolmValuePtr supplied = makeListValue({str("a")});
    entry.mergeFrom(append("X", supplied), 0);
    entry.mergeFrom(append("X", str("b")), 0);
    EXPECT_EQ(entry.value->toString() + "|" + supplied->toString(), "a b|a");
}

// An unknown operator or a refused append fails and leaves value, resolved and modifier as they were.
TEST(AssignmentTest, RefusedMergeLeavesEntry)
{
    Assignment entry("X", str("old"), Type::Set, 1);
    entry.resolved = true;
    EXPECT_EQ(failureText<AssignmentException>([&] { entry.mergeFrom(Assignment("X", str("b"), Type(7), 2), 1); }),
              "Attempted to modify assignment: X = \"old\" with X\"b\"");
    entry.value = ref("Y");
    EXPECT_THROW(entry.mergeFrom(append("X", str("b")), 1), BadOperation);
    EXPECT_TRUE(entry.resolved);
    EXPECT_EQ(entry.modifier, 1u);
}

// Equality ignores name case, type and modifier; resolution is cached until replaceValue starts over.
TEST(AssignmentTest, EqualityAndResolution)
{
    EXPECT_TRUE(set("abc", nullptr) == Assignment("ABC", nullptr, Type::Declare, 2));
    EXPECT_TRUE(set("x", str("Foo")) == append("X", str("foo")));
    EXPECT_FALSE(set("x", str("a")) == set("x", nullptr));
    EXPECT_FALSE(set("ab", nullptr) == set("abc", nullptr));
    Assignment a("X", str("text"), Type::Set, 0);
    TolmValuePtr first = a.resolve();
    EXPECT_EQ(a.resolve(), first);
    EXPECT_EQ(a.replaceValue(str("other")), first);
    EXPECT_FALSE(a.resolved);
    EXPECT_EQ(a.resolve()->toString(), "other");
}

}  // namespace
}  // namespace Tolm
