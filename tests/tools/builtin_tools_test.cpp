#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tools/command_tool.h"
#include "tools/no_tool.h"
#include "tools/tool_test_support.h"
#include "types/tolm_int.h"

using namespace TestSupport;
using namespace ToolTestSupport;

namespace {

std::string assignmentsText(const std::vector<Tolm::Assignment>& assignments)
{
    std::string text;
    for (const Tolm::Assignment& assignment : assignments) text += (text.empty() ? "" : "; ") + written(assignment);
    return text;
}

// "inputs | outputs | " per recipe, then the set's context.
std::string recipesText(const Tolm::RecipeSet& set)
{
    std::string text;
    for (const Tolm::CachedRecipe& recipe : set.recipes) {
        std::vector<Tolm::Assignment> inputs;
        for (const Tolm::CachedInput& input : recipe.inputs) {
            EXPECT_FALSE(input.hasIntermediate() || input.reuse);
            inputs.push_back(input.input);
        }
        text += assignmentsText(inputs) + " | " + assignmentsText(recipe.outputs) + " | ";
    }
    return text + assignmentsText(set.context);
}

// "line @ directory" per command; every command is of the kind that runs.
std::vector<std::string> commandsText(const std::vector<Tolm::Command>& commands)
{
    std::vector<std::string> text;
    for (const Tolm::Command& command : commands) {
        EXPECT_EQ(command.kind, 0u);
        EXPECT_TRUE(command.pathDirectories.empty());
        text.push_back(command.commandLine + " @ " + command.workingDirectory.string());
    }
    return text;
}

}  // namespace

// A "command" target is one recipe of its valued inputs and outputs, with the
// command line and the directory for every job, but only when it declares
// valued output variables; otherwise it is not cached at all.
TEST(CommandToolTest, Recipes)
{
    const struct {
        std::vector<std::string> target;
        std::string recipes;
    } cases[] = {
        {{"cmdline = \"cc -o app main.c\"", "CWD = P\"(build)\"", "^APP = P\"(app)\"", "SRC = P\"(main.c)\"", "DECLARED"},
         R"(SRC = P"/proj/main.c" | ^APP = P"/proj/app" | cmdline = "cc -o app main.c"; CWD = P"/proj/build")"},
        {{"cmdline = [\"a\", \"b\"]", "^A = \"a.txt\"", "^B = \"b.txt\"", "X = 1"},
         R"(X = 1 | ^A = "a.txt"; ^B = "b.txt" | cmdline = [ "a", "b" ])"},
        {{"cmdline = \"make\"", "^OUT"}, ""},
        {{"cmdline = \"make\"", "cwd = \"sub\"", "SRC = P\"(main.c)\""}, ""},
    };
    for (const auto& c : cases) {
        Tolm::BasicBuilder builder("cmdline");
        const Tolm::RecipeSet set = builder.createRecipes(*targetOf(c.target));
        EXPECT_EQ(recipesText(set), c.recipes) << testing::PrintToString(c.target);
        EXPECT_EQ(set.maxParallelJobs, 1);
    }

    // The recipe holds copies: a later change of the target leaves it alone.
    auto target = targetOf({"cmdline = \"make\"", "^OUT = [\"a\"]"});
    const Tolm::RecipeSet set = Tolm::BasicBuilder("cmdline").createRecipes(*target);
    target->assignments.at("OUT").value->append(*str("b"));
    EXPECT_EQ(set.recipes.at(0).outputs.at(0).value->toString(), "a");
}

