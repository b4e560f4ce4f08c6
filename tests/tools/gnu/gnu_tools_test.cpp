// The five GNU tools against a made-up toolchain: their command lines, their
// recipes and what they hand on to dependent targets.

#include <gtest/gtest.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/tool_test_support.h"
#include "tools/gnu/gnu_test_support.h"
#include "types/tolm_path_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using namespace GnuTestSupport;
using ToolTestSupport::targetOf;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string Gcc = "\"/tc/bin/gcc\"";
const std::string Gpp = "\"/tc/bin/g++\"";
const std::string Ar = "\"/tc/bin/ar\"";
const std::string Ld = "\"/tc/bin/ld\"";

std::shared_ptr<CBuilder> toolAt(GNUToolIndex index)
{
    switch (index) {
    case GccTool: return tool<GNU_GCC>(index);
    case GppTool: return tool<GNU_GPP>(index);
    case ArTool: return tool<GNU_AR>(index);
    case LdTool: return tool<GNU_LD>(index);
    case ObjcopyTool: break;
    }
    return tool<GNU_OBJCOPY>(index);
}

// The lines of a build of the target, as a tool makes them from the target
// itself; the lines it makes from the merged job context of its recipes must
// be the same.
Lines linesOf(GNUToolIndex index, Lines variables)
{
    ScratchDir out;
    LogCapture quiet(6);
    variables.push_back("OUTPUT_DIR = \"" + out.path().string() + "\"");
    const auto target = targetOf(variables);
    const auto builder = toolAt(index);
    builder->prepareOutput(*target, 1);
    const Lines direct = builder->buildCommandLines(builder->storedTargetName(), *target);

    const auto job = mergedJob(*target, builder->createRecipes(*target));
    builder->prepareOutput(*job, 1);
    EXPECT_EQ(builder->buildCommandLines(builder->storedTargetName(), *job), direct) << "merged job of " << direct[0];
    return direct;
}

// -c asks for compiling only when it is a word of its own among the flags.
TEST(GNUCompileOnlyFlag, IsTheWordDashC)
{
    const std::pair<const char*, bool> rows[] = {
        {"-c -O2", true},      {"-g\t-c\n", true}, {"-cfoo -c", true},   {"", false},
        {"-fno-common", false}, {"-I/opt/x-c", false}, {"-cfoo", false},     {"--c", false},
    };
    for (const auto& [flags, expected] : rows) EXPECT_EQ(gnuHasCompileOnlyFlag(flags), expected) << flags;
}

