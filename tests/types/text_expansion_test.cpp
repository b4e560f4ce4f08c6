#include "types/text_expansion.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "types/context.h"
#include "types/expansion_test_support.h"

using ExpansionTest::MapResolver;
using ExpansionTest::tolmFailure;

namespace {

class TextExpansionTest : public ::testing::Test {
protected:
    std::string expand(const std::string& text)
    {
        Tolm::ExpansionGuard guard;
        return Tolm::expandVariables(owner(), text, guard);
    }
    Tolm::TolmString& owner()
    {
        if (!owner_) {
            owner_ = std::make_shared<Tolm::TolmString>("");
            owner_->setResolver(&variables);
        }
        return *owner_;
    }
    // The message of the std::out_of_range the expansion throws.
    std::string cycleName(const std::string& text)
    {
        try {
            expand(text);
        } catch (const std::out_of_range& cycle) {
            return cycle.what();
        }
        ADD_FAILURE() << "no std::out_of_range for " << text;
        return {};
    }

    MapResolver variables;

private:
    std::shared_ptr<Tolm::TolmString> owner_;
};

}  // namespace

// References resolve through other variables' texts, names ignoring case.
TEST_F(TextExpansionTest, NestedReferencesExpandFully)
{
    variables.setText("A", "${B}");
    variables.setText("B", "x");
    EXPECT_EQ(expand("${A}"), "x");
    EXPECT_EQ(expand("[${a}][${b}]"), "[x][x]");
    EXPECT_EQ(expand("no references here"), "no references here");
}

// A used name is released again, so one variable may appear many times.
TEST_F(TextExpansionTest, RepeatedUseIsNoCycle)
{
    variables.setText("A", "${B}-${B}");
    variables.setText("B", "y");
    EXPECT_EQ(expand("${A}${A}"), "y-yy-y");
}

// A "$" before a reference joins a replacement that starts with "{".
TEST_F(TextExpansionTest, DollarBeforeReplacementFormsNewReference)
{
    variables.setText("X", "{Y}");
    variables.setText("Y", "z");
    EXPECT_EQ(expand("$${X}"), "z");
}

// A missing variable becomes empty text with one warning; a variable that
// holds no value becomes empty text silently.
TEST_F(TextExpansionTest, MissingVariableWarnsAndExpandsEmpty)
{
    variables.set("Declared", nullptr);
    ExpansionTest::LogCapture log;
    EXPECT_EQ(expand("<${missing}|${declared}>"), "<|>");
    EXPECT_EQ(log.take(), "Variable 'missing' does not exist.\n");
}

// Malformed references fail with their exact messages.
TEST_F(TextExpansionTest, MalformedReferencesFail)
{
    variables.setText("a", "1");
    variables.setText("b", "2");
    EXPECT_EQ(tolmFailure([&] { expand("${a"); }), "missing '}'");
    EXPECT_EQ(tolmFailure([&] { expand("x}${a"); }), "missing '}'");
    EXPECT_EQ(tolmFailure([&] { expand("${a${b}}"); }), "nested ${} is not allowed");
    // A fault in a later reference is found even after earlier ones worked.
    EXPECT_EQ(tolmFailure([&] { expand("${a} ${b"); }), "missing '}'");
}

// A text that is no identifier becomes the program's own failure, carrying
// the parser's message and position.
TEST_F(TextExpansionTest, InvalidIdentifierIsTolmFailure)
{
    EXPECT_EQ(tolmFailure([&] { expand("${1abc}"); }),
              "Invalid variable reference '1abc': Invalid identifier start at position 0");
    EXPECT_EQ(tolmFailure([&] { expand("${}"); }),
              "Invalid variable reference '': Empty identifier at position 0");
    EXPECT_EQ(tolmFailure([&] { expand("${a.}"); }),
              "Invalid variable reference 'a.': Expected identifier segment after '.' at position 2");
}

// A variable reaching itself fails with the name as written where the
// cycle closes, instead of recursing without end.
TEST_F(TextExpansionTest, SelfReferenceIsDetected)
{
    variables.setText("A", "${A}");
    EXPECT_EQ(cycleName("${A}"), "A");

    variables.setText("A", "${b}");
    variables.setText("B", "${a}");
    EXPECT_EQ(cycleName("${A}"), "a");
    EXPECT_EQ(cycleName("x ${B} y"), "b");
}

