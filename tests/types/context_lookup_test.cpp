#include "types/context.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "context_test_support.h"
#include "types/context_template.h"
#include "types/resolution_cycle.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"

namespace Tolm {
namespace {

using namespace TestSupport;

TolmValuePtr contextValue(std::vector<Assignment> assignments)
{
    return std::make_shared<TolmContext>(ContextTemplate(std::move(assignments)).createContext());
}

class ContextLookupTest : public testing::Test {
protected:
    Context c;

    TolmValuePtr look(const std::string& text) { return c.lookup(parsedIdentifier(text)); }

    template <typename Failure>
    std::string failure(const std::string& text)
    {
        try {
            look(text);
        } catch (const Failure& raised) {
            if constexpr (std::is_base_of_v<std::exception, Failure>)
                return raised.what();
            else
                return raised.message();
        }
        ADD_FAILURE() << "no failure for " << text;
        return {};
    }
};

// A single undefined name fails with the Assignment not-found text.
TEST_F(ContextLookupTest, UndefinedName)
{
    EXPECT_EQ(failure<NotFoundException>("X"), "Assignment 'X' not found.");
}

// a.b reaches into a context value and stores the resolved value in the nested entry.
TEST_F(ContextLookupTest, DottedNameReachesNestedContext)
{
    c.addAssignment(set("Y", str("why")), 0);
    c.addAssignment(set("a", contextValue({set("b", ref("Y"))})), 0);
    EXPECT_EQ(look("A.B")->toString(), "why");
    auto* nested = dynamic_cast<TolmContext*>(c.assignments.at("a").value.get());
    ASSERT_NE(nested, nullptr);
    EXPECT_TRUE(nested->context->assignments.at("b").resolved);
}

// The failures along a dotted name, each with its exact text.
TEST_F(ContextLookupTest, DottedNameFailures)
{
    c.addAssignment(set("t", str("text")), 0);
    c.addAssignment(set("a", contextValue({set("b", str("1"))})), 0);
    EXPECT_EQ(failure<IdentifierError>("t.x"), "Identifier part must be context. t. <<");
    EXPECT_EQ(failure<NotFoundException>("a.missing"), "Assignment 'missing' not found.");
    EXPECT_EQ(failure<std::out_of_range>("nothing.b"), "map::at");
    EXPECT_EQ(failure<IdentifierError>("a.b.c"), "Identifier part must be context. a.b. <<");
}

// a[0] of a three-letter text gives its first letter and stores nothing; undefined a fails.
TEST_F(ContextLookupTest, IndexedText)
{
    c.addAssignment(set("a", str("xyz")), 0);
    EXPECT_EQ(look("a[0]")->toString(), "x");
    EXPECT_EQ(c.assignments.at("a").value->toString(), "xyz");
    EXPECT_EQ(failure<std::out_of_range>("b[0]"), "map::at");
}

// An indexed lookup selects from the base variable's resolved value, not its written form.
TEST_F(ContextLookupTest, IndexResolvesBaseFirst)
{
    c.addAssignment(set("L", makeListValue({str("first"), str("second")})), 0);
    c.addAssignment(set("a", ref("L")), 0);
    EXPECT_EQ(look("a[1]")->toString(), "second");
}

// Index identifiers are looked up: an integer or text value keys, a list or nothing fails.
TEST_F(ContextLookupTest, NestedIndexKeys)
{
    c.addAssignment(set("L", makeListValue({str("p"), str("q")})), 0);
    c.addAssignment(set("i", makeIntValue(1)), 0);
    c.addAssignment(set("name", str("k")), 0);
    c.addAssignment(set("ctx", contextValue({set("k", str("kv"))})), 0);
    c.addAssignment(Assignment("none", nullptr, Type::Declare, 0), 0);
    EXPECT_EQ(look("L[i]")->toString(), "q");
    EXPECT_EQ(look("ctx[name]")->toString(), "kv");
    EXPECT_EQ(failure<std::runtime_error>("L[L]"), "Unsupported key type: [ \"p\", \"q\" ]");
    EXPECT_EQ(failure<std::invalid_argument>("L[none]"), "key value is null");
}

// Selecting from a variable without a value fails instead of dereferencing nothing.
TEST_F(ContextLookupTest, IndexIntoNothingFails)
{
    c.addAssignment(Assignment("none", nullptr, Type::Declare, 0), 0);
    EXPECT_THROW(look("none[0]"), TolmException);
}

// Once X naming Y is looked up both share one value; an append to X is seen through Y.
TEST_F(ContextLookupTest, IdentifierSharesTargetValue)
{
    c.addAssignment(set("Y", makeListValue({str("a")})), 0);
    c.addAssignment(set("X", ref("Y")), 0);
    look("X");
    c.addAssignment(append("X", str("b")), 0);
    EXPECT_EQ(look("Y")->toString(), "a b");
}

// A variable naming itself fails with std::out_of_range and the name as written, not a stack overflow.
TEST_F(ContextLookupTest, SelfReferenceIsCycle)
{
    c.addAssignment(set("A", ref("A")), 0);
    EXPECT_EQ(failure<std::out_of_range>("A"), "A");
    EXPECT_FALSE(c.assignments.at("A").resolving.active);
}

// A cycle through another variable names the reference where it closes.
TEST_F(ContextLookupTest, CycleThroughOthers)
{
    c.addAssignment(set("A", ref("b")), 0);
    c.addAssignment(set("B", ref("a")), 0);
    EXPECT_EQ(failure<ResolutionCycle>("A"), "a");
    EXPECT_THROW(c.resolveVariables(), std::out_of_range);
}

// Texts that refer to themselves fail the same way, directly or through an enclosing text.
TEST_F(ContextLookupTest, TextCycles)
{
    c.addAssignment(set("A", str("${A}")), 0);
    c.addAssignment(set("X", str("pre ${b}")), 0);
    c.addAssignment(set("B", str("${x}")), 0);
    c.addAssignment(set("OUTER", str("<${A}>")), 0);
    EXPECT_EQ(failure<std::out_of_range>("A"), "A");
    EXPECT_EQ(failure<std::out_of_range>("X"), "x");
    EXPECT_EQ(failure<std::out_of_range>("OUTER"), "A");
    EXPECT_EQ(c.assignments.at("A").value->toString(), "${A}");
}

// An indexed reference to a variable being resolved is a cycle too.
TEST_F(ContextLookupTest, IndexedSelfReference)
{
    c.addAssignment(set("A", str("${A[0]}")), 0);
    EXPECT_EQ(failure<std::out_of_range>("A"), "A[0]");
}

// The key chain holds a text key per segment and one key per index, ranges with step 1.
TEST_F(ContextLookupTest, KeyChainOfIdentifier)
{
    KeyChain chain = c.keyChainOf(parsedIdentifier("a.b[3][1..4]"));
    ASSERT_EQ(chain.size(), 4u);
    EXPECT_EQ(std::get<std::string>(chain[0]), "a");
    EXPECT_EQ(std::get<std::string>(chain[1]), "b");
    EXPECT_EQ(std::get<std::int64_t>(chain[2]), 3);
    EXPECT_EQ(std::get<KeyRange>(chain[3]), (KeyRange{1, 4, 1}));
}

// An empty chain is an internal error, not a read of a missing last key.
TEST_F(ContextLookupTest, EmptyChain)
{
    EXPECT_THROW(c.getAssignment({}), InternalError);
    EXPECT_THROW(c.lookup(Identifier()), InternalError);
}

}  // namespace
}  // namespace Tolm