// The exact line of each tool, as the unit file writes the target. Texts read word by word (defines,
// libraries, link and copy flags) give one piece per word, list items and paths one piece each, also
// after the build's job merge; file names reach the shell literally.
TEST(GNUTools, CommandLines)
{
    const struct {
        GNUToolIndex tool;
        Lines variables;
        Lines expected;
    } rows[] = {
        {GccTool,
         {"C_FILES = [\"a.c\", \"b c.c\"]", "C_FLAGS = \"-O2 -c\"", "C_DEFINES = \"NDEBUG V=3\"", "INCLUDE = \"inc\""},
         {Gcc + " -O2 -c \"a.c\" \"b c.c\" -DNDEBUG -DV=3 -I\"inc\""}},
        {GccTool,
         {"C_FILES = \"main.c\"", "OBJS = [\"x.o\", \"y.o\"]", "LD_SCRIPT = \"link.ld\"", "LIB = \"-lm -lz\"",
          "LIBPATH = \"/opt/lib\"", "LINK_FLAGS = [\"--gc-sections\", \"-rpath /x\"]", "OUTPUT_NAME = \"app\"",
          "C_DEFINES = [\"A B\", \"C\"]"},
         {Gcc + " \"main.c\" -DA B -DC \"x.o\" \"y.o\" -T\"link.ld\" -o \"app\" \"-lm\" \"-lz\" -Wl,-L\"/opt/lib\""
                " -Wl,\"--gc-sections\" -Wl,\"-rpath /x\""}},
        {GccTool, {"C_FLAGS = [\"-g\", \"-c\"]", "C_FILES = \"m.c\"", "CPP_FILES = \"n.cpp\""},
         {Gcc + " -g -c \"m.c\""}},
        {GccTool, {"C_FILES = \"m.c\"", "OUTPUT_NAME = \"\""}, {Gcc + " \"m.c\" -o \"target\""}},
        {GccTool, {R"x(C_FILES = P"(a$b.c)")x", R"x(LIB = P"(my libs/libx.a)")x", "OUTPUT_NAME = \"a`b\""},
         {Gcc + R"( "a\$b.c" -o "a\`b" "my libs/libx.a")"}},
        {ArTool, {"OBJS = \"a.o\""}, {Ar + " rcs \"target\" \"a.o\""}},
        {ArTool, {"OBJS = \"a.o\"", "OUTPUT_NAME = \"\""}, {Ar + " rcs \"target.a\" \"a.o\""}},
        {LdTool,
         {"OBJS = [\"a.o\"]", "LIB = \"-lc\"", "LIBPATH = \"/l\"", "LINK_FLAGS = \"--as-needed -z now\"",
          "LD_SCRIPT = \"k.ld\""},
         {Ld + " \"a.o\" \"-lc\" -L\"/l\" \"--as-needed\" \"-z\" \"now\" -T\"k.ld\" -o \"target\""}},
        {LdTool, {"OBJS = \"a.o\"", "KO", "OUTPUT_NAME = \"\""}, {Ld + " \"a.o\" -o \"target.ko\""}},
        {LdTool, {"OBJS = \"a.o\"", "KO", "SO = \"1\"", "OUTPUT_NAME = \"\""},
         {Ld + " \"a.o\" -shared  -o \"target.so\""}},
        {LdTool, {"OBJS = \"a.o\"", "OUTPUT_NAME = \"\""}, {Ld + " \"a.o\" -o \"target.elf\""}},
        // A compiler links a shared object with -shared, named as ld names one; compiling only, or a
        // dependency merely named "shared", links nothing shared.
        {GccTool, {"C_FILES = \"x.c\"", "C_FLAGS = \"-fPIC\"", "SHARED", "OUTPUT_NAME = \"libx.so\""},
         {Gcc + " -fPIC \"x.c\" -shared -o \"libx.so\""}},
        {GccTool, {"C_FILES = \"x.c\"", "SO = \"1\""}, {Gcc + " \"x.c\" -shared -o \"target\""}},
        {GppTool, {"OBJS = \"a.o\"", "CPP_FILES", "SO", "OUTPUT_NAME = \"\"", "LIB = \"-lm\""},
         {Gpp + " \"a.o\" -shared -o \"target.so\" \"-lm\""}},
        {GccTool, {"C_FILES = \"x.c\"", "C_FLAGS = \"-c -fPIC\"", "SHARED"}, {Gcc + " -c -fPIC \"x.c\""}},
        {GccTool, {"C_FILES = \"x.c\"", "shared += { objs = \"a.o\" }"}, {Gcc + " \"x.c\" -o \"target\""}},
        // A relative file name that begins with '-' is named from the current directory, so that no
        // tool reads it as an option; library flags stay flags.
        {ArTool, {"OBJS = P\"(-a.o)\"", "OUTPUT_NAME = \"-v.a\""}, {Ar + " rcs \"./-v.a\" \"./-a.o\""}},
        {GccTool, {"C_FILES = P\"(-m.c)\"", "OUTPUT_NAME = \"-app\"", "LIB = \"-lm\""},
         {Gcc + " \"./-m.c\" -o \"./-app\" \"-lm\""}},
        {LdTool, {"OBJS = \"a.o\"", "SHARED", "OUTPUT_NAME = \"-x.so\""}, {Ld + " \"a.o\" -shared  -o \"./-x.so\""}},
        {ObjcopyTool, {"INPUT = P\"(-d.bin)\"", "OUTPUT_NAME = \"-d.o\""},
         {"\"/tc/bin/objcopy\" \"./-d.bin\" \"./-d.o\""}},
    };
    for (const auto& row : rows) EXPECT_EQ(linesOf(row.tool, row.variables), row.expected) << row.variables[0];
}

// Objects handed to a compile-only target are left off its line, with a warning naming the target.
TEST(GNUTools, ObjectsOfACompileOnlyTarget)
{
    LogCapture log(6);
    const auto gcc = toolAt(GccTool);
    const auto target = targetOf({"C_FLAGS = \"-c\"", "C_FILES = \"m.c\"", "OBJS = \"x.o\""});
    EXPECT_EQ(gcc->buildCommandLines("target", *target), Lines{Gcc + " -c \"m.c\""});
    EXPECT_EQ(log.text(), "OBJS were passed to 'target', but target uses -c.\n");
}

std::string textOfValue(const TolmValuePtr& value)
{
    if (!value) return "<none>";
    if (const auto* path = dynamic_cast<const TolmPathString*>(value.get())) return path->fullPath().string();
    if (const auto* list = dynamic_cast<const TolmList*>(value.get())) {
        std::string text = "[";
        for (const TolmValuePtr& item : list->items()) text += (text.size() > 1 ? " " : "") + textOfValue(item);
        return text + "]";
    }
    return value->toString();
}

// A recipe set written out: each recipe's inputs (with "+" for one that
// declares an intermediate file) and outputs, the context names and the
// parallel limit; path values with their full path.
std::string describe(const RecipeSet& set)
{
    std::string text;
    for (const CachedRecipe& recipe : set.recipes) {
        for (const CachedInput& entry : recipe.inputs)
            text += entry.input.name + "=" + textOfValue(entry.input.value) + (entry.hasIntermediate() ? "+" : "") + " ";
        text += "->";
        for (const Assignment& output : recipe.outputs) text += " " + output.name + "=" + textOfValue(output.value);
        text += "; ";
    }
    text += "context";
    for (const Assignment& assignment : set.context) text += " " + assignment.name;
    return text + "; limit " + std::to_string(set.maxParallelJobs);
}

// Compile-only: one recipe per source producing its object, any number at once. Any other target:
// one recipe, run alone, that declares the very file its command writes; compile and link declares
// no object files, since that command writes none.
TEST(GNUTools, Recipes)
{
    const std::string out = "/p/x86_64-linux-gnu/unit/target/";
    const std::string sources = "C_FILES = [\"src/a.c\", \"b.c\"]";
    const Lines link{sources, "CPP_FILES = \"c.cpp\"", "OBJS = \"x.o\"", "LIB = \"-lm -lz\"", "LD_SCRIPT = \"k.ld\"",
                     "LIBPATH = \"/l\"", "LINK_FLAGS = \"--gc-sections\"", "OUTPUT_NAME = \"\""};
    const std::string linked = "OBJS=x.o C_FILES=[src/a.c b.c] CPP_FILES=c.cpp LIB=[-lm -lz] LD_SCRIPT=k.ld -> BINARY=" +
                               out + "target BINARY_NAME=target; context LINK_FLAGS LIBPATH PROJECT_ROOT OUTPUT_NAME; limit 1";
    const struct {
        GNUToolIndex tool;
        Lines variables;
        std::string expected;
    } rows[] = {
        {GccTool, {sources, "CPP_FILES = \"c.cpp\"", "C_FLAGS = \"-c\"", "C_DEFINES = \"NDEBUG V=3\""},
         "C_FILES=src/a.c -> OBJS=" + out + "a.o; C_FILES=b.c -> OBJS=" + out + "b.o; CPP_FILES=c.cpp -> OBJS=" + out +
             "c.o; context C_DEFINES C_FLAGS PROJECT_ROOT; limit -1"},
        {GccTool, link, linked},
        {ArTool, {"OBJS = [\"a.o\", \"b.o\"]", "OUTPUT_NAME = \"lib/libm.a\""},
         "OBJS=[a.o b.o] -> LIB=" + out + "lib/libm.a LIB_NAME=libm.a; context PROJECT_ROOT OUTPUT_NAME; limit 1"},
        {GccTool, {"C_FILES = \"a.c\"", "SHARED", "OUTPUT_NAME = \"libx.so\""},
         "C_FILES=a.c -> BINARY=" + out + "libx.so BINARY_NAME=libx.so SO=" + out +
             "libx.so SO_NAME=libx.so; context SHARED PROJECT_ROOT OUTPUT_NAME; limit 1"},
        {LdTool, {"OBJS = \"a.o\"", "LIB = \"-lc\"", "LINK_FLAGS = [\"-z now\"]", "SHARED", "OUTPUT_NAME = \"\""},
         "OBJS=a.o LIB=[-lc] LINK_FLAGS=[-z now] -> BINARY=" + out + "target.so BINARY_NAME=target.so SO=" + out +
             "target.so SO_NAME=target.so; context SHARED PROJECT_ROOT OUTPUT_NAME; limit 1"},
        {ObjcopyTool, {"INPUT = \"d.bin\"", "OBJCOPY_FLAGS = \"-O binary\"", "OUTPUT_NAME = \"d.o\""},
         "INPUT=d.bin OBJCOPY_FLAGS=[-O binary] -> OUTPUT=" + out + "d.o OUTPUT_NAME=d.o; context PROJECT_ROOT OUTPUT_NAME; limit 1"},
    };
    for (const auto& row : rows) {
        Lines variables = row.variables;
        variables.push_back("PROJECT_ROOT = \"/p\"");
        EXPECT_EQ(describe(toolAt(row.tool)->createRecipes(*targetOf(variables))), row.expected) << row.variables[0];
    }
}

// "name=value" of an output context in name order; path values with their full path.
Lines outputsOf(CBuilder& builder, Lines variables)
{
    LogCapture quiet(6);
    variables.push_back("OUTPUT_DIR = \"/o\"");
    const auto target = targetOf(variables);
    builder.setOutputDirectory(*target);
    const Context outputs = builder.createOutputContext(*target, 0);
    Lines lines;
    for (const auto& [name, a] : outputs.assignments) lines.push_back(name.str() + "=" + textOfValue(a.value));
    return lines;
}

// What a dependent target receives: object files of a compile-only target; objects, elf and binary of
// a linked one; a shared object as so and binary, also when a compiler links it; the copy as output.
TEST(GNUTools, OutputContexts)
{
    const struct {
        GNUToolIndex tool;
        Lines variables;
        Lines expected;
    } rows[] = {
        {GccTool, {"C_FLAGS = \"-c\"", "C_FILES = [\"a.c\", \"s/b.c\"]", "CPP_FILES = \"c.cpp\""},
         {"objs=[/o/a.o /o/b.o]"}},
        {GccTool, {"OBJS = \"x.o\"", "OUTPUT_NAME = \"bin/app\""},
         {"binary=/o/bin/app", "binary_name=app", "elf=/o/bin/app", "elf_name=app", "objs=[]"}},
        {LdTool, {"OBJS = \"a.o\"", "SHARED", "OUTPUT_NAME = \"libx.so\""},
         {"binary=/o/libx.so", "binary_name=libx.so", "so=/o/libx.so", "so_name=libx.so"}},
        {GppTool, {"CPP_FILES = \"x.cpp\"", "SO", "OUTPUT_NAME = \"libx.so\""},
         {"binary=/o/libx.so", "binary_name=libx.so", "elf=/o/libx.so", "elf_name=libx.so", "objs=[/o/x.o]",
          "so=/o/libx.so", "so_name=libx.so"}},
        {GccTool, {"C_FLAGS = \"-c\"", "C_FILES = \"a.c\"", "SHARED"}, {"objs=[/o/a.o]"}},
        {ObjcopyTool, {"INPUT = \"d.bin\"", "OUTPUT_NAME = \"d.o\""}, {"output=/o/d.o", "output_name=d.o"}},
    };
    for (const auto& row : rows) EXPECT_EQ(outputsOf(*toolAt(row.tool), row.variables), row.expected) << row.variables[0];
}

// Whether a target links a shared object is settled when its tool is chosen; what arrives later
// from dependencies (a library's so merged in by "+", a dependency named so) changes neither the
// recipes, nor the line of the job or of the target itself, nor the outputs.
TEST(GNUTools, SharedLinkSettledWhenChosen)
{
    const struct {
        GNUToolIndex tool;
        Lines own;
        Lines merged;
        std::string line;
        Lines outputs;
    } rows[] = {
        {GccTool, {"C_FILES = \"m.c\""}, {"so = P\"(/l/libx.so)\"", "so_name = \"libx.so\""},
         Gcc + " \"m.c\" -o \"target\"", {"binary", "binary_name", "elf", "elf_name", "objs"}},
        {LdTool, {"OBJS = \"a.o\"", "LD"}, {"so += { objs = \"x.o\" }", "SHARED += { objs = \"y.o\" }"},
         Ld + " \"a.o\" -o \"target\"", {"binary", "binary_name"}},
        {LdTool, {"OBJS = \"a.o\"", "SHARED"}, {}, Ld + " \"a.o\" -shared  -o \"target\"",
         {"binary", "binary_name", "so", "so_name"}},
    };
    for (const auto& row : rows) {
        LogCapture quiet(6);
        Lines own = row.own;
        own.push_back("OUTPUT_DIR = \"/o\"");
        const auto target = targetOf(own);
        const auto builder = toolAt(row.tool);
        builder->chosenFor(*target);
        for (const std::string& line : row.merged) target->addAssignment(parseAssignment(line, "/proj"), 0);

        const RecipeSet set = builder->createRecipes(*target);
        const bool shared = std::find(row.outputs.begin(), row.outputs.end(), "so") != row.outputs.end();
        EXPECT_EQ(describe(set).find(" SO=") != std::string::npos, shared) << describe(set);
        EXPECT_EQ(describe(set).find(" SHARED") != std::string::npos, shared) << describe(set);
        const auto job = mergedJob(*target, set);
        builder->setOutputDirectory(*job);
        EXPECT_EQ(builder->buildCommandLines("target", *job), Lines{row.line}) << row.own[0];
        EXPECT_EQ(builder->buildCommandLines("target", *target), Lines{row.line}) << row.own[0];
        Lines names;
        for (const auto& [name, assignment] : builder->createOutputContext(*target, 0).assignments)
            names.push_back(name.str());
        EXPECT_EQ(names, row.outputs) << row.own[0];
    }
}

// Re-archiving starts from nothing: the old archive is removed when the build starts, and a
// directory in its place stops the build instead of leaving stale objects behind.
TEST(GNUTools, ArchiveStartsEmpty)
{
    const ScratchDir dir;
    const auto ar = toolAt(ArTool);
    const auto target =
        targetOf({"OBJS = \"a.o\"", "OUTPUT_NAME = \"libx.a\"", "OUTPUT_DIR = \"" + dir.path().string() + "\""});
    const fs::path archive = dir.write("libx.a", "!<arch>\nold member");
    ar->prepareOutput(*target, 1);
    EXPECT_FALSE(fs::exists(archive));
    ar->prepareOutput(*target, 1);  // nothing to remove is fine

    dir.write("libx.a/inside", "x");
    EXPECT_TRUE(failureOf([&] { ar->prepareOutput(*target, 1); })
                    .starts_with("Cannot remove the old archive '" + archive.string() + "': "));
    EXPECT_TRUE(fs::exists(archive / "inside"));
}

// A match subject set only as an output does not count, and says so; the archiver prefers a target
// whose output name ends in .a, in any case, as it does a declared STATIC.
TEST(GNUTools, MatchTarget)
{
    LogCapture log(4);
    EXPECT_FALSE(toolAt(GccTool)->matchTarget(*targetOf({"^C_FILES = \"a.c\""})).possible());
    EXPECT_TRUE(toolAt(GccTool)->matchTarget(*targetOf({"^C_FILES = \"a.c\"", "OBJS = \"a.o\""})).possible());
    EXPECT_EQ(log.text(), "Skipping 'C_FILES' as match subject: output variable\n"
                          "Skipping 'C_FILES' as match subject: output variable\n");

    const auto ar = toolAt(ArTool);
    const auto scoreOf = [&](const Lines& variables) {
        const auto target = targetOf(variables);
        return ar->scoreMatch(*target, ar->matchTarget(*target));
    };
    EXPECT_EQ(scoreOf({"OBJS = \"a.o\"", "OUTPUT_NAME = \"LIBX.A\""}), 1 + 5);
    EXPECT_EQ(scoreOf({"OBJS = \"a.o\"", "OUTPUT_NAME = \"libx.so\""}), 1);
    EXPECT_EQ(scoreOf({"OBJS = \"a.o\"", "^OUTPUT_NAME = \"libx.a\""}), 1);
}

// Every tool builds into a directory of its machine, starts each archive afresh, and runs its
// commands in the output directory with the toolchain directory in front of PATH.
TEST(GNUTools, SharedParts)
{
    EXPECT_EQ(tool<GNU_LD>(LdTool, toolchain(""))->toolchainId(), "x86_64--gnu");
    EXPECT_EQ(tool<GNU_GCC>(GccTool)->toolchainId(), "x86_64-linux-gnu");

    LogCapture quiet(6);
    ScratchDir out;
    const auto ar = tool<GNU_AR>(ArTool);
    const auto target = targetOf({"OBJS = \"a.o\"", "OUTPUT_DIR = \"" + out.path().string() + "\""});
    // An archive of an earlier build is gone once the output is prepared.
    out.write("target", "stale");
    ar->prepareOutput(*target, 1);
    EXPECT_FALSE(fs::exists(out.path() / "target"));
    const std::vector<Command> commands = ar->createCommands(*target);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].workingDirectory, out.path());
    EXPECT_EQ(commands[0].pathDirectories, std::vector<fs::path>{"/tc/bin"});
    GNUToolchainInfo noDirectory = toolchain();
    noDirectory.toolchainPath.clear();
    EXPECT_TRUE(tool<GNU_AR>(ArTool, noDirectory)->createCommands(*target)[0].pathDirectories.empty());
}

// A tool is the first regular executable file among the prefixed and plain names, with or without
// .exe; a directory or a file nobody may run under that name does not count.
TEST(GNUTools, ToolPath)
{
    ScratchDir bin;
    const fs::path dir = bin.path();
    FakeTool::writeExecutable(dir / "arm-none-eabi-ld.exe", "#!/bin/sh\n");
    FakeTool::writeExecutable(dir / "ld", "#!/bin/sh\n");
    FakeTool::writeExecutable(dir / "objcopy.exe", "#!/bin/sh\n");
    fs::create_directories(dir / "x86_64-linux-gnu-ar");
    FakeTool::writeExecutable(dir / "ar", "#!/bin/sh\n");
    bin.write("x86_64-linux-gnu-as", "not a program");
    fs::create_directories(dir / "as");
    fs::create_symlink(dir / "ld", dir / "x86_64-linux-gnu-ld");

    const struct {
        const char* prefix;
        const char* tool;
        std::string expected;
    } rows[] = {
        {"arm-none-eabi", "ld", "arm-none-eabi-ld.exe"},
        {"x86_64-linux-gnu", "ld", "x86_64-linux-gnu-ld"},
        {"x86_64-linux-gnu", "objcopy", "objcopy.exe"},
        {"x86_64-linux-gnu", "ar", "ar"},
        {"x86_64-linux-gnu", "as", ""},
    };
    for (const auto& row : rows) {
        const fs::path found = GNUTool::toolPath(dir, row.prefix, row.tool);
        EXPECT_EQ(found, row.expected.empty() ? fs::path() : dir / row.expected) << row.prefix << " " << row.tool;
    }
}

}  // namespace
}  // namespace Tolm
