#include "tools/c_builder.h"

#include <gtest/gtest.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "types/target_context.h"
#include "types/tolm_path_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;
namespace fs = std::filesystem;

// A C-family tool whose own parts are set by the test: it compiles C_FILES
// one recipe per source and runs the lines it is given.
class StubTool : public CBuilder {
public:
    StubTool() : CBuilder({}, {}) {}

    Context createOutputContext(Context&, int) override { return Context(); }
    RecipeSet doCreateRecipes(const TargetContext& target) const override
    {
        RecipeSet set;
        collectObjects(target.assignments, "C_FILES", outputDirectoryOf(target), set.recipes);
        copyBuiltinVariable(target.assignments, "C_FLAGS", set.context);
        return set;
    }
    std::int64_t maxParallelJobs(const TargetContext& target, const RecipeSet& set) const override
    {
        return hasVariable(target, "PARALLEL") ? -1 : CBuilder::maxParallelJobs(target, set);
    }
    void onOutputPrepared(Context&) override { ++prepared; }
    void doFinishBuild() override { ++finished; }
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context&) override
    {
        seenTargetName = targetName;
        return lines;
    }
    std::string toolchainId() const override { return "tc-1"; }

    std::vector<std::string> lines;
    std::string seenTargetName;
    int prepared = 0;
    int finished = 0;
};

std::shared_ptr<TargetContext> target(std::vector<Assignment> variables, QualifiedTargetName name = {"", "app", "main"},
                                      std::string instance = "")
{
    auto t = std::make_shared<TargetContext>(Context(variables, {}), name);
    t->setInstance(name, std::move(instance));
    return t;
}

TolmValuePtr path(const std::string& text) { return makePathStringValue(text); }

std::vector<std::string> texts(const std::vector<TolmValuePtr>& values)
{
    std::vector<std::string> result;
    for (const TolmValuePtr& v : values) result.push_back(v ? v->toString() : "<null>");
    return result;
}

// A C-family tool matches by the default rules, unless it leaves the target to another tool of its
// toolchain: then it cannot build it, whatever its subjects say, and scores it all the same.
TEST(CBuilderTest, MatchLeavesTargetsToAnotherTool)
{
    class LeavingTool : public StubTool {
        bool leftToAnotherTool(const Context& target) const override { return hasVariable(target, "SHARED"); }
    };
    const auto shared = target({set("C_FILES", str("a.c")), declare("SHARED")});
    EXPECT_TRUE(StubTool().matchTarget(*shared).possible());
    EXPECT_TRUE(LeavingTool().matchTarget(*target({set("C_FILES", str("a.c"))})).possible());
    const MatchResult left = LeavingTool().matchTarget(*shared);
    EXPECT_FALSE(left.possible());
    EXPECT_EQ(left.scores.size(), 2u);
}

// The output directory for every way a target can name it, read through the per-build state.
TEST(CBuilderTest, OutputDirectory)
{
    const auto root = set("PROJECT_ROOT", path("/home/u/proj"));
    struct Row {
        std::vector<Assignment> variables;
        QualifiedTargetName name;
        std::string instance;
        std::string expected;
    } rows[] = {
        {{root, set("OUTPUT_DIR", str("build/out"))}, {"", "app", "main"}, "", "build/out"},
        {{root, set("OUTPUT_DIR", str("/abs/out"))}, {"", "app", "main"}, "", "/abs/out"},
        {{root, set("OUTPUT_DEF_DIR", str("out")), set("PROFILE", str("debug"))},
         {"", "app", "main"}, "", "/home/u/proj/out/tc-1/debug/app/main"},
        {{root, set("OUTPUT_DEF_DIR", str("/var/o")), set("PROFILE", str("debug"))},
         {"", "app", "main"}, "", "/var/o/tc-1/debug/app/main"},
        {{root, set("OUTPUT_DEF_DIR", str("out"))}, {"lib", "app", "main"}, "", "/home/u/proj/out/tc-1/lib/app/main"},
        {{root, set("OUTPUT_DEF_DIR", str("out"))}, {"", "app", "main"}, "7",
         "/home/u/proj/out/tc-1/app/main@af63aa4c86019796"},
        // Empty, declared and absent components leave no empty path component.
        {{root, set("OUTPUT_DIR", str("")), set("PROFILE", str("")), declare("OUTPUT_DEF_DIR")},
         {"", "", "main"}, "", "/home/u/proj/tc-1/main"},
        {{declare("PROJECT_ROOT")}, {"", "app", "main"}, "", "tc-1/app/main"},
    };
    for (const Row& row : rows) {
        StubTool tool;
        tool.setOutputDirectory(*target(row.variables, row.name, row.instance));
        EXPECT_EQ(tool.storedOutputDirectory().string(), row.expected) << row.expected;
        EXPECT_EQ(tool.storedTargetName(), "main");
    }
    StubTool tool;
    EXPECT_EQ(failureOf([&] { tool.setOutputDirectory(*target({set("PROFILE", str("debug"))})); }),
              "Variable 'PROJECT_ROOT' not found.");
}

