#include "types/context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/tolm_exceptions.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using Op = Condition::OperatorType;

std::shared_ptr<ContextTemplate> block(std::vector<Assignment> assignments, std::vector<ConditionalBlock> nested = {})
{
    return std::make_shared<ContextTemplate>(std::move(assignments), std::move(nested));
}
ConditionalBlock when(const std::string& name, std::shared_ptr<ContextTemplate> b)
{
    return {{ref(name), nullptr, Op::Exists}, b};
}
ConditionalBlock whenIs(const std::string& name, const std::string& text, std::shared_ptr<ContextTemplate> b)
{
    return {{ref(name), str(text), Op::Equal}, b};
}

// An Exists block on an undefined variable stays; once the variable is declared a later pass applies it.
TEST(ContextConditionsTest, ExistsWaitsForVariable)
{
    Context c({}, {when("A", block({set("B", str("b"))}))});
    c.evaluateConditions();
    EXPECT_EQ(c.conditions.size() + c.assignments.size(), 1u);
    c.addAssignment(declare("A"), 0);
    c.evaluateConditions();
    EXPECT_TRUE(c.conditions.empty());
    EXPECT_EQ(textOf(c, "B"), "b");
}

// The comparison operators compare the resolved left value with the right one; undefined fails with the
// Assignment not-found text, no value fails naming the variable, an unknown operator is internal; blocks
// applied before a failure stay applied.
TEST(ContextConditionsTest, Comparisons)
{
    for (auto [op, holds] : {std::pair{Op::Equal, 0u}, {Op::NotEqual, 1u}, {Op::Less, 1u}, {Op::Greater, 0u}}) {
        Context c({set("N", makeIntValue(2)), set("R", ref("N"))},
                  {{Condition{ref("R"), makeIntValue(3), op}, block({set("HIT", str("1"))})}});
        c.evaluateConditions();
        EXPECT_EQ(c.assignments.count("HIT"), holds) << int(op);
    }
    Context undefined({set("A", str("a"))}, {when("A", block({set("DONE", str("1"))})), whenIs("M", "x", block({}))});
    EXPECT_EQ(failureText<NotFoundException>([&] { undefined.evaluateConditions(); }), "Assignment 'M' not found.");
    EXPECT_EQ(textOf(undefined, "DONE"), "1");
    Context empty({declare("A")}, {whenIs("A", "x", block({}))});
    EXPECT_EQ(failureText<TolmException>([&] { empty.evaluateConditions(); }), "Variable 'A' has no value to compare.");
    Context odd({set("A", str("a"))}, {{Condition{ref("A"), str("a"), Op(9)}, block({})}});
    EXPECT_THROW(odd.evaluateConditions(), InternalError);
}

// A condition that did not hold is not retried in the same pass, even when a later block makes it hold.
TEST(ContextConditionsTest, EarlierConditionWaitsForNextPass)
{
    Context c({set("MODE", str("debug"))},
              {when("LATE", block({set("SEEN", str("yes"))})),
               whenIs("MODE", "DEBUG", block({set("LATE", str("1"))}))});
    c.evaluateConditions();
    EXPECT_EQ(c.assignments.count("SEEN"), 0u);
    EXPECT_EQ(textOf(c, "LATE"), "1");
    c.evaluateConditions();
    EXPECT_EQ(textOf(c, "SEEN"), "yes");
    EXPECT_TRUE(c.conditions.empty());
}

// A holding block is replaced in place by its nested blocks, evaluated right after it and before its later
// siblings; the conditions that did not hold stay in order.
TEST(ContextConditionsTest, NestedBlocksRunBeforeLaterSiblings)
{
    auto outer = block({append("ORDER", str("outer")), set("FLAG", str("on"))},
                       {whenIs("FLAG", "on", block({append("ORDER", str("inner"))})),
                        whenIs("FLAG", "off", block({}))});
    Context c({set("ORDER", str("start"))}, {whenIs("ORDER", "start", outer),
                                            when("FLAG", block({append("ORDER", str("sibling"))})),
                                            whenIs("ORDER", "never", block({}))});
    c.evaluateConditions();
    EXPECT_EQ(textOf(c, "ORDER"), "start outer inner sibling");
    ASSERT_EQ(c.conditions.size(), 2u);
    EXPECT_EQ(c.conditions[0].first.right->toString() + c.conditions[1].first.right->toString(), "offnever");
}

}  // namespace
}  // namespace Tolm
