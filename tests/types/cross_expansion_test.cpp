#include <gtest/gtest.h>

#include "types/expansion_test_support.h"
#include "types/text_expansion.h"

using ExpansionTest::MapResolver;
using ExpansionTest::textsOf;
using ExpansionTest::tolmFailure;
using Texts = std::vector<std::string>;

namespace {

class CrossExpansionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner_ = std::make_shared<Tolm::TolmString>("");
        owner_->setResolver(&variables);
    }
    Tolm::TolmValuePtr resolve(const std::string& text)
    {
        Tolm::ExpansionGuard guard;
        return Tolm::resolveStringValue(*owner_, text, guard, 1);
    }
    static bool isList(const Tolm::TolmValuePtr& value)
    {
        return dynamic_cast<const Tolm::TolmList*>(value.get()) != nullptr;
    }

    MapResolver variables;

private:
    std::shared_ptr<Tolm::TolmString> owner_;
};

}  // namespace

// Without a cross reference the result is one text value, not a list.
TEST_F(CrossExpansionTest, PlainTextStaysOneString)
{
    const auto result = resolve("cc -c main.c");
    ASSERT_FALSE(isList(result));
    EXPECT_EQ(result->toString(), "cc -c main.c");
}

// One text per element, in the list's order, with the surrounding text kept.
TEST_F(CrossExpansionTest, OneTextPerElement)
{
    variables.setList("L", {"a", "b", "c"});
    const auto result = resolve("pre #{L} post");
    ASSERT_TRUE(isList(result));
    EXPECT_EQ(textsOf(result), (Texts{"pre a post", "pre b post", "pre c post"}));
}

// Two cross expansions give every combination, the first varying slowest.
TEST_F(CrossExpansionTest, CombinationsFirstVariesSlowest)
{
    variables.setList("A", {"1", "2"});
    variables.setList("B", {"x", "y"});
    EXPECT_EQ(textsOf(resolve("#{A}-#{B}")), (Texts{"1-x", "1-y", "2-x", "2-y"}));
}

// Back references repeat the element of their own level only.
TEST_F(CrossExpansionTest, BackReferencesRepeatElements)
{
    variables.setList("S", {"a", "b"});
    variables.setList("T", {"x"});
    EXPECT_EQ(textsOf(resolve("cc #{S}.c -o #1.o")), (Texts{"cc a.c -o a.o", "cc b.c -o b.o"}));
    EXPECT_EQ(textsOf(resolve("#{S}/#{T} #2#1 #1")), (Texts{"a/x xa a", "b/x xb b"}));
}

// A back reference no level replaces is an error, also one written before
// its "#{" and one of a level that never comes.
TEST_F(CrossExpansionTest, UnresolvedBackReferencesFail)
{
    variables.setList("S", {"a", "b"});
    EXPECT_EQ(tolmFailure([&] { resolve("#{S} #12"); }), "unresolved cross expansion reference '#12'");
    EXPECT_EQ(tolmFailure([&] { resolve("#1 #{S}"); }), "unresolved cross expansion reference '#1'");
    EXPECT_EQ(tolmFailure([&] { resolve("issue #7"); }), "unresolved cross expansion reference '#7'");
}

// A text value crosses over its words; stray "}" and "#" play no part.
TEST_F(CrossExpansionTest, WordsAndStrayCharacters)
{
    variables.setText("W", "p q");
    variables.setList("S", {"a", "b"});
    EXPECT_EQ(textsOf(resolve("#{W}")), (Texts{"p", "q"}));
    EXPECT_EQ(textsOf(resolve("a}b #{S}")), (Texts{"a}b a", "a}b b"}));
    EXPECT_EQ(textsOf(resolve("# #{S}")), (Texts{"# a", "# b"}));
}

// Elements are expanded again at the next level, so their references resolve.
TEST_F(CrossExpansionTest, ElementReferencesExpand)
{
    variables.setList("S", {"${X}", "plain"});
    variables.setText("X", "from-x");
    EXPECT_EQ(textsOf(resolve("-I#{S}")), (Texts{"-Ifrom-x", "-Iplain"}));
}

// A variable reference inside #{...} is expanded before the cross expansion.
TEST_F(CrossExpansionTest, NameMayComeFromVariable)
{
    variables.setText("WHICH", "S");
    variables.setList("S", {"a", "b"});
    EXPECT_EQ(textsOf(resolve("#{${WHICH}}.o")), (Texts{"a.o", "b.o"}));
}

// A value without elements gives no texts at all, not the literal reference.
TEST_F(CrossExpansionTest, EmptyValueExpandsToNothing)
{
    variables.setList("E", {});
    variables.setText("Blank", "   ");
    const auto result = resolve("cc #{E}.c");
    ASSERT_TRUE(isList(result));
    EXPECT_TRUE(textsOf(result).empty());
    EXPECT_TRUE(textsOf(resolve("#{Blank}")).empty());
    variables.setList("A", {"1", "2"});
    EXPECT_TRUE(textsOf(resolve("#{A} #{E}")).empty());
}

// A variable without a value cannot be crossed: a failure naming it.
TEST_F(CrossExpansionTest, NullValueFailsNamingVariable)
{
    variables.set("N", nullptr);
    EXPECT_EQ(tolmFailure([&] { resolve("x #{N}"); }), "Variable 'N' has no value to cross expand.");
}

// Unlike ${...}, a failed #{...} lookup passes its failure on.
TEST_F(CrossExpansionTest, MissingVariablePassesLookupFailure)
{
    EXPECT_EQ(tolmFailure([&] { resolve("#{Missing}"); }), "Assignment 'Missing' not found.");
    EXPECT_EQ(tolmFailure([&] { resolve("#{9x}"); }),
              "Invalid variable reference '9x': Invalid identifier start at position 0");
}

// An unclosed "#{" is no reference and is left as written.
TEST_F(CrossExpansionTest, UnclosedReferenceIsText)
{
    const auto result = resolve("#{L");
    ASSERT_FALSE(isList(result));
    EXPECT_EQ(result->toString(), "#{L");
}
