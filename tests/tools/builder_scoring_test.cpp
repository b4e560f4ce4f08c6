#include "tools/builder.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/tool_tables.h"
#include "tools/tool_test_support.h"

using namespace TestSupport;
using namespace ToolTestSupport;
using Tolm::MatchKind;

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

const char* kindName(MatchKind kind)
{
    switch (kind) {
    case MatchKind::ExactMatch:
        return "exact";
    case MatchKind::PartialMatch:
        return "partial";
    default:
        return "none";
    }
}

// "NAME kind" per score, with "+" when claimed, in name order.
std::string scoresOf(const Tolm::MatchResult& result)
{
    std::string text;
    for (const auto& [name, match] : result.scores)
        text += (text.empty() ? "" : ", ") + name.str() + " " + kindName(match.kind) + (match.claimed ? "+" : "");
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
        {noSubjects, {}, true, ""},
        {noSubjects, {"^OUT = \"x\""}, true, ""},
        {twoSubjects, {"a_files = \"a\"", "B_FILES"}, true, ""},
        {twoSubjects, {"A_FILES = \"a\""}, false, ""},
        {twoSubjects, {"^A_FILES = \"a\"", "B_FILES"}, false,
         "Skipping 'A_FILES' as match subject: output variable\n"},
        {twoSubjects, {"A_FILES", "^B_FILES"}, false, "Skipping 'B_FILES' as match subject: output variable\n"},
        // B_FILES is never looked at: A_FILES is missing.
        {twoSubjects, {"^B_FILES = \"b\""}, false, ""},
    };
    for (const auto& c : cases) {
        auto target = targetOf(c.target);
        LogCapture capture(4);
        const Tolm::MatchResult result = c.builder.matchTarget(*target);
        EXPECT_EQ(result.possible(), c.possible) << ::testing::PrintToString(c.target);
        EXPECT_EQ(capture.text(), c.log) << ::testing::PrintToString(c.target);
    }

    // The skip line is detail, hidden at the normal threshold.
    LogCapture normal(5);
    EXPECT_FALSE(Tolm::isMatchSubject(targetOf({"^A_FILES"})->assignments, "a_files"));
    EXPECT_EQ(normal.text(), "");
    EXPECT_TRUE(Tolm::isMatchSubject(targetOf({"A_FILES = \"a\""})->assignments, "a_files"));
}

// Every target variable gets a score: a subject is claimed (unless it is an
// output without value), a known variable scores by its value, an output that
// is not a subject and an unknown variable score nothing. Against a reference
// without value, a value is partial and a bare declaration exact.
TEST(BuilderScoringTest, EveryTargetVariableIsScored)
{
    TableBuilder builder(Tolm::makeAssignmentMap({{"C_FILES", nullptr}}),
                         Tolm::makeToolVariableMap({Tolm::makeToolVariableEntry("CFLAGS", nullptr),
                                                    Tolm::makeToolVariableEntry("DEFINES", nullptr)}));
    const struct {
        std::vector<std::string> target;
        std::string scores;
    } cases[] = {
        {{"C_FILES = \"a.c\""}, "C_FILES partial+"},
        {{"C_FILES"}, "C_FILES exact+"},
        {{"^C_FILES"}, "C_FILES exact"},
        {{"^C_FILES = \"a.o\""}, "C_FILES partial+"},
        {{"CFLAGS = \"-g\"", "defines"}, "CFLAGS partial, defines exact"},
        {{"^CFLAGS = \"-g\"", "OTHER = \"x\"", "^LIB"}, "CFLAGS none, LIB none, OTHER none"},
    };
    for (const auto& c : cases) {
        const Tolm::MatchResult result = builder.matchTarget(*targetOf(c.target));
        EXPECT_EQ(scoresOf(result), c.scores) << ::testing::PrintToString(c.target);
    }

    // An earlier entry of the same name is overwritten.
    Tolm::MatchResult result;
    result.scores["c_files"] = Tolm::VariableMatch{MatchKind::NoMatch, 0};
    builder.scoreTargetVariables(targetOf({"C_FILES"})->assignments, result);
    EXPECT_EQ(scoresOf(result), "c_files exact+");
}

// A subject with a value of its own is met exactly by the same text in any
// letter case and partly by another text or by no value.
TEST(BuilderScoringTest, ValuedReferencesCompareTexts)
{
    TableBuilder builder(mapOf({set("LANG", str("C"))}), {});
    const struct {
        const char* line;
        std::string scores;
    } cases[] = {
        {"LANG = \"c\"", "LANG exact+"},
        {"LANG = \"cpp\"", "LANG partial+"},
        {"LANG", "LANG partial+"},
    };
    for (const auto& c : cases) EXPECT_EQ(scoresOf(builder.matchTarget(*targetOf({c.line}))), c.scores) << c.line;
}

// The score weighs each known, scored, non-output variable the target sets by
// its match kind; standard variables count 1 valued and 2 bare, a (0, 0, 5)
// variable 5 bare and nothing valued.
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
        {{}, 0},
        {{"CFLAGS = \"-g\""}, 1},
        {{"cflags"}, 2},
        {{"TRIPLE"}, 5},
        {{"TRIPLE = \"x86_64-linux-gnu\""}, 0},
        {{"^CFLAGS"}, 0},
        {{"UNKNOWN"}, 0},
        {{"CFLAGS", "TRIPLE", "LDFLAGS = \"-s\""}, 7},
    };
    for (const auto& c : cases) {
        auto target = targetOf(c.target);
        EXPECT_EQ(builder.scoreMatch(*target, builder.matchTarget(*target)), c.score)
            << ::testing::PrintToString(c.target);
    }

    // Only scored variables count, and a no-match weighs noMatchWeight.
    auto target = targetOf({"CFLAGS", "ODD = \"x\""});
    EXPECT_EQ(builder.scoreMatch(*target, Tolm::MatchResult{}), 0);
    Tolm::MatchResult result;
    result.scores["odd"] = Tolm::VariableMatch{MatchKind::NoMatch, 0};
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
        {listOf({}), "", false},
        {num(64), "64", true},
        {listOf({str("x86_64"), str("arm")}), "x86_64 arm", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tolm::valueMatchesString(c.value, c.text), c.matches) << (c.value ? c.value->toString() : "null");
}
