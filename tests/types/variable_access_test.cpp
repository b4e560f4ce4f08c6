#include "types/variable_access.h"

#include <gtest/gtest.h>

#include "types/tolm_exceptions.h"
#include "types/value_factories.h"

using Tolm::Assignment;
using Tolm::TolmValuePtr;

namespace {

TolmValuePtr text(const char* value) { return Tolm::makeStringValue(value); }
TolmValuePtr list(std::vector<TolmValuePtr> items) { return Tolm::makeListValue(std::move(items)); }

// A target's variables as the tools see them after resolution.
class VariableAccessTest : public ::testing::Test {
protected:
    void set(const std::string& name, TolmValuePtr value, std::uint32_t modifier = 0)
    {
        variables.insert_or_assign(Util::CiString(name),
                                   Assignment(name, std::move(value), Assignment::AssignType::Set, modifier));
    }

    Tolm::VariableMap variables;
};

}  // namespace

// Lists give one piece per item, each with its own leading space.
TEST_F(VariableAccessTest, ListItemsQuotedPieces)
{
    set("C_FILES", list({text("a.c"), text("b.c")}));
    EXPECT_EQ(Tolm::getVariableString(variables, "C_FILES", "", true), R"( "a.c" "b.c")");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "c_files", "-I", false), " -Ia.c -Ib.c");
}

// A text is one piece whole for getVariableString, one per word for
// getVariableStrings.
TEST_F(VariableAccessTest, TextWholeOrByWords)
{
    set("C_DEFINES", text("FOO BAR=1"));
    EXPECT_EQ(Tolm::getVariableStrings(variables, "C_DEFINES", "-D", false), " -DFOO -DBAR=1");
    EXPECT_EQ(Tolm::getVariableString(variables, "C_DEFINES", "-D", false), " -DFOO BAR=1");
}

// Empty texts give nothing at all; quotes already there are not doubled.
TEST_F(VariableAccessTest, EmptyTextsAndExistingQuotes)
{
    set("L", list({text(""), text("\"done\""), text("\"open"), text("close\""), text("x")}));
    EXPECT_EQ(Tolm::getVariableString(variables, "L", "-T", true), R"( -T"done" -T"open" -T"close" -T"x")");
    set("E", text(""));
    EXPECT_EQ(Tolm::getVariableString(variables, "E", "-D", true), "");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "E", "-D", true), "");
    EXPECT_EQ(Tolm::valueToCommandText(TolmValuePtr(), "-D", true), "");
}

// Nested lists: getVariableString reaches every leaf, getVariableStrings
// opens one level below the value's own items only.
TEST_F(VariableAccessTest, NestedListDepths)
{
    set("N", list({text("a"), list({text("b"), list({text("c"), text("d")})})}));
    EXPECT_EQ(Tolm::getVariableString(variables, "N", "", false), " a b c d");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "N", "", false), " a b c d");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "N", "", true), R"( "a" "b" "c d")");
}

// Integers are pieces too; a list of a text splits nowhere in getVariableString.
TEST_F(VariableAccessTest, OtherValueKinds)
{
    set("LEVEL", Tolm::makeIntValue(2));
    set("FLAGS", list({text("-O2 -g")}));
    EXPECT_EQ(Tolm::getVariableString(variables, "LEVEL", "-O", false), " -O2");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "LEVEL", "-O", false), "");
    EXPECT_EQ(Tolm::getVariableString(variables, "FLAGS", "", true), R"( "-O2 -g")");
}

// Absent names and names without a value fall back, without a failure.
TEST_F(VariableAccessTest, AbsentAndValuelessFallBack)
{
    set("DECLARED", nullptr, Assignment::RequiredModifier);
    EXPECT_EQ(Tolm::variableTextOr(variables, "OUTPUT_NAME", "app"), "app");
    EXPECT_EQ(Tolm::variableTextOr(variables, "declared", "app"), "app");
    EXPECT_EQ(Tolm::variableText(variables, "DECLARED"), "");
    EXPECT_EQ(Tolm::lookupVariableText(variables, "nothing"), "");
    EXPECT_EQ(Tolm::getVariableString(variables, "DECLARED", "", true), "");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "nothing", "", true), "");
    EXPECT_TRUE(Tolm::hasVariable(variables, "Declared"));
    EXPECT_FALSE(Tolm::hasVariable(variables, "nothing"));
    EXPECT_EQ(Tolm::variableModifier(variables, "declared"), Assignment::RequiredModifier);
    EXPECT_EQ(Tolm::variableModifier(variables, "nothing"), 0u);
}

// getVariable alone reports an absent name; a valueless one gives null.
TEST_F(VariableAccessTest, GetVariableReportsAbsence)
{
    set("DECLARED", nullptr);
    set("OUT", text("x"));
    EXPECT_EQ(Tolm::getVariable(variables, "declared"), nullptr);
    EXPECT_EQ(Tolm::getVariable(variables, "out"), variables.at(Util::CiString("OUT")).value);
    try {
        Tolm::getVariable(variables, "OUTPUT_NAME");
        ADD_FAILURE() << "no failure for an absent variable";
    } catch (const Tolm::NotFoundException& failure) {
        EXPECT_EQ(failure.message(), "Variable 'OUTPUT_NAME' not found.");
    }
}

// A context answers exactly as its assignment map.
TEST_F(VariableAccessTest, ContextForwardsToItsMap)
{
    Tolm::Context context;
    context.addAssignment(Assignment("Lib", list({text("m"), text("pthread")}),
                                     Assignment::AssignType::Set, Assignment::OutputModifier),
                          0);
    EXPECT_EQ(Tolm::getVariableString(context, "LIB", "-l ", false), " -l m -l pthread");
    EXPECT_EQ(Tolm::getVariableStrings(context, "lib", "", true), R"( "m" "pthread")");
    EXPECT_EQ(Tolm::variableText(context, "lib"), "m pthread");
    EXPECT_EQ(Tolm::variableModifier(context, "LIB"), Assignment::OutputModifier);
    EXPECT_TRUE(Tolm::hasVariable(context, "lIb"));
    EXPECT_THROW(Tolm::getVariable(context, "nothing"), Tolm::NotFoundException);
}
