#include "tools/c3_builder.h"

#include <gtest/gtest.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "types/target_context.h"
#include "types/tolm_path_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;

C3Builder c3(std::string directory = "/opt/c3")
{
    return C3Builder(c3BuilderSubjects(), c3BuilderVariables(),
                     ToolchainPaths{"0.7.0", "/opt/c3/c3c", std::move(directory)});
}

std::shared_ptr<TargetContext> target(std::vector<Assignment> variables)
{
    const QualifiedTargetName name{"", "app", "main"};
    auto t = std::make_shared<TargetContext>(Context(variables, {}), name);
    t->setInstance(name, "");
    return t;
}

std::string commandLine(std::vector<Assignment> variables)
{
    C3Builder tool = c3();
    const std::vector<std::string> lines = tool.buildCommandLines("main", *target(std::move(variables)));
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? "" : lines.front();
}

const std::string C3c = "\"/opt/c3/c3c\"";

// The c3c line of every output kind: options first, then the subcommand, then the sources; LIB items are
// never quoted, library directories and link flags always, C3C_FLAGS never.
TEST(C3BuilderTest, CommandLines)
{
    const auto mainC3 = set("C3_FILES", listOf({str("main.c3"), str("src/a b.c3")}));
    struct Row {
        std::vector<Assignment> variables;
        std::string expected;
    } rows[] = {
        {{mainC3}, C3c + " -o \"main\" compile \"main.c3\" \"src/a b.c3\""},
        {{mainC3, set("C3C_FLAGS", listOf({str("-O2"), listOf({str("-g"), str("--x")})})),
          set("LIB", listOf({str("m"), listOf({str("z")})})), set("LIB_PATH", listOf({str("lib"), str("\"q r\"")})),
          set("LIBPATH", str("/usr/lib")), set("LINK_FLAGS", listOf({str("now"), listOf({str("relro")})})),
          set("OUTPUT_NAME", str("tool"))},
         C3c + " -O2 -g --x -o \"tool\" -L \"lib\" -L \"q r\" -L \"/usr/lib\" -l m -l z -z \"now\" -z \"relro\""
               " compile \"main.c3\" \"src/a b.c3\""},
        {{set("C3C_FLAGS", str("-O2 -g")), set("C3C_FILES", str("x.c3")), set("STATIC", str(""))},
         C3c + " -O2 -g -o \"main\" static-lib \"x.c3\""},
        {{mainC3, declare("DLL"), set("OUTPUT_NAME", str("libx.so"))},
         C3c + " -o \"libx.so\" dynamic-lib \"main.c3\" \"src/a b.c3\""},
        {{set("C3_FILES", str("m.c3")), set("SO", num(0))}, C3c + " -o \"main\" dynamic-lib \"m.c3\""},
        {{set("C3_TEST_FILES", str("t.c3")), set("C3C_FILES", str("b.c3")), set("C3_FILES", str("a.c3")),
          declare("EXE")},
         C3c + " -o \"main\" compile-test \"a.c3\" \"b.c3\" \"t.c3\""},
        {{set("C3_TEST_FILES", str("t.c3")), set("C3C_FLAGS", str("")), set("LIB", str(""))},
         C3c + " -o \"main\" compile-test \"t.c3\""},
        {{set("C3_FILES", makePathStringValue("a$b.c3")), set("LIB", makePathStringValue("my libs/x")),
          set("OUTPUT_NAME", str("o\"ut"))},
         C3c + R"( -o "o\"ut" -l "my libs/x" compile "a\$b.c3")"},
    };
    for (const Row& row : rows) EXPECT_EQ(commandLine(row.variables), row.expected);
}

// Selectors that contradict each other fail the recipes and the command line alike.
TEST(C3BuilderTest, SelectorErrors)
{
    const std::string conflicting =
        "C3C received conflicting output selectors. Only one of EXE, STATIC, DLL, SO can be present.";
    const std::string testLibrary = "C3C compile-test cannot be combined with STATIC, DLL, or SO.";
    const auto files = set("C3_FILES", str("m.c3"));
    const auto tests = set("C3_TEST_FILES", str("t.c3"));
    struct Row {
        std::vector<Assignment> variables;
        std::string expected;
    } rows[] = {
        {{files, declare("EXE"), declare("SO")}, conflicting},
        {{tests, declare("EXE"), declare("STATIC")}, conflicting},
        {{tests, declare("static")}, testLibrary},
        {{tests, declare("EXE")}, "no failure"},
    };
    for (const Row& row : rows) {
        C3Builder tool = c3();
        auto t = target(row.variables);
        t->addAssignment(set("OUTPUT_DIR", str("/o")), 0);
        EXPECT_EQ(failureOf([&] { tool.createRecipes(*t); }), row.expected);
        EXPECT_EQ(failureOf([&] { tool.buildCommandLines("main", *t); }), row.expected);
    }
}