// A cycle is no missing variable: it is not turned into empty text.
TEST_F(TextExpansionTest, CycleIsNotSwallowedAsMissing)
{
    variables.setText("A", "${B}");
    variables.setText("B", "${C}");
    variables.setText("C", "${A}");
    ExpansionTest::LogCapture log;
    EXPECT_EQ(cycleName("${A}"), "A");
    EXPECT_EQ(log.take(), "");
}

// A text with a reference but no context to ask fails instead of crashing.
TEST(TextExpansionNoResolverTest, ReferenceWithoutResolverFails)
{
    Tolm::TolmString lonely("");
    Tolm::ExpansionGuard guard;
    EXPECT_EQ(Tolm::expandVariables(lonely, "plain", guard), "plain");
    Tolm::ExpansionGuard guard2;
    EXPECT_EQ(tolmFailure([&] { Tolm::resolveStringValue(lonely, "#{L}", guard2, 1); }),
              "Variable 'L' cannot be looked up: the text belongs to no context.");
}

// Only a "#" followed by a digit starts a back reference.
TEST(ScanHashNumberTest, CountsHashAndDigits)
{
    EXPECT_EQ(Tolm::scanHashNumber("#12x", 0), 3u);
    EXPECT_EQ(Tolm::scanHashNumber("a#1", 1), 2u);
    EXPECT_EQ(Tolm::scanHashNumber("#x", 0), 0u);
    EXPECT_EQ(Tolm::scanHashNumber("a#", 1), 0u);
    EXPECT_EQ(Tolm::scanHashNumber("#1", 1), 0u);
    EXPECT_EQ(Tolm::scanHashNumber("#1", 5), 0u);
}

namespace {

// Expansion as contexts drive it: every lookup resolves (and caches) the
// variable it reaches.
class TextExpansionContextTest : public ::testing::Test {
protected:
    void set(const std::string& name, const std::string& text)
    {
        context->addAssignment(Tolm::Assignment(name, Tolm::makeStringValue(text),
                                                Tolm::Assignment::AssignType::Set, 0),
                               0);
    }
    Tolm::TolmValuePtr lookup(const std::string& name)
    {
        Tolm::Identifier identifier;
        Tolm::ParseError error;
        EXPECT_TRUE(Tolm::Identifier::parse(name, identifier, error));
        return context->lookup(identifier);
    }
    std::string cycleName(const std::string& name)
    {
        try {
            lookup(name);
        } catch (const std::out_of_range& cycle) {
            return cycle.what();
        }
        ADD_FAILURE() << "no std::out_of_range for " << name;
        return {};
    }

    std::shared_ptr<Tolm::Context> context = std::make_shared<Tolm::Context>();
};

}  // namespace

// Nested references resolve through the context and the result is stored.
TEST_F(TextExpansionContextTest, NestedReferencesThroughContext)
{
    set("A", "${B}/bin");
    set("B", "${c}/usr");
    set("C", "/opt");
    EXPECT_EQ(lookup("a")->toString(), "/opt/usr/bin");
    set("C", "/changed");
    EXPECT_EQ(lookup("A")->toString(), "/opt/usr/bin");
}

// A self-reference through a context fails with the name where the cycle
// closes, directly or through an enclosing text, and never overflows.
TEST_F(TextExpansionContextTest, SelfReferenceThroughContext)
{
    set("A", "${A}");
    EXPECT_EQ(cycleName("A"), "A");
    set("X", "pre ${A} post");
    EXPECT_EQ(cycleName("X"), "A");
}

// A cycle through two variables names the reference written in the inner one.
TEST_F(TextExpansionContextTest, TwoVariableCycleThroughContext)
{
    set("A", "${b}");
    set("B", "${a}");
    EXPECT_EQ(cycleName("A"), "a");
    EXPECT_THROW(context->resolveVariables(), std::out_of_range);
    // Nothing was stored: both still hold their written texts.
    EXPECT_EQ(context->assignments.at(Util::CiString("A")).value->toString(), "${b}");
    EXPECT_FALSE(context->assignments.at(Util::CiString("B")).resolved);
}

// A cross expansion through a context crosses a list variable.
TEST_F(TextExpansionContextTest, CrossExpansionThroughContext)
{
    context->addAssignment(Tolm::Assignment("S", Tolm::makeListValue({Tolm::makeStringValue("a"),
                                                                      Tolm::makeStringValue("${T}")}),
                                            Tolm::Assignment::AssignType::Set, 0),
                           0);
    set("T", "t");
    set("OBJ", "#{S}.o");
    EXPECT_EQ(ExpansionTest::textsOf(lookup("OBJ")), (std::vector<std::string>{"a.o", "t.o"}));
}
