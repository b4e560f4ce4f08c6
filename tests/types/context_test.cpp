#include "types/context.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/test_support.h"
#include "types/target_context.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using Op = Condition::OperatorType;

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

// An entry of another variable, an unknown operator or a refused append fails and leaves value, resolved and
// modifier as they were.
TEST(AssignmentTest, RefusedMergeLeavesEntry)
{
    Assignment entry("X", str("old"), Type::Set, 1);
    entry.resolved = true;
    EXPECT_EQ(failureOf<AssignmentException>([&] { entry.mergeFrom(set("Y", str("b"), 2), 1); }),
              "Attempted to modify assignment: X = \"old\" with Y = \"b\"");
    EXPECT_EQ(failureOf<AssignmentException>([&] { entry.mergeFrom(Assignment("X", str("b"), Type(7), 2), 1); }),
              "Attempted to modify assignment: X = \"old\" with X\"b\"");
    EXPECT_EQ(entry.value->toString() + std::to_string(entry.modifier) + std::to_string(entry.resolved), "old11");
    entry.value = ref("Y");
    EXPECT_THROW(entry.mergeFrom(append("X", str("b")), 1), BadOperation);
    EXPECT_EQ(entry.value->toString() + std::to_string(entry.modifier) + std::to_string(entry.resolved), "Y11");
}

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
// and a value still resolves through its own context after a context it was passed to is gone; a copy
// keeps a resolved identifier sharing the value of the variable it names, so += shows through both.
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
    Context source({set("Y", makeListValue({str("a")})), set("X", ref("Y"))}, {});
    source.resolveVariables();
    Context sharing(source);
    sharing.addAssignment(append("X", str("b")), 0);
    EXPECT_EQ(textOf(sharing, "Y") + "|" + textOf(source, "Y"), "a b|a");
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

// A compared text is expanded afresh on each pass, not kept as its first expansion.
TEST(ContextConditionsTest, ComparedTextExpandsOnEachPass)
{
    Context later({set("A", str("x"))}, {whenIs("A", "${B}", block({set("HIT", str("1"))}))});
    LogCapture capture(7);
    later.evaluateConditions();
    later.addAssignment(set("B", str("x")), 0);
    later.evaluateConditions();
    EXPECT_EQ(later.assignments.count("HIT"), 1u);
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
    EXPECT_EQ(failureOf<NotFoundException>([&] { undefined.evaluateConditions(); }), "Assignment 'M' not found.");
    EXPECT_EQ(textOf(undefined, "DONE"), "1");
    Context empty({declare("A")}, {whenIs("A", "x", block({}))});
    EXPECT_EQ(failureOf<TolmException>([&] { empty.evaluateConditions(); }), "Variable 'A' has no value to compare.");
    Context odd({set("A", str("a"))}, {{Condition{ref("A"), str("a"), Op(9)}, block({})}});
    EXPECT_THROW(odd.evaluateConditions(), InternalError);
}

// A holding block is replaced in place by its nested blocks, evaluated right after it and before its later
// siblings; a condition that did not hold waits for the next pass, even when a later block makes it hold,
// and the conditions that did not hold stay in order.
TEST(ContextConditionsTest, EvaluationOrder)
{
    auto outer = block({append("ORDER", str("outer")), set("FLAG", str("on")), set("LATE", str("1"))},
                       {whenIs("FLAG", "on", block({append("ORDER", str("inner"))})),
                        whenIs("FLAG", "off", block({}))});
    Context c({set("ORDER", str("start"))}, {when("LATE", block({append("ORDER", str("late"))})),
                                            whenIs("ORDER", "start", outer),
                                            when("FLAG", block({append("ORDER", str("sibling"))})),
                                            whenIs("ORDER", "never", block({}))});
    c.evaluateConditions();
    EXPECT_EQ(textOf(c, "ORDER"), "start outer inner sibling");
    EXPECT_EQ(c.conditions.size(), 3u);
    c.evaluateConditions();
    EXPECT_EQ(textOf(c, "ORDER"), "start outer inner sibling late");
    ASSERT_EQ(c.conditions.size(), 2u);
    EXPECT_EQ(c.conditions[0].first.right->toString() + c.conditions[1].first.right->toString(), "offnever");
}

struct ContextLookupTest : testing::Test {
    Context c;
    TolmValuePtr look(const std::string& text) { return c.lookup(parsedIdentifier(text)); }
    template <typename Failure>
    std::string failure(const std::string& text) { return failureOf<Failure>([&] { look(text); }); }
};