// One recipe: the target's C3 variables as inputs, the selectors and built-ins for the jobs, and the output
// file as binary plus the pair of its kind, in the default output directory.
TEST(C3BuilderTest, Recipes)
{
    C3Builder tool = c3();
    auto t = target({set("PROJECT_ROOT", makePathStringValue("/p")), set("C3_FILES", listOf({str("a.c3")})),
                     set("LIB", str("m")), declare("LINK_FLAGS"), set("C3C", str("custom")), declare("STATIC"),
                     set("OUTPUT_NAME", str("lib/libmain.a")), set("UNRELATED", str("x"))});
    const RecipeSet recipes = tool.createRecipes(*t);
    ASSERT_EQ(recipes.recipes.size(), 1u);
    EXPECT_EQ(recipes.maxParallelJobs, 1);
    std::vector<std::string> inputs, outputs, context;
    for (const CachedInput& in : recipes.recipes[0].inputs) inputs.push_back(in.input.toString());
    for (const Assignment& out : recipes.recipes[0].outputs) {
        const auto* pathValue = dynamic_cast<TolmPathString*>(out.value.get());
        outputs.push_back(out.name + "=" + (pathValue ? pathValue->fullPath().string() : out.value->toString()));
        EXPECT_EQ(out.modifier, Assignment::OutputModifier);
    }
    for (const Assignment& a : recipes.context) context.push_back(a.toString());
    EXPECT_EQ(inputs, (std::vector<std::string>{"C3_FILES = \"a.c3\"", "LIB = \"m\""}));
    EXPECT_EQ(outputs, (std::vector<std::string>{"BINARY=/p/c3c-0.7.0/app/main/lib/libmain.a", "BINARY_NAME=libmain.a",
                                                 "LIB=/p/c3c-0.7.0/app/main/lib/libmain.a", "LIB_NAME=libmain.a"}));
    EXPECT_EQ(context, (std::vector<std::string>{"C3C = \"custom\"", "STATIC", "PROJECT_ROOT = P\"/p\"",
                                                 "OUTPUT_NAME = \"lib/libmain.a\""}));
}

// The recipe's outputs and the output context name the file by its kind, in the stored output directory;
// without a toolchain directory nothing is put in front of PATH.
TEST(C3BuilderTest, OutputContext)
{
    ScratchDir scratch;
    LogCapture quiet(6);
    for (auto [selector, kind] : {std::pair{"", "exe"}, {"STATIC", "lib"}, {"DLL", "dll"}, {"SO", "so"}}) {
        C3Builder tool = c3("");
        auto job = target({set("PROJECT_ROOT", makePathStringValue(scratch.path().string())),
                           set("C3_FILES", str("a.c3")), set("OUTPUT_NAME", str("bin/tool"))});
        if (*selector) job->addAssignment(declare(selector), 0);
        const RecipeSet recipes = tool.createRecipes(*job);
        EXPECT_EQ(Util::CiString(recipes.recipes[0].outputs[2].name), Util::CiString(kind));
        tool.prepareOutput(*job, 1);
        EXPECT_TRUE(tool.createCommands(*job)[0].pathDirectories.empty());
        const Context outputs = tool.createOutputContext(*job, 0);
        std::vector<std::string> names;
        for (const auto& [name, a] : outputs.assignments) names.push_back(name.str() + "=" + a.value->toString());
        const std::string k = kind;
        EXPECT_EQ(names, (std::vector<std::string>{"binary=bin/tool", "binary_name=tool", k + "=bin/tool",
                                                   k + "_name=tool"}));
        EXPECT_EQ(dynamic_cast<TolmPathString*>(outputs.assignments.at(k).value.get())->fullPath(),
                  scratch.path() / "c3c-0.7.0/app/main/bin/tool");
    }
}

// A C3 target is one that sets C3_FILES, C3C_FILES or C3_TEST_FILES other than as an output variable.
TEST(C3BuilderTest, MatchTarget)
{
    C3Builder tool = c3();
    struct Row {
        std::vector<Assignment> variables;
        bool possible;
    } rows[] = {
        {{set("C3_FILES", str("a.c3"))}, true},
        {{set("c3c_files", str("a.c3"))}, true},
        {{declare("C3_TEST_FILES")}, true},
        {{set("C3_FILES", str("a.c3"), Assignment::OutputModifier), set("C3C_FILES", str("b.c3"))}, true},
        {{set("C3_FILES", str("a.c3"), Assignment::OutputModifier)}, false},
        {{set("C_FILES", str("a.c")), set("LIB", str("m"))}, false},
    };
    LogCapture quiet(4);
    for (const Row& row : rows) EXPECT_EQ(tool.matchTarget(*target(row.variables)).possible(), row.possible);
    EXPECT_EQ(tool.matchTarget(*target({set("C3_FILES", str("a.c3")), set("LIB", str("m"))})).scores.at("LIB").kind,
              MatchKind::PartialMatch);
}

}  // namespace
}  // namespace Tolm
