#include "types/context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/target_context.h"

namespace Tolm {
namespace {

using namespace TestSupport;

// The dump: braces, each entry in source form in case-insensitive name order (operators with their blanks,
// a bare declaration as the name alone, no modifier), an empty line; nothing below the threshold; a target
// context first writes its name, the empty namespace as a leading "/".
TEST(ContextTest, DumpText)
{
    Context c({set("b", makeIntValue(2), 1), append("A", str("x y")), declare("c"), set("d", nullptr),
               Assignment("e", str("v"), Type::Declare, 0), Assignment("F", str("f"), Type::SetIfEmpty, 0)}, {});
    TargetContext t({"", "lib", "app"}, {}, {}, {set("X", str("1"))}, {}, {});
    LogCapture capture(3);
    c.dump(3);
    c.dump(2);
    t.dump(3);
    EXPECT_EQ(capture.text(),
              "{\nA += \"x y\"\nb = 2\nc\nd = \ne : \"v\"\nF ?= \"f\"\n}\n\n"
              "/lib::app\n{\nX = \"1\"\n}\n\n");
}

// Template evaluations, merges and copies own their values: an append in one never shows in another,
// and a value still resolves through its own context after a context it was passed to is gone.
TEST(ContextTest, ContextsOwnTheirValues)
{
    ContextTemplate block({set("L", makeListValue({str("a")})), append("l", str("b"))});
    ContextPtr one = block.createContext(), two = block.createContext();
    one->addAssignment(append("L", str("c")), 0);
    Context merged;
    merged.addAssignments(*two);
    merged.addAssignment(append("L", str("d")), 0);
    Context copy(merged);
    copy.addAssignment(append("L", str("e")), 0);
    EXPECT_EQ(textOf(*one, "L") + "|" + textOf(*two, "L") + "|" + textOf(merged, "L") + "|" + textOf(copy, "L"),
              "a b c|a b|a b d|a b d e");
    EXPECT_EQ(block.assignments[0].value->toString(), "a");
    EXPECT_EQ(one->assignments.at("L").type, Type::Set);
    Context holder({set("Y", str("y")), set("X", ref("Y"))}, {});
    Context().addAssignments(holder);
    EXPECT_EQ(holder.lookup(parsedIdentifier("X"))->toString(), "y");
}

// A copy keeps a resolved identifier sharing the value of the variable it names, so += shows through both.
TEST(ContextTest, CopyKeepsSharedValuesShared)
{
    Context source({set("Y", makeListValue({str("a")})), set("X", ref("Y"))}, {});
    source.resolveVariables();
    Context copy(source);
    copy.addAssignment(append("X", str("b")), 0);
    EXPECT_EQ(textOf(copy, "Y") + "|" + textOf(source, "Y"), "a b|a");
}

// mergeVariables gathers values into a Set list after any old value, keeping the old modifier;
// a list operand contributes its items and stays unchanged itself.
TEST(ContextTest, MergeVariables)
{
    Context c({Assignment("T", str("t"), Type::Append, 1)}, {});
    TolmValuePtr supplied = makeListValue({str("x"), str("y")});
    c.mergeVariables({set("A", makeIntValue(1), 2), append("a", makeIntValue(2)), set("T", makeIntValue(1)),
                      set("T", supplied), set("N", nullptr)});
    c.mergeVariables({set("T", str("z"))});
    EXPECT_EQ(c.assignments.at("A").value->toLiteral(), "[ 1, 2 ]");
    EXPECT_EQ(c.assignments.at("A").modifier, 2u);
    EXPECT_EQ(textOf(c, "T") + "|" + textOf(c, "N") + "|" + supplied->toString(), "t 1 x y z||x y");
    EXPECT_EQ(c.assignments.at("T").type, Type::Set);
    EXPECT_EQ(c.assignments.at("T").modifier, 1u);
}

// addImplicitContext retypes each assignment, adds it with the given mode and copies the conditions; a
// refused append is logged at level 2 and returned retyped while the others are still added.
TEST(ContextTest, ImplicitContext)
{
    Context destination({set("A", ref("Z")), set("C", str("c"))}, {});
    Context source({set("A", str("x")), set("B", str("y"), 1), set("C", str("d"), 2)}, {});
    source.conditions.emplace_back(Condition{ref("A"), nullptr, Condition::OperatorType::Exists}, nullptr);
    LogCapture capture(2);
    auto refused = destination.addImplicitContext(source, Type::Append, true, 1);
    EXPECT_EQ(capture.text(),
              "Exception when adding implicit context: Z is not resolved yet and '\"x\"' cannot be appended to it.\n");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].name + std::to_string(int(refused[0].type)), "A2");
    EXPECT_EQ(textOf(destination, "B") + std::to_string(int(destination.assignments.at("B").type)), "y2");
    EXPECT_EQ(textOf(destination, "C") + std::to_string(destination.assignments.at("C").modifier), "c d2");
    EXPECT_EQ(destination.conditions.size(), 1u);
}

}  // namespace
}  // namespace Tolm