// Names, dotted names and indexes: a.b stores the resolved value in the nested entry, also through a base
// naming a context value that nothing resolved yet; an index selects from the base's resolved value and
// stores nothing; index identifiers give an integer or a text key.
TEST_F(ContextLookupTest, Reaches)
{
    for (const Assignment& a : {set("Y", str("why")), set("a", contextValue({set("b", ref("Y"))})),
                                set("s", str("xyz")), set("L", makeListValue({str("p"), str("q")})),
                                set("viaRef", ref("L")), set("i", makeIntValue(1)), set("name", str("k")),
                                set("ctx", contextValue({set("k", str("kv"))})), set("alias", ref("ctx"))})
        c.addAssignment(a, 0);
    EXPECT_EQ(look("alias.k")->toString(), "kv");
    EXPECT_EQ(look("A.B")->toString(), "why");
    EXPECT_TRUE(dynamic_cast<TolmContext&>(*c.assignments.at("a").value).context->assignments.at("b").resolved);
    EXPECT_EQ(look("s[0]")->toString() + look("viaRef[1]")->toString() + look("L[i]")->toString(), "xqq");
    EXPECT_EQ(look("ctx[name]")->toString(), "kv");
    EXPECT_EQ(textOf(c, "s"), "xyz");
}

// Each way a name fails to resolve, with its exact text; a position or range on a context value, also one
// reached by name, is the user's mistake, never a standard failure only a fault could raise.
TEST_F(ContextLookupTest, Failures)
{
    for (const Assignment& a : {set("t", str("text")), set("a", contextValue({set("b", str("1"))})), declare("none"),
                                set("L", makeListValue({str("p"), str("q")})),
                                set("flags", contextValue({set("CFLAGS", str("-O2")), set("LDFLAGS", str(""))})),
                                set("outer", contextValue({set("inner", contextValue({set("x", str("1"))}))}))})
        c.addAssignment(a, 0);
    const std::string position = "Cannot index a context value with ";
    EXPECT_EQ(failure<TolmException>("flags[0]"),
              position + "[0]; select one of its variables (CFLAGS LDFLAGS) by name.");
    EXPECT_EQ(failure<TolmException>("flags[0..1]"),
              position + "[0:1:1]; select one of its variables (CFLAGS LDFLAGS) by name.");
    EXPECT_EQ(failure<TolmException>("outer.inner[1]"), position + "[1]; select one of its variables (x) by name.");
    EXPECT_EQ(failure<NotFoundException>("X"), "Assignment 'X' not found.");
    EXPECT_EQ(failure<NotFoundException>("a.missing"), "Assignment 'missing' not found.");
    EXPECT_EQ(failure<IdentifierError>("t.x"), "Identifier part must be context. t. <<");
    EXPECT_EQ(failure<IdentifierError>("a.b.c"), "Identifier part must be context. a.b. <<");
    EXPECT_EQ(failure<std::out_of_range>("nothing[0]"), "Variable 'nothing[0]' not found.");
    EXPECT_EQ(failure<TolmException>("none[0]"), "Variable 'none' has no value to select from.");
    EXPECT_EQ(failure<std::runtime_error>("L[L]"), "Unsupported key type: [ \"p\", \"q\" ]");
    EXPECT_EQ(failure<std::invalid_argument>("L[none]"), "key value is null");
    EXPECT_THROW(c.lookup(Identifier()), InternalError);
}

// A variable that refers to itself, directly, through others or through an enclosing text, fails with
// std::out_of_range naming, in words, the reference where the cycle closes, again on a second try.
TEST_F(ContextLookupTest, SelfReferenceIsCycle)
{
    for (const Assignment& a : {set("A", ref("A")), set("P", ref("q")), set("Q", ref("p")), set("S", str("${S}")),
                                set("X", str("pre ${b}")), set("B", str("${x}")), set("OUTER", str("<${S}>")),
                                set("I", str("${I[0]}"))})
        c.addAssignment(a, 0);
    const auto cycle = [](std::string name) {
        return "Variable '" + name + "' refers to itself, directly or through others.";
    };
    for (auto [name, closing] :
         {std::pair{"A", "A"}, {"P", "p"}, {"S", "S"}, {"X", "x"}, {"OUTER", "S"}, {"I", "I[0]"}}) {
        EXPECT_EQ(failure<std::out_of_range>(name), cycle(closing)) << name;
        EXPECT_EQ(failure<std::out_of_range>(name), cycle(closing)) << name << " again";
    }
    EXPECT_EQ(textOf(c, "S"), "${S}");
    EXPECT_THROW(c.resolveVariables(), std::out_of_range);
}

}  // namespace
}  // namespace Tolm