// A job context that is no target context builds for "no_target"; OUTPUT_NAME names the output when it is set.
TEST(CBuilderTest, OutputNameAndPlainContext)
{
    StubTool tool;
    const auto root = set("PROJECT_ROOT", path("/p"));
    tool.setOutputDirectory(Context({root}, {}));
    EXPECT_EQ(tool.storedTargetName() + " " + tool.storedOutputName(), "no_target no_target");
    EXPECT_EQ(tool.storedOutputDirectory().string(), "/p/tc-1/no_target");

    tool.setOutputDirectory(*target({root, set("OUTPUT_NAME", str(""))}));
    EXPECT_EQ(tool.storedTargetName() + "|" + tool.storedOutputName(), "main|");
    tool.setOutputDirectory(*target({root, declare("OUTPUT_NAME")}));
    EXPECT_EQ(tool.storedOutputName(), "main");

    for (auto [name, expected] : {std::pair{"lib/libfoo.a", "libfoo.a"}, {"", ""}, {"out/", "out/"}})
        EXPECT_EQ(CBuilder::outputFileName(name), expected) << name;
}

// prepareOutput creates the directory and logs it, commands run there; finishBuild resets the job count.
TEST(CBuilderTest, BuildBracket)
{
    ScratchDir scratch;
    StubTool tool;
    auto job = target({set("PROJECT_ROOT", path(scratch.path().string()))});
    {
        LogCapture log(5);
        tool.prepareOutput(*job, 3);
        EXPECT_EQ(log.text(), "Output dir: " + (scratch.path() / "tc-1/app/main").string() + "\n");
    }
    EXPECT_TRUE(fs::is_directory(tool.storedOutputDirectory()));
    EXPECT_EQ(tool.jobCount(), 3u);
    EXPECT_EQ(tool.prepared, 1);

    EXPECT_TRUE(tool.createCommands(*job).empty());
    tool.lines = {"cc one", "cc two"};
    const std::vector<Command> commands = tool.createCommands(*job);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].commandLine, "cc two");
    EXPECT_EQ(commands[1].workingDirectory, tool.storedOutputDirectory());
    EXPECT_EQ(tool.seenTargetName, "main");

    tool.finishBuild();
    EXPECT_EQ(tool.jobCount(), 1u);
    EXPECT_EQ(tool.finished, 1);

    // A file where the directory should go fails the preparation before the tool's hook.
    scratch.write("blocked", "");
    auto blocked = target({set("OUTPUT_DIR", str((scratch.path() / "blocked/out").string()))});
    LogCapture quiet(6);
    EXPECT_THROW(tool.prepareOutput(*blocked, 1), fs::filesystem_error);
    EXPECT_EQ(tool.prepared, 1);
}

// The recipe set carries the tool's context first, then the built-in variables the target sets, as copies.
TEST(CBuilderTest, RecipesCopyBuiltinVariables)
{
    StubTool tool;
    const TolmValuePtr root = path("/p");
    auto t = target({set("PROJECT_ROOT", root, Assignment::OutputModifier), declare("PROFILE"),
                     set("output_name", str("x")), set("C_FLAGS", str("-O2")), set("C_FILES", str("a.c"))});
    const RecipeSet recipes = tool.createRecipes(*t);
    std::vector<std::string> lines;
    for (const Assignment& a : recipes.context) lines.push_back(a.toString() + " ^" + std::to_string(a.modifier));
    EXPECT_EQ(lines, (std::vector<std::string>{"C_FLAGS = \"-O2\" ^0", "PROJECT_ROOT = P\"/p\" ^1",
                                               "OUTPUT_NAME = \"x\" ^0", "PROFILE ^0"}));
    EXPECT_EQ(recipes.context[3].type, Type::Declare);
    EXPECT_NE(recipes.context[1].value, t->assignments.at("PROJECT_ROOT").value);
    EXPECT_EQ(recipes.maxParallelJobs, 1);
    EXPECT_EQ(tool.createRecipes(*target({set("PARALLEL", num(1)), set("OUTPUT_DIR", str("o"))})).maxParallelJobs, -1);
}