// The command variable gives one command per text, in order, run in `cwd`:
// a text, a path or a raw text is one command, a list one per item (a list
// literal inside a list is flattened), and an integer or a bare declaration
// nothing. The exit code becomes `result`.
TEST(CommandToolTest, CommandsAndResult)
{
    const struct {
        std::vector<std::string> job;
        std::vector<std::string> commands;
    } cases[] = {
        {{"cmdline = \"make all\""}, {"make all @ "}},
        {{"cmdline = P\"(run.sh)\"", "CWD = P\"(out)\""}, {"run.sh @ out"}},
        {{"cmdline = R\"(echo \"quoted\" $HOME)\""}, {"echo \"quoted\" $HOME @ "}},
        {{"cmdline = [P\"(a.sh)\", 2, [\"x\", \"y\"]]", "cwd = \"sub\""}, {"a.sh @ sub", "2 @ sub", "x @ sub", "y @ sub"}},
        {{"cmdline = 3"}, {}},
        {{"cmdline", "cwd = \"sub\""}, {}},
    };
    Tolm::BasicBuilder builder("cmdline");
    for (const auto& c : cases)
        EXPECT_EQ(commandsText(builder.createCommands(*targetOf(c.job))), c.commands) << testing::PrintToString(c.job);

    auto job = targetOf({"cwd = \"sub\""});
    EXPECT_EQ(failureOf<Tolm::NotFoundException>([&] { builder.createCommands(*job); }),
              "Variable 'cmdline' not found.");

    Tolm::Context output = builder.createOutputContext(*job, 0);
    EXPECT_EQ(written(output.assignments), "result = 0");
    EXPECT_NE(dynamic_cast<Tolm::TolmInt*>(output.assignments.at("result").value.get()), nullptr);
    EXPECT_EQ(written(builder.createOutputContext(*job, 3).assignments), "result = 3");
    EXPECT_EQ(builder.exitCode, 3);
}

// The "command" matcher fits every target it is asked about (its required
// `cmdline` decides beforehand) and makes a new Builder each time, which
// applies only to a target that sets `cmdline` as an input.
TEST(CommandToolTest, MatcherGivesAFreshBuilder)
{
    Tolm::BasicMatcher matcher("default_basic", {}, {}, {}, {});
    const Tolm::MatchResult result = matcher.match(*targetOf({}));
    EXPECT_TRUE(result.possible());
    EXPECT_TRUE(result.scores.empty());

    auto target = targetOf({"cmdline = \"make\""});
    auto builder = matcher.selectBuilder(*target);
    EXPECT_NE(builder, matcher.selectBuilder(*target));
    EXPECT_EQ(builder->name(), "cmdline");
    EXPECT_TRUE(builder->matchTarget(*target).possible());
    EXPECT_FALSE(builder->matchTarget(*targetOf({"^cmdline = \"make\""})).possible());
}

// "no_tool" fits a target that sets NO_TOOL, valued or not, and builds it
// with nothing: no recipe, no command, no output.
TEST(NoToolTest, FitsTargetsThatSetNoToolAndBuildsNothing)
{
    Tolm::NoToolMatcher matcher("default_no_tool", {}, {}, {}, {});
    for (const char* line : {"NO_TOOL", "no_tool = 1"}) {
        const Tolm::MatchResult result = matcher.match(*targetOf({line}));
        EXPECT_TRUE(result.possible()) << line;
        // Scored exact, but not claimed as a subject.
        EXPECT_EQ(result.scores.at("NO_TOOL").kind, Tolm::MatchKind::ExactMatch) << line;
        EXPECT_EQ(result.scores.at("NO_TOOL").claimed, 0u) << line;
    }
    EXPECT_FALSE(matcher.match(*targetOf({"cmdline = \"make\""})).possible());

    auto target = targetOf({"NO_TOOL", "^OUT = \"x\""});
    auto builder = matcher.selectBuilder(*target);
    EXPECT_EQ(builder->name(), "no_tool");
    EXPECT_TRUE(builder->matchTarget(*target).possible());
    EXPECT_FALSE(builder->matchTarget(*targetOf({"^NO_TOOL"})).possible());
    const Tolm::RecipeSet set = builder->createRecipes(*target);
    EXPECT_TRUE(set.recipes.empty() && set.context.empty());
    EXPECT_TRUE(builder->createCommands(*target).empty());
    EXPECT_TRUE(builder->createOutputContext(*target, 0).assignments.empty());
}
