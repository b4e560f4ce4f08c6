#include "types/context.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "context_test_support.h"
#include "types/tolm_exceptions.h"

namespace Tolm {
namespace {

using namespace TestSupport;

struct ContextLookupTest : testing::Test {
    Context c;
    TolmValuePtr look(const std::string& text) { return c.lookup(parsedIdentifier(text)); }
    template <typename Failure>
    std::string failure(const std::string& text) { return failureText<Failure>([&] { look(text); }); }
};

// Names, dotted names and indexes: a.b stores the resolved value in the nested entry; an index selects from
// the base's resolved value and stores nothing; index identifiers give an integer or a text key.
TEST_F(ContextLookupTest, Reaches)
{
    for (const Assignment& a : {set("Y", str("why")), set("a", contextValue({set("b", ref("Y"))})),
                                set("s", str("xyz")), set("L", makeListValue({str("p"), str("q")})),
                                set("viaRef", ref("L")), set("i", makeIntValue(1)), set("name", str("k")),
                                set("ctx", contextValue({set("k", str("kv"))}))})
        c.addAssignment(a, 0);
    EXPECT_EQ(look("A.B")->toString(), "why");
    EXPECT_TRUE(dynamic_cast<TolmContext&>(*c.assignments.at("a").value).context->assignments.at("b").resolved);
    EXPECT_EQ(look("s[0]")->toString() + look("viaRef[1]")->toString() + look("L[i]")->toString(), "xqq");
    EXPECT_EQ(look("ctx[name]")->toString(), "kv");
    EXPECT_EQ(textOf(c, "s"), "xyz");
}

// Each way a name fails to resolve, with its exact text.
TEST_F(ContextLookupTest, Failures)
{
    for (const Assignment& a : {set("t", str("text")), set("a", contextValue({set("b", str("1"))})), declare("none"),
                                set("L", makeListValue({str("p"), str("q")}))})
        c.addAssignment(a, 0);
    EXPECT_EQ(failure<NotFoundException>("X"), "Assignment 'X' not found.");
    EXPECT_EQ(failure<NotFoundException>("a.missing"), "Assignment 'missing' not found.");
    EXPECT_EQ(failure<IdentifierError>("t.x"), "Identifier part must be context. t. <<");
    EXPECT_EQ(failure<IdentifierError>("a.b.c"), "Identifier part must be context. a.b. <<");
    EXPECT_EQ(failure<std::out_of_range>("nothing.b"), "map::at");
    EXPECT_EQ(failure<std::out_of_range>("nothing[0]"), "map::at");
    EXPECT_EQ(failure<TolmException>("none[0]"), "Variable 'none' has no value to select from.");
    EXPECT_EQ(failure<std::runtime_error>("L[L]"), "Unsupported key type: [ \"p\", \"q\" ]");
    EXPECT_EQ(failure<std::invalid_argument>("L[none]"), "key value is null");
    EXPECT_THROW(c.lookup(Identifier()), InternalError);
}

// Once X naming Y is looked up both share one value: an append to X is seen through Y; a text already
// expanded keeps its text when Y changes later.
TEST_F(ContextLookupTest, ResolvedValuesAreKept)
{
    c.addAssignment(set("Y", makeListValue({str("a")})), 0);
    c.addAssignment(set("X", ref("Y")), 0);
    c.addAssignment(set("T", str("<${Y}>")), 0);
    EXPECT_EQ(look("T")->toString(), "<a>");
    look("X");
    c.addAssignment(append("X", str("b")), 0);
    EXPECT_EQ(look("Y")->toString() + look("T")->toString(), "a b<a>");
}

// A variable that refers to itself, directly, through others or through an enclosing text, fails with
// std::out_of_range naming the reference where the cycle closes, again on a second try.
TEST_F(ContextLookupTest, SelfReferenceIsCycle)
{
    for (const Assignment& a : {set("A", ref("A")), set("P", ref("q")), set("Q", ref("p")), set("S", str("${S}")),
                                set("X", str("pre ${b}")), set("B", str("${x}")), set("OUTER", str("<${S}>")),
                                set("I", str("${I[0]}"))})
        c.addAssignment(a, 0);
    for (auto [name, closing] :
         {std::pair{"A", "A"}, {"P", "p"}, {"S", "S"}, {"X", "x"}, {"OUTER", "S"}, {"I", "I[0]"}}) {
        EXPECT_EQ(failure<std::out_of_range>(name), closing) << name;
        EXPECT_EQ(failure<std::out_of_range>(name), closing) << name << " again";
    }
    EXPECT_EQ(textOf(c, "S"), "${S}");
    EXPECT_THROW(c.resolveVariables(), std::out_of_range);
}

}  // namespace
}  // namespace Tolm