// Object files: the source's file name in the directory with ".o", absolute, for every leaf in order.
TEST(CBuilderTest, ObjectPaths)
{
    StubTool tool;
    const TolmValuePtr sources = listOf({str("src/util/io.c"), listOf({str("a.tar.gz"), listOf({path("x.cpp")})})});
    std::vector<std::string> pairs;
    for (const auto& [item, object] : tool.objectPathsForSource(sources, "/p/out/t")) {
        pairs.push_back(item->toString() + " " + object->toString());
        EXPECT_TRUE(dynamic_cast<TolmPathString*>(object.get()));
    }
    EXPECT_EQ(pairs, (std::vector<std::string>{"src/util/io.c /p/out/t/io.o", "a.tar.gz /p/out/t/a.tar.o",
                                               "x.cpp /p/out/t/x.o"}));
    EXPECT_TRUE(tool.objectPathsForSource(nullptr, "/p").empty());

    std::vector<TolmValuePtr> appended{str("first")};
    const Context vars({set("C_FILES", listOf({str("a.c"), str("b.c")})), declare("CPP_FILES")}, {});
    tool.appendObjectValues(vars.assignments, "C_FILES", "/o", appended);
    tool.appendObjectValues(vars.assignments, "CPP_FILES", "/o", appended);
    tool.appendObjectValues(vars.assignments, "ASM_FILES", "/o", appended);
    EXPECT_EQ(texts(appended), (std::vector<std::string>{"first", "/o/a.o", "/o/b.o"}));

    // Compiling one recipe per source file, each producing its object as an output variable.
    auto t = target({set("C_FILES", listOf({str("a.c"), listOf({str("lib/b.c")})}), Assignment::RequiredModifier),
                     set("CPP_FILES", str("c.cpp")), declare("S_FILES")});
    std::vector<CachedRecipe> recipes;
    for (const char* name : {"C_FILES", "CPP_FILES", "S_FILES", "H_FILES"})
        tool.collectObjects(t->assignments, name, "/o", recipes);
    ASSERT_EQ(recipes.size(), 3u);
    std::vector<std::string> lines;
    for (const CachedRecipe& r : recipes) {
        ASSERT_EQ(r.inputs.size(), 1u);
        ASSERT_EQ(r.outputs.size(), 1u);
        EXPECT_FALSE(r.inputs[0].hasIntermediate());
        lines.push_back(r.inputs[0].input.toString() + " " + std::to_string(r.inputs[0].input.modifier) + " -> " +
                        r.outputs[0].toString() + " " + std::to_string(r.outputs[0].modifier));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"C_FILES = \"a.c\" 2 -> OBJS = P\"/o/a.o\" 1",
                                               "C_FILES = \"lib/b.c\" 2 -> OBJS = P\"/o/b.o\" 1",
                                               "CPP_FILES = \"c.cpp\" 0 -> OBJS = P\"/o/c.o\" 1"}));
}

// An object path is the library's own result for every spelling of source and directory.
TEST(CBuilderTest, ObjectPathAgreesWithTheLibrary)
{
    const char* sources[] = {"src/io.c", "/abs/io.c", "io", "a.tar.gz", "a.", "x.cpp", "dir/.hidden", ".hidden.c",
                             "dir/", "dir/..", ".", "..", "...", "a//b.c", "/", "", "dir/./m.c"};
    const char* directories[] = {"/p/out/t", "/p/out/t/", "/", "rel", "", "/p/./out", "/p//out"};
    for (const char* suffix : {".o", "obj", ""}) {
        for (const char* source : sources) {
            for (const char* directory : directories) {
                const auto library = [&] {
                    fs::path object = fs::path(directory) / fs::path(source).filename();
                    object.replace_extension(suffix);
                    return fs::absolute(object).string();
                };
                EXPECT_EQ(failureOf([&] { objectPath(source, directory, suffix); }), failureOf(library));
                if (failureOf(library) == "no failure") {
                    EXPECT_EQ(objectPath(source, directory, suffix), library())
                        << source << " in " << directory << " with " << suffix;
                }
            }
        }
    }
}

// Objects in /o by the source's stem; "skip.c" has none.
const DerivedVariable objects{"OBJS", [](const TolmValuePtr& item) -> TolmValuePtr {
                                  if (item->toString() == "skip.c") return nullptr;
                                  return path("/o/" + fs::path(item->toString()).stem().string() + ".o");
                              }};

