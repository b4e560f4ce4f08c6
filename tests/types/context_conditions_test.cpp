#include "types/context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/context_template.h"
#include "types/tolm_exceptions.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using Op = Condition::OperatorType;

std::shared_ptr<ContextTemplate> block(std::vector<Assignment> assignments,
                                       std::vector<ConditionalBlock> nested = {})
{
    return std::make_shared<ContextTemplate>(std::move(assignments), std::move(nested));
}

ConditionalBlock when(const std::string& variable, std::shared_ptr<ContextTemplate> guarded)
{
    return {Condition{ref(variable), nullptr, Op::Exists}, std::move(guarded)};
}

ConditionalBlock whenEqual(const std::string& variable, const std::string& text,
                           std::shared_ptr<ContextTemplate> guarded, Op op = Op::Equal)
{
    return {Condition{ref(variable), str(text), op}, std::move(guarded)};
}

std::string text(Context& c, const std::string& name)
{
    const Assignment& a = c.assignments.at(name);
    return a.value ? a.value->toString() : "<none>";
}

// An Exists block on an undefined variable stays; once the variable exists a later pass applies it.
TEST(ContextConditionsTest, ExistsWaitsForVariable)
{
    Context c({}, {when("A", block({set("B", str("b"))}))});
    c.evaluateConditions();
    EXPECT_EQ(c.conditions.size(), 1u);
    EXPECT_EQ(c.assignments.count("B"), 0u);

    c.addAssignment(Assignment("A", nullptr, Type::Declare, 0), 0);
    c.evaluateConditions();
    EXPECT_TRUE(c.conditions.empty());
    EXPECT_EQ(text(c, "B"), "b");
}

// A comparison on an undefined variable fails with the Assignment not-found message.
TEST(ContextConditionsTest, ComparisonOnUndefinedFails)
{
    Context c({}, {whenEqual("A", "x", block({}))});
    try {
        c.evaluateConditions();
        FAIL() << "no exception";
    } catch (const NotFoundException& failure) {
        EXPECT_EQ(failure.message(), "Assignment 'A' not found.");
    }
}

// A comparison on a variable without a value fails naming it instead of comparing nothing.
TEST(ContextConditionsTest, ComparisonOnEmptyVariableFails)
{
    Context c({Assignment("A", nullptr, Type::Declare, 0)}, {whenEqual("A", "x", block({}))});
    try {
        c.evaluateConditions();
        FAIL() << "no exception";
    } catch (const TolmException& failure) {
        EXPECT_NE(failure.message().find("'A'"), std::string::npos) << failure.message();
    }
}

// A condition that did not hold is not retried in the same pass, even when a later block makes it hold.
TEST(ContextConditionsTest, EarlierConditionWaitsForNextPass)
{
    Context c({set("MODE", str("debug"))},
              {when("LATE", block({set("SEEN", str("yes"))})),
               whenEqual("MODE", "DEBUG", block({set("LATE", str("1"))}))});
    c.evaluateConditions();
    EXPECT_EQ(c.assignments.count("SEEN"), 0u);
    EXPECT_EQ(text(c, "LATE"), "1");
    ASSERT_EQ(c.conditions.size(), 1u);

    c.evaluateConditions();
    EXPECT_EQ(text(c, "SEEN"), "yes");
    EXPECT_TRUE(c.conditions.empty());
}

// A holding block is replaced in place by its nested blocks, evaluated before its later siblings.
TEST(ContextConditionsTest, NestedBlocksRunBeforeLaterSiblings)
{
    auto inner = block({append("ORDER", str("inner"))});
    auto outer = block({append("ORDER", str("outer")), set("FLAG", str("on"))},
                       {whenEqual("FLAG", "on", inner), whenEqual("FLAG", "off", block({}))});
    Context c({set("ORDER", str("start"))},
              {whenEqual("ORDER", "start", outer), when("FLAG", block({append("ORDER", str("sibling"))})),
               whenEqual("ORDER", "never", block({}))});
    c.evaluateConditions();
    EXPECT_EQ(text(c, "ORDER"), "start outer inner sibling");
    // Left: the nested block that did not hold, in place of its parent, then the later sibling that did not.
    ASSERT_EQ(c.conditions.size(), 2u);
    EXPECT_EQ(c.conditions[0].first.right->toString(), "off");
    EXPECT_EQ(c.conditions[1].first.right->toString(), "never");
}

// An operator number outside 1 to 5 is an internal error.
TEST(ContextConditionsTest, UnknownOperator)
{
    Context c({set("A", str("a"))}, {{Condition{ref("A"), str("a"), static_cast<Op>(9)}, block({})}});
    EXPECT_THROW(c.evaluateConditions(), InternalError);
}

// Blocks applied before a failure stay applied.
TEST(ContextConditionsTest, FailureKeepsEarlierBlocks)
{
    Context c({set("A", str("a"))},
              {when("A", block({set("DONE", str("1"))})), whenEqual("MISSING", "x", block({}))});
    EXPECT_THROW(c.evaluateConditions(), NotFoundException);
    EXPECT_EQ(text(c, "DONE"), "1");
}

// Each application of a guarded block works on its own clones: the template is unchanged.
TEST(ContextConditionsTest, AppliedBlockDoesNotChangeTemplate)
{
    auto guarded = block({set("L", makeListValue({str("a")}))});
    Context first({set("A", str("1"))}, {when("A", guarded)});
    Context second({set("A", str("1"))}, {when("A", guarded)});
    first.evaluateConditions();
    second.evaluateConditions();
    first.addAssignment(append("L", str("b")), 0);
    EXPECT_EQ(text(first, "L"), "a b");
    EXPECT_EQ(text(second, "L"), "a");
    EXPECT_EQ(guarded->assignments[0].value->toString(), "a");
}

}  // namespace
}  // namespace Tolm
