#include "types/context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/context_template.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;

std::vector<std::string> listTexts(const TolmValuePtr& value)
{
    std::vector<std::string> texts;
    auto* list = dynamic_cast<TolmList*>(value.get());
    if (!list) return texts;
    for (const auto& item : list->items()) texts.push_back(item->toString());
    return texts;
}

// X = "a" then X += "b" gives one entry "a b" that keeps the first type.
TEST(ContextTest, AppendJoinsAndKeepsFirstType)
{
    Context c;
    c.addAssignment(set("X", str("a")), 0);
    c.addAssignment(append("x", str("b")), 0);
    ASSERT_EQ(c.assignments.size(), 1u);
    const Assignment& x = c.assignments.at("X");
    EXPECT_EQ(x.value->toString(), "a b");
    EXPECT_EQ(x.type, Type::Set);
}

// A value put into a context is its own: appending there does not change the supplier's value.
TEST(ContextTest, ContextsDoNotShareValues)
{
    Context first;
    first.addAssignment(set("L", makeListValue({str("a")})), 0);
    Context second;
    second.addAssignments(first);
    second.addAssignment(append("L", str("b")), 0);
    EXPECT_EQ(first.assignments.at("L").value->toString(), "a");
    EXPECT_EQ(second.assignments.at("L").value->toString(), "a b");
}

// A value taken from a context that is gone still resolves through the context holding it.
TEST(ContextTest, ValueOutlivesShortLivedContext)
{
    auto holder = std::make_shared<Context>();
    holder->addAssignment(set("Y", str("y")), 0);
    holder->addAssignment(set("X", ref("Y")), 0);
    {
        Context passing;
        passing.addAssignments(*holder);
    }
    EXPECT_EQ(holder->lookup(parsedIdentifier("X"))->toString(), "y");
}

// A copy holds clones pointed at itself; resolving the copy leaves the source unresolved.
TEST(ContextTest, CopyIsIndependent)
{
    Context source;
    source.addAssignment(set("Y", str("y")), 0);
    source.addAssignment(set("X", ref("Y")), 0);
    Context copy(source);
    copy.addAssignment(set("Y", str("other")), 0);
    EXPECT_EQ(copy.lookup(parsedIdentifier("X"))->toString(), "other");
    EXPECT_FALSE(source.assignments.at("X").resolved);
    EXPECT_EQ(source.lookup(parsedIdentifier("X"))->toString(), "y");
}

// mergeVariables gathers values into a list of type Set, after any old value.
TEST(ContextTest, MergeVariablesGathersLists)
{
    Context empty;
    empty.mergeVariables({set("A", makeIntValue(1)), append("a", makeIntValue(2))});
    EXPECT_EQ(listTexts(empty.assignments.at("A").value), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(empty.assignments.at("A").type, Type::Set);

    Context holding;
    holding.addAssignment(Assignment("A", str("t"), Type::Append, Assignment::OutputModifier), 0);
    holding.mergeVariables({set("A", makeIntValue(1), 2), set("A", makeIntValue(2))});
    const Assignment& a = holding.assignments.at("A");
    EXPECT_EQ(listTexts(a.value), (std::vector<std::string>{"t", "1", "2"}));
    EXPECT_EQ(a.type, Type::Set);
    EXPECT_EQ(a.modifier, Assignment::OutputModifier);
}

// An appended list value contributes its items, and the list is not shared with the caller.
TEST(ContextTest, MergeVariablesFlattensListOperand)
{
    Context c;
    TolmValuePtr supplied = makeListValue({str("a"), str("b")});
    c.mergeVariables({set("A", supplied)});
    c.mergeVariables({set("A", str("c"))});
    EXPECT_EQ(listTexts(c.assignments.at("A").value), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(supplied->toString(), "a b");
}

// A refused append is logged, returned, and the other assignments are still added.
TEST(ContextTest, ImplicitContextReturnsRefused)
{
    Context destination;
    destination.addAssignment(set("A", ref("Z")), 0);
    Context source;
    source.addAssignment(set("A", str("x")), 0);
    source.addAssignment(set("B", str("y")), 0);

    LogCapture capture(2);
    auto refused = destination.addImplicitContext(source, Type::Append, false, 0);
    std::string logged = capture.text();

    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].name, "A");
    EXPECT_EQ(refused[0].type, Type::Append);
    EXPECT_EQ(logged,
              "Exception when adding implicit context: Z is not resolved yet and '\"x\"' cannot be appended to it.\n");
    EXPECT_EQ(destination.assignments.at("B").value->toString(), "y");
}

// SetIfEmpty in mode 1 only fills what is missing and takes its modifier only there.
TEST(ContextTest, ImplicitContextFillsMissing)
{
    Context target;
    target.addAssignment(set("A", str("mine")), 0);
    Context defaults;
    defaults.addAssignment(set("A", str("tool"), Assignment::OutputModifier), 0);
    defaults.addAssignment(set("B", str("tool"), Assignment::OutputModifier), 0);
    defaults.conditions.emplace_back(Condition{ref("A"), nullptr, Condition::OperatorType::Exists}, nullptr);

    EXPECT_TRUE(target.addImplicitContext(defaults, Type::SetIfEmpty, true, 1).empty());
    EXPECT_EQ(target.assignments.at("A").value->toString(), "mine");
    EXPECT_EQ(target.assignments.at("A").modifier, 0u);
    EXPECT_EQ(target.assignments.at("B").modifier, Assignment::OutputModifier);
    EXPECT_EQ(target.assignments.at("B").type, Type::SetIfEmpty);
    EXPECT_EQ(target.conditions.size(), 1u);
}

// resolveVariables resolves every entry; a failure propagates.
TEST(ContextTest, ResolveVariables)
{
    Context c;
    c.addAssignment(set("A", str("a")), 0);
    c.addAssignment(set("B", ref("A")), 0);
    c.resolveVariables();
    EXPECT_TRUE(c.assignments.at("A").resolved);
    EXPECT_EQ(c.assignments.at("B").value, c.assignments.at("A").value);

    c.addAssignment(set("C", ref("missing")), 0);
    EXPECT_THROW(c.resolveVariables(), NotFoundException);
}

// Template contents merge in source order and each evaluation owns its values.
TEST(ContextTest, FromTemplateContents)
{
    auto block = std::make_shared<ContextTemplate>(std::vector<Assignment>{
        set("X", makeListValue({str("a")})), append("X", str("b")), set("Y", str("y"))});
    ContextPtr one = block->createContext();
    ContextPtr two = block->createContext();
    one->addAssignment(append("X", str("c")), 0);
    EXPECT_EQ(one->assignments.at("X").value->toString(), "a b c");
    EXPECT_EQ(two->assignments.at("X").value->toString(), "a b");
    EXPECT_EQ(block->assignments[0].value->toString(), "a");
    EXPECT_EQ(one->shared_from_this(), one);
}

// addTrimmedParameter trims, skips empty texts and fills a missing value with the text.
TEST(ContextTest, AddTrimmedParameter)
{
    std::vector<NamedValue> list;
    std::string blank = "   ";
    TolmValuePtr none;
    addTrimmedParameter(list, blank, none);
    EXPECT_TRUE(list.empty());

    std::string text = "  lib \t";
    addTrimmedParameter(list, text, none);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "lib");
    EXPECT_EQ(list[0].value->toString(), "lib");
}

}  // namespace
}  // namespace Tolm