// A derived variable: single items stay single, lists stay lists, dropped items leave no intermediate.
TEST(CBuilderTest, DeriveVariable)
{
    auto t = target({set("C_FILES", str("main.c"), Assignment::RequiredModifier),
                     set("CPP_FILES", listOf({str("a.cpp"), listOf({str("skip.c")}), str("b.cpp")})),
                     set("S_FILES", listOf({str("skip.c")})), set("LIB", listOf({str("m"), str("z")})),
                     declare("LINK_FLAGS")});
    std::vector<CachedInput> inputs;
    for (const char* name : {"C_FILES", "CPP_FILES", "S_FILES"})
        CBuilder::deriveVariable(t->assignments, name, inputs, objects);
    for (const char* name : {"LIB", "LINK_FLAGS", "OTHER"}) CBuilder::deriveVariable(t->assignments, name, inputs, {});
    ASSERT_EQ(inputs.size(), 4u);

    EXPECT_EQ(inputs[0].input.toString() + " | " + inputs[0].intermediate.toString(),
              "C_FILES = \"main.c\" | OBJS = P\"/o/main.o\"");
    EXPECT_EQ(inputs[0].intermediate.modifier, Assignment::RequiredModifier);
    EXPECT_NE(inputs[0].input.value, t->assignments.at("C_FILES").value);
    EXPECT_EQ(inputs[1].input.toString() + " | " + inputs[1].intermediate.toString(),
              "CPP_FILES = [ \"a.cpp\", \"skip.c\", \"b.cpp\" ] | OBJS = [ P\"/o/a.o\", P\"/o/b.o\" ]");
    EXPECT_FALSE(inputs[2].hasIntermediate());
    EXPECT_EQ(inputs[2].input.toString(), "S_FILES = \"skip.c\"");
    EXPECT_EQ(inputs[3].input.toString(), "LIB = [ \"m\", \"z\" ]");
    EXPECT_FALSE(inputs[3].hasIntermediate());
    EXPECT_FALSE(inputs[3].reuse);
}

// Two sources with one file name would overwrite each other's object: every shared path refuses them,
// naming both; the same source listed twice is harmless.
TEST(CBuilderTest, SourcesSharingAnObjectFile)
{
    StubTool tool;
    const auto clashOf = [](const std::string& a, const std::string& b) {
        return "Sources '" + a + "' and '" + b +
               "' would both be compiled to '/o/util.o'; rename one of them or put them in separate targets.";
    };
    const std::string clash = clashOf("a/util.c", "b/util.c");
    const TolmValuePtr twoUtils = listOf({str("a/util.c"), str("main.c"), str("b/util.c")});
    EXPECT_EQ(failureOf([&] { tool.objectPathsForSource(twoUtils, "/o"); }), clash);
    EXPECT_EQ(failureOf([&] { tool.objectPathsForSource(listOf({str("/s/a/util.c"), str("/s/b/util.c")}), "/o"); }),
              clashOf("/s/a/util.c", "/s/b/util.c"));
    // Spellings of one file are no clash.
    for (const TolmValuePtr same : {listOf({str("a/util.c"), str("./a/util.c")}),
                                     listOf({str("/s/a/util.c"), str("/s//a/./util.c"), str("/s/b/../a/util.c")})})
        EXPECT_EQ(tool.objectPathsForSource(same, "/o").size(), flattenValue(same).size()) << same->toString();

    std::vector<CachedRecipe> recipes;
    auto t = target({set("C_FILES", twoUtils), set("A", str("a/util.c")), set("B", str("b/util.cpp"))});
    EXPECT_EQ(failureOf([&] { tool.collectObjects(t->assignments, "C_FILES", "/o", recipes); }), clash);
    tool.collectObjects(t->assignments, "A", "/o", recipes);
    EXPECT_EQ(failureOf([&] { tool.collectObjects(t->assignments, "B", "/o", recipes); }),
              clashOf("a/util.c", "b/util.cpp"));

    std::vector<CachedInput> inputs;
    EXPECT_EQ(failureOf([&] { CBuilder::deriveVariable(t->assignments, "C_FILES", inputs, objects); }), clash);
    EXPECT_TRUE(inputs.empty());
    CBuilder::deriveVariable(t->assignments, "A", inputs, objects);
    EXPECT_EQ(failureOf([&] { CBuilder::deriveVariable(t->assignments, "B", inputs, objects); }),
              clashOf("a/util.c", "b/util.cpp"));
    CBuilder::deriveVariable(t->assignments, "A", inputs, DerivedVariable{"OTHER", objects.transform});
    EXPECT_EQ(inputs.size(), 2u);
}

}  // namespace
}  // namespace Tolm
