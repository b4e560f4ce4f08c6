#include "tools/builder.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/tool_tables.h"
#include "tools/tool_test_support.h"

using namespace TestSupport;
using namespace ToolTestSupport;

namespace {

// A Builder with the given tables and nothing to build.
class TableBuilder : public Tolm::Builder {
public:
    using Builder::Builder;
    void prepareOutput(Tolm::Context&, const std::size_t&) override {}
    void finishBuild() override {}
    Tolm::Context createOutputContext(Tolm::Context&, int) override { return {}; }
    Tolm::RecipeSet createRecipes(const Tolm::TargetContext&) override { return {}; }
    std::vector<Tolm::Command> createCommands(Tolm::Context&) override { return {}; }
};

// "NAME kind" per score in name order, "+" when claimed.
std::string scoresOf(const Tolm::MatchResult& result)
{
    static const char* const kinds[] = {"none", "partial", "exact"};
    std::string text;
    for (const auto& [name, match] : result.scores)
        text += (text.empty() ? "" : ", ") + name.str() + " " + kinds[static_cast<int>(match.kind)] +
                (match.claimed ? "+" : "");
    return text;
}

}  // namespace

// A Builder applies when the target sets every match subject and none of them
// as an output variable; the first subject that fails ends the check, and
// only a subject set as an output is reported (level 4).
TEST(BuilderScoringTest, MatchSubjectsDecideWhetherABuildIsPossible)
{
    TableBuilder noSubjects({}, {});
    TableBuilder twoSubjects(Tolm::makeAssignmentMap({{"A_FILES", nullptr}, {"B_FILES", nullptr}}), {});
    const struct {
        const TableBuilder& builder;
        std::vector<std::string> target;
        bool possible;
        std::string log;
    } cases[] = {
        {noSubjects, {"^OUT = \"x\""}, true, ""},
        {twoSubjects, {"a_files = \"a\"", "B_FILES"}, true, ""},
        {twoSubjects, {"A_FILES = \"a\""}, false, ""},
        {twoSubjects, {"^A_FILES = \"a\"", "B_FILES"}, false, "Skipping 'A_FILES' as match subject: output variable\n"},
        {twoSubjects, {"A_FILES", "^B_FILES"}, false, "Skipping 'B_FILES' as match subject: output variable\n"},
        // B_FILES is never looked at: A_FILES is missing.
        {twoSubjects, {"^B_FILES = \"b\""}, false, ""},
    };
    for (const auto& c : cases) {
        auto target = targetOf(c.target);
        LogCapture capture(4);
        EXPECT_EQ(c.builder.matchTarget(*target).possible(), c.possible) << testing::PrintToString(c.target);
        EXPECT_EQ(capture.text(), c.log) << testing::PrintToString(c.target);
    }
}

// Every target variable gets a score: a subject is claimed (unless it is an
// output without value), a known variable scores by its value, an output that
// is not a subject and an unknown variable score nothing. Against a reference
// without value a value is partial and a bare declaration exact; against a
// valued reference the same text in any case is exact.
TEST(BuilderScoringTest, EveryTargetVariableIsScored)
{
    TableBuilder builder(mapOf({set("C_FILES", nullptr), set("LANG", str("C"))}),
                         Tolm::makeToolVariableMap({Tolm::makeToolVariableEntry("CFLAGS", nullptr),
                                                    Tolm::makeToolVariableEntry("DEFINES", nullptr)}));
    const struct {
        std::vector<std::string> target;
        std::string scores;
    } cases[] = {
        {{"C_FILES = \"a.c\"", "LANG = \"c\""}, "C_FILES partial+, LANG exact+"},
        {{"C_FILES", "LANG"}, "C_FILES exact+, LANG partial+"},
        {{"^C_FILES", "LANG = \"cpp\""}, "C_FILES exact, LANG partial+"},
        {{"^C_FILES = \"a.o\""}, "C_FILES partial+"},
        {{"CFLAGS = \"-g\"", "defines"}, "CFLAGS partial, defines exact"},
        {{"^CFLAGS = \"-g\"", "OTHER = \"x\"", "^LIB"}, "CFLAGS none, LIB none, OTHER none"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scoresOf(builder.matchTarget(*targetOf(c.target))), c.scores) << testing::PrintToString(c.target);

    // An earlier entry of the same name is overwritten.
    Tolm::MatchResult result;
    result.scores["c_files"] = Tolm::VariableMatch{Tolm::MatchKind::NoMatch, 0};
    builder.scoreTargetVariables(targetOf({"C_FILES"})->assignments, result);
    EXPECT_EQ(scoresOf(result), "c_files exact+");
}

// The score weighs each known, scored, non-output variable the target sets by
// its match kind: a standard variable 1 valued and 2 bare, a (0, 0, 5) one 5
// bare and nothing valued.
TEST(BuilderScoringTest, ScoreWeighsKnownVariables)
{
    TableBuilder builder({}, Tolm::makeToolVariableMap({
                                 Tolm::makeToolVariableEntry("CFLAGS", nullptr),
                                 Tolm::makeToolVariableEntry("TRIPLE", Tolm::ToolVariable{nullptr, 0, 0, 5}),
                                 Tolm::makeToolVariableEntry("ODD", Tolm::ToolVariable{nullptr, 7, 1, 2}),
                             }));
    const struct {
        std::vector<std::string> target;
        int score;
    } cases[] = {
        {{"CFLAGS = \"-g\""}, 1},
        {{"cflags"}, 2},
        {{"TRIPLE = \"x86_64-linux-gnu\""}, 0},
        {{"^CFLAGS", "UNKNOWN"}, 0},
        {{"CFLAGS", "TRIPLE", "LDFLAGS = \"-s\""}, 7},
    };
    for (const auto& c : cases) {
        auto target = targetOf(c.target);
        EXPECT_EQ(builder.scoreMatch(*target, builder.matchTarget(*target)), c.score) << testing::PrintToString(c.target);
    }

    // Only scored variables count; a no-match weighs noMatchWeight.
    auto target = targetOf({"CFLAGS", "ODD = \"x\""});
    Tolm::MatchResult result;
    result.scores["odd"] = Tolm::VariableMatch{Tolm::MatchKind::NoMatch, 0};
    EXPECT_EQ(builder.scoreMatch(*target, result), 7);
}

// A wanted text matches a value with that text in any case, or a list with
// such an item at any depth; nothing matches a null value.
TEST(BuilderScoringTest, ValueMatchesString)
{
    const struct {
        TolmValuePtr value;
        const char* text;
        bool matches;
    } cases[] = {
        {listOf({str("x86_64"), str("arm")}), "ARM", true},
        {nullptr, "", false},
        {str("x86_64"), "x86", false},
        {listOf({str("a"), listOf({str("b"), listOf({str("Deep")})})}), "deep", true},
        {listOf({str("x86_64"), str("arm")}), "x86_64 arm", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tolm::valueMatchesString(c.value, c.text), c.matches) << (c.value ? c.value->toString() : "null");
}
