#include "types/assignment.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/resolution_cycle.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;

// The text form writes each operator with its blanks, a bare declaration as the name alone.
TEST(AssignmentTest, TextFormByOperator)
{
    EXPECT_EQ(set("X", str("a")).toString(), "X = \"a\"");
    EXPECT_EQ(append("X", makeIntValue(3)).toString(), "X += 3");
    EXPECT_EQ(Assignment("X", str("a"), Type::SetIfEmpty, 0).toString(), "X ?= \"a\"");
    EXPECT_EQ(set("X", nullptr).toString(), "X = ");
    EXPECT_EQ(Assignment("X", nullptr, Type::Declare, 0).toString(), "X");
    EXPECT_EQ(Assignment("X", str("a"), Type::Declare, 0).toString(), "X : \"a\"");
    EXPECT_EQ(set("X", str("a"), Assignment::OutputModifier).toString(), "X = \"a\"");
}

// Equality ignores name case, type and modifier, and compares values by equals.
TEST(AssignmentTest, Equality)
{
    EXPECT_TRUE(set("abc", nullptr) == Assignment("ABC", nullptr, Type::Declare, 2));
    EXPECT_TRUE(set("x", str("Foo")) == append("X", str("foo")));
    EXPECT_FALSE(set("x", str("a")) == set("x", nullptr));
    EXPECT_FALSE(set("x", str("a")) == set("y", str("a")));
    EXPECT_FALSE(set("ab", nullptr) == set("abc", nullptr));
}

class AssignmentMergeTest : public testing::Test {
protected:
    Assignment entry{"X", str("old"), Type::Set, Assignment::OutputModifier};

    void SetUp() override { entry.resolved = true; }
};

// Append joins texts in place, Set replaces with nothing; name, type and modifier stay.
TEST_F(AssignmentMergeTest, AppendJoinsThenSetReplaces)
{
    entry.mergeFrom(Assignment("x", str("new"), Type::Append, 0), 0);
    EXPECT_EQ(entry.value->toString(), "old new");
    entry.mergeFrom(set("x", nullptr), 0);
    EXPECT_EQ(entry.value, nullptr);
    EXPECT_EQ(entry.name, "X");
    EXPECT_EQ(entry.type, Type::Set);
    EXPECT_FALSE(entry.resolved);
    EXPECT_EQ(entry.modifier, Assignment::OutputModifier);
}

// Append onto an entry without a value takes a clone, so later appends cannot reach the supplier.
TEST_F(AssignmentMergeTest, AppendOntoNothingTakesClone)
{
    entry.value = nullptr;
    TolmValuePtr supplied = makeListValue({str("a")});
    entry.mergeFrom(append("X", supplied), 0);
    ASSERT_NE(entry.value, nullptr);
    EXPECT_NE(entry.value, supplied);
    entry.mergeFrom(append("X", str("b")), 0);
    EXPECT_EQ(entry.value->toString(), "a b");
    EXPECT_EQ(supplied->toString(), "a");
}

// Append of nothing changes no value but still clears resolved and applies mode 1.
TEST_F(AssignmentMergeTest, AppendOfNothing)
{
    TolmValuePtr before = entry.value;
    entry.mergeFrom(append("X", nullptr, Assignment::RequiredModifier), 1);
    EXPECT_EQ(entry.value, before);
    EXPECT_EQ(entry.value->toString(), "old");
    EXPECT_FALSE(entry.resolved);
    EXPECT_EQ(entry.modifier, Assignment::RequiredModifier);
}

// SetIfEmpty keeps an existing value and its modifier even in mode 1, but clears resolved.
TEST_F(AssignmentMergeTest, SetIfEmptyKeepsExistingValue)
{
    entry.mergeFrom(Assignment("X", str("new"), Type::SetIfEmpty, Assignment::RequiredModifier), 1);
    EXPECT_EQ(entry.value->toString(), "old");
    EXPECT_EQ(entry.modifier, Assignment::OutputModifier);
    EXPECT_FALSE(entry.resolved);

    entry.value = nullptr;
    entry.mergeFrom(Assignment("X", str("new"), Type::SetIfEmpty, Assignment::RequiredModifier), 1);
    EXPECT_EQ(entry.value->toString(), "new");
    EXPECT_EQ(entry.modifier, Assignment::RequiredModifier);
}

// A declaration clears the value whatever it carries; mode 0 keeps the modifier.
TEST_F(AssignmentMergeTest, DeclareClears)
{
    entry.mergeFrom(Assignment("X", str("ignored"), Type::Declare, Assignment::RequiredModifier), 0);
    EXPECT_EQ(entry.value, nullptr);
    EXPECT_EQ(entry.modifier, Assignment::OutputModifier);
}

// An unknown operator number fails with both text forms and leaves the entry as it was.
TEST_F(AssignmentMergeTest, UnknownOperatorRefused)
{
    Assignment odd("X", str("b"), static_cast<Type>(7), 0);
    try {
        entry.mergeFrom(odd, 1);
        FAIL() << "no exception";
    } catch (const AssignmentException& failure) {
        EXPECT_STREQ(failure.what(), "Attempted to modify assignment: X = \"old\" with X\"b\"");
    }
    EXPECT_EQ(entry.value->toString(), "old");
    EXPECT_TRUE(entry.resolved);
    EXPECT_EQ(entry.modifier, Assignment::OutputModifier);
}

// A refused append (an unresolved identifier) propagates and leaves resolved and modifier untouched.
TEST_F(AssignmentMergeTest, RefusedAppendLeavesEntry)
{
    entry.value = ref("Y");
    EXPECT_THROW(entry.mergeFrom(append("X", str("b"), 2), 1), BadOperation);
    EXPECT_TRUE(entry.resolved);
    EXPECT_EQ(entry.modifier, Assignment::OutputModifier);
}

// Resolution is cached: a second resolve returns the stored value; replaceValue starts over.
TEST(AssignmentTest, ResolveCachesUntilChanged)
{
    Assignment a("X", str("text"), Type::Set, 0);
    TolmValuePtr first = a.resolve();
    EXPECT_TRUE(a.resolved);
    EXPECT_EQ(a.resolve(), first);
    TolmValuePtr previous = a.replaceValue(str("other"));
    EXPECT_EQ(previous, first);
    EXPECT_FALSE(a.resolved);
    EXPECT_EQ(a.resolve()->toString(), "other");
}

// A copy never inherits the in-progress mark of the entry it was copied from.
TEST(AssignmentTest, CopyStartsUnmarked)
{
    Assignment a("X", str("t"), Type::Set, 0);
    a.resolving.active = true;
    Assignment copy = a;
    EXPECT_FALSE(copy.resolving.active);
    EXPECT_THROW(a.resolve(), ResolutionCycle);
}

}  // namespace
}  // namespace Tolm
