#include "types/variable_access.h"

#include <gtest/gtest.h>

#include "types/tolm_exceptions.h"
#include "types/value_factories.h"

using Tolm::Assignment;
using Tolm::TolmValuePtr;

namespace {

TolmValuePtr text(const char* value) { return Tolm::makeStringValue(value); }
TolmValuePtr list(std::vector<TolmValuePtr> items) { return Tolm::makeListValue(std::move(items)); }

}  // namespace

// The exact command-line pieces: each non-empty piece opens with a space,
// quotes are added only where missing; getVariableString keeps a text whole
// and flattens lists fully, getVariableStrings splits words and opens one
// list level below the value's own elements.
TEST(VariableAccessTest, CommandLinePieces)
{
    const struct {
        TolmValuePtr value;
        const char* prefix;
        bool quote;
        std::string whole;  // getVariableString
        std::string split;  // getVariableStrings
    } cases[] = {
        {list({text("a.c"), text("b.c")}), "", true, R"( "a.c" "b.c")", R"( "a.c" "b.c")"},
        {text("FOO BAR=1"), "-D", false, " -DFOO BAR=1", " -DFOO -DBAR=1"},
        {list({text(""), text("\"done\""), text("\"open"), text("close\""), text("x")}), "-T", true,
         R"( -T"done" -T"open" -T"close" -T"x")", R"( -T"done" -T"open" -T"close" -T"x")"},
        {text(""), "-D", true, "", ""},
        {list({text("a"), list({text("b"), list({text("c"), text("d")})})}), "", true, R"( "a" "b" "c" "d")",
         R"( "a" "b" "c d")"},
        {Tolm::makeIntValue(2), "-O", false, " -O2", ""},  // an integer has no elements
        {list({text("-O2 -g")}), "", true, R"( "-O2 -g")", R"( "-O2 -g")"},
    };
    for (const auto& c : cases) {
        Tolm::Context context;
        context.addAssignment(Assignment("FLAGS", c.value, Assignment::AssignType::Set, 0), 0);
        EXPECT_EQ(Tolm::getVariableString(context, "flags", c.prefix, c.quote), c.whole) << c.value->toString();
        EXPECT_EQ(Tolm::getVariableStrings(context.assignments, "Flags", c.prefix, c.quote), c.split)
            << c.value->toString();
    }
}

// Absent names and names without a value fall back without a failure; only
// getVariable reports an absent name, and gives null for one without value.
TEST(VariableAccessTest, AbsentAndValuelessVariables)
{
    Tolm::Context context;
    context.addAssignment(Assignment("DECLARED", nullptr, Assignment::AssignType::Set, Assignment::RequiredModifier),
                          1);
    const auto& variables = context.assignments;
    EXPECT_EQ(Tolm::variableTextOr(variables, "OUTPUT_NAME", "app"), "app");
    EXPECT_EQ(Tolm::variableTextOr(context, "declared", "app"), "app");
    EXPECT_EQ(Tolm::lookupVariableText(variables, "nothing"), "");
    EXPECT_EQ(Tolm::getVariableString(variables, "DECLARED", "", true), "");
    EXPECT_EQ(Tolm::getVariableStrings(variables, "nothing", "", true), "");
    EXPECT_EQ(Tolm::variableModifier(context, "declared"), Assignment::RequiredModifier);
    EXPECT_EQ(Tolm::variableModifier(variables, "nothing"), 0u);
    EXPECT_TRUE(Tolm::hasVariable(variables, "Declared"));
    EXPECT_EQ(Tolm::getVariable(context, "declared"), nullptr);
    try {
        Tolm::getVariable(variables, "OUTPUT_NAME");
        ADD_FAILURE() << "no failure for an absent variable";
    } catch (const Tolm::NotFoundException& failure) {
        EXPECT_EQ(failure.message(), "Variable 'OUTPUT_NAME' not found.");
    }
}
