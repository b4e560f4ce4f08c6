// The five LLVM tools on targets written as unit-file lines: the recipes and
// exact command lines they make (GNU style and MSVC style), and the outputs
// they hand to dependent targets. Which tool takes a target is the matcher's test.

#include <gtest/gtest.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/llvm/llvm_archiver.h"
#include "tools/llvm/llvm_compilers.h"
#include "tools/llvm/llvm_linker.h"
#include "tools/llvm/llvm_objcopy.h"
#include "tools/llvm/llvm_test_support.h"
#include "types/tolm_path_string.h"

namespace Tolm {
namespace {

namespace fs = std::filesystem;
using namespace LLVMTestSupport;

// The toolchain's tool of that name: clang, clang++, ar, ld or objcopy.
std::shared_ptr<CBuilder> toolOf(const std::string& name, const LLVMToolchainInfo& t = toolchainFor(Linux))
{
    if (name == "clang") return makeTool<LLVM_CLANG>(llvmClangTable(), t, t.clang);
    if (name == "clang++") return makeTool<LLVM_CLANGPP>(llvmClangppTable(), t, t.clangxx);
    if (name == "ar") return makeTool<LLVM_AR>(llvmArTable(), t, t.ar);
    if (name == "ld") return makeTool<LLVM_LD>(llvmLdTable(), t, t.linker);
    return makeTool<LLVM_OBJCOPY>(llvmObjcopyTable(), t, t.objcopy);
}

// Only the word -c makes a compile-only target.
TEST(LLVMToolsTest, CompileOnlyFlag)
{
    const struct {
        const char* flags;
        bool compileOnly;
    } flagCases[] = {{"-O2 -c -g", true}, {"\t-c\n", true},         {"-cc", false},
                     {"-Wl,-c", false},    {"-fno-common", false}, {"-I/opt/x-c", false}};
    for (const auto& c : flagCases) EXPECT_EQ(hasCompileOnlyFlag(c.flags), c.compileOnly) << c.flags;
}

// A recipe set written out: each recipe's inputs (with "+" and the name of an
// intermediate) and outputs, the context names and the parallel limit.
std::string describe(const RecipeSet& set)
{
    std::string text;
    for (const CachedRecipe& recipe : set.recipes) {
        for (const CachedInput& input : recipe.inputs)
            text += input.input.name + "=" + input.input.value->toString() +
                    (input.hasIntermediate() ? "+" + input.intermediate.name : "") + " ";
        text += "->";
        for (const Assignment& output : recipe.outputs) text += " " + output.name + "=" + output.value->toString();
        text += "; ";
    }
    text += "context";
    for (const Assignment& assignment : set.context) text += " " + assignment.name;
    return text + "; limit " + std::to_string(set.maxParallelJobs);
}

// Compile-only targets get one recipe per source, run without limit; any
// other target one compile-and-link recipe, run alone, that names no object
// files its command never writes.
TEST(LLVMToolsTest, CompilerRecipes)
{
    const std::string objects = "/proj/x86_64-pc-linux-gnu/unit/app/";
    const struct {
        std::vector<std::string> lines;
        std::string expected;
    } cases[] = {
        {{R"(C_FILES = ["a.c", "src/b.c"])", R"(CPP_FILES = "c.cpp")", R"(C_FLAGS = "-O2 -c")",
          R"(C_DEFINES = "X")"},
         "C_FILES=a.c -> OBJS=" + objects + "a.o; C_FILES=src/b.c -> OBJS=" + objects +
             "b.o; CPP_FILES=c.cpp -> OBJS=" + objects + "c.o; context C_DEFINES C_FLAGS PROJECT_ROOT; limit -1"},
        {{R"(C_FILES = ["a.c", "b.c"])", R"(CPP_FILES = "c.cpp")", R"(OBJS = ["x.o"])", R"(LIB = ["libm.a"])",
          R"(LD_SCRIPT = "x.ld")", R"(LINK_FLAGS = ["--gc-sections"])", R"(LIBPATH = ["lib"])",
          R"(INCLUDE = ["inc"])", R"(OUTPUT_NAME = "tool")"},
         "OBJS=x.o C_FILES=a.c b.c CPP_FILES=c.cpp LIB=libm.a LD_SCRIPT=x.ld -> BINARY=tool BINARY_NAME=tool; "
         "context INCLUDE LINK_FLAGS LIBPATH PROJECT_ROOT OUTPUT_NAME; limit 1"},
        {{R"(CPP_FILES = "c.cpp")", "SHARED"},
         "CPP_FILES=c.cpp -> BINARY=app.so BINARY_NAME=app.so SO=app.so SO_NAME=app.so; context SHARED PROJECT_ROOT; "
         "limit 1"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(toolOf("clang++")->createRecipes(*targetOf(c.lines))), c.expected);
}

// The exact line of each tool, one per job. Compilers: flags whole, sources
// and include directories quoted, defines split into words (also after the
// job merge) and never quoted, link inputs and the lld switch only when
// linking. Linkers: GNU style with -L, -T, -shared and -o; MSVC style with
// /LIBPATH:, /DLL and /OUT: and no linker script. The default names follow
// the platform and the link kind.
TEST(LLVMToolsTest, CommandLines)
{
    const std::string clang = R"("/opt/llvm/bin/clang" --target=x86_64-pc-linux-gnu)";
    const std::string objects = R"(OBJS = ["a.o", "b.o"])";
    const std::vector<std::string> link{objects, R"(LIB = ["libm.a"])", R"(LIBPATH = ["lib"])",
                                        R"(LINK_FLAGS = ["--as-needed"])", R"(LD_SCRIPT = "x.ld")"};
    std::vector<std::string> dll = link;
    dll.push_back("DLL");
    const struct {
        const char* triple;
        const char* tool;
        std::vector<std::string> lines;
        std::vector<std::string> expected;
    } cases[] = {
        {Linux, "clang",
         {R"(C_FILES = ["main.c", "util.c"])", R"(C_FLAGS = "-O2 -g")", R"(C_DEFINES = "NDEBUG V=3")",
          R"(INCLUDE = ["inc"])", R"(LIB = ["libm.a"])", R"(LIBPATH = ["lib"])",
          R"(LINK_FLAGS = ["--gc-sections"])"},
         {clang + R"( -O2 -g "main.c" "util.c" -DNDEBUG -DV=3 -I"inc" -fuse-ld=lld -o "app" "libm.a" -L"lib")"
                  R"( -Wl,"--gc-sections")"}},
        {Linux, "clang",
         {R"(C_FILES = ["a.c", "b.c"])", R"(C_FLAGS = "-O2 -c")", R"(C_DEFINES = ["A", "B=1"])"},
         {clang + R"( -O2 -c "a.c" -DA -DB=1)", clang + R"( -O2 -c "b.c" -DA -DB=1)"}},
        {Linux, "clang++",
         {R"(C_FILES = "a.c")", R"(CPP_FILES = ["b.cpp", "c.cpp"])", R"(OBJS = ["x.o"])", R"(LD_SCRIPT = "link.ld")"},
         {R"("/opt/llvm/bin/clang++" --target=x86_64-pc-linux-gnu "a.c" "b.cpp" "c.cpp" "x.o" -T"link.ld")"
          R"( -fuse-ld=lld -o "app")"}},
        {Msvc, "clang", {R"(C_FILES = "a.c")"},
         {R"("/opt/llvm/bin/clang" --target=x86_64-pc-windows-msvc "a.c" -fuse-ld=lld -o "app.exe")"}},
        {MinGW, "clang", {R"(C_FILES = "a.c")", R"(OUTPUT_NAME = "app.bin")"},
         {R"("/opt/llvm/bin/clang" --target=x86_64-w64-windows-gnu "a.c" -fuse-ld=lld -o "app.bin")"}},
        {"", "clang", {R"(C_FILES = "a.c")"}, {R"("/opt/llvm/bin/clang" "a.c" -fuse-ld=lld -o "app")"}},
        {Linux, "ar", {objects, "STATIC"}, {R"("/opt/llvm/bin/llvm-ar" rcs "app.a" "a.o" "b.o")"}},
        {Msvc, "ar", {objects, "STATIC"}, {R"("/opt/llvm/bin/llvm-ar" rcs "app.lib" "a.o" "b.o")"}},
        {MinGW, "ar", {objects, "STATIC"}, {R"("/opt/llvm/bin/llvm-ar" rcs "app.a" "a.o" "b.o")"}},
        {Linux, "ld", link,
         {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" "libm.a" -L"lib" "--as-needed" -T"x.ld" -o "app.elf")"}},
        {Linux, "ld", {objects, R"(LIB = "libm.a libz.a")", R"(LINK_FLAGS = "--as-needed -s")"},
         {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" "libm.a" "libz.a" "--as-needed" "-s" -o "app.elf")"}},
        {Linux, "ld", {objects, "SO"}, {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" -shared -o "app.so")"}},
        {Linux, "ld", {objects, R"(SHARED = "0")", "KO"}, {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" -shared -o "app.ko")"}},
        {Linux, "ld", {objects, "KO"}, {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" -o "app.ko")"}},
        {Msvc, "ld", dll,
         {R"("/opt/llvm/bin/lld-link" "a.o" "b.o" "libm.a" /LIBPATH:"lib" "--as-needed" /DLL /OUT:"app.dll")"}},
        {Msvc, "ld", {objects}, {R"("/opt/llvm/bin/lld-link" "a.o" "b.o" /OUT:"app.exe")"}},
        {Msvc, "ld", {objects, R"x(LIB = P"(my libs/x.lib)")x", R"(OUTPUT_NAME = "a$b.dll")"},
         {R"("/opt/llvm/bin/lld-link" "a.o" "b.o" "my libs/x.lib" /OUT:"a\$b.dll")"}},
        {MinGW, "ld", {objects, "SHARED"}, {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" -shared -o "app.dll")"}},
        {MinGW, "ld", {objects}, {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" -o "app.exe")"}},
        // A compiler links a shared library as the linker names one; compiling only links nothing.
        {Linux, "clang", {R"(C_FILES = "x.c")", "SHARED"}, {clang + R"( "x.c" -fuse-ld=lld -shared -o "app.so")"}},
        {Linux, "clang++", {R"(CPP_FILES = "x.cpp")", R"(SO = "1")", R"(OUTPUT_NAME = "libx.so")"},
         {R"("/opt/llvm/bin/clang++" --target=x86_64-pc-linux-gnu "x.cpp" -fuse-ld=lld -shared -o "libx.so")"}},
        {Msvc, "clang", {R"(C_FILES = "a.c")", "DLL"},
         {R"("/opt/llvm/bin/clang" --target=x86_64-pc-windows-msvc "a.c" -fuse-ld=lld -shared -o "app.dll")"}},
        {Linux, "clang", {R"(C_FILES = "x.c")", R"(C_FLAGS = "-c")", "SHARED"}, {clang + R"( -c "x.c")"}},
        {Linux, "clang", {R"(C_FILES = "x.c")", R"(shared += { OBJS = "a.o" })"},
         {clang + R"( "x.c" -fuse-ld=lld -o "app")"}},
        // A relative file name that begins with '-' cannot be read as an option.
        {Linux, "ar", {R"x(OBJS = [P"(-a.o)"])x", "STATIC", R"(OUTPUT_NAME = "-v.a")"},
         {R"("/opt/llvm/bin/llvm-ar" rcs "./-v.a" "./-a.o")"}},
        {Linux, "clang", {R"x(C_FILES = P"(-m.c)")x", R"(OUTPUT_NAME = "-m")", R"(LIB = "-lm")"},
         {clang + R"( "./-m.c" -fuse-ld=lld -o "./-m" "-lm")"}},
        {Linux, "ld", {objects, "SO", R"(OUTPUT_NAME = "-x.so")"},
         {R"("/opt/llvm/bin/ld.lld" "a.o" "b.o" -shared -o "./-x.so")"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandLines(*toolOf(c.tool, toolchainFor(c.triple)), c.lines), c.expected)
            << testing::PrintToString(c.lines);
}

// A compile-only job that is handed objects leaves them off the line and says so.
TEST(LLVMToolsTest, CompileOnlyWarnsAboutObjects)
{
    const auto job = targetOf({R"(C_FILES = "a.c")", R"(C_FLAGS = "-c")", R"(OBJS = ["x.o"])"});
    TestSupport::LogCapture log(6);
    EXPECT_EQ(toolOf("clang")->buildCommandLines("app", *job).at(0),
              R"("/opt/llvm/bin/clang" --target=x86_64-pc-linux-gnu -c "a.c")");
    EXPECT_EQ(log.text(), "OBJS were passed to 'app', but target uses -c.\n");
}

// An output context written out, path values relative to the scratch root.
std::string describe(const Context& outputs, const fs::path& root)
{
    std::string text;
    for (const auto& [name, assignment] : outputs.assignments) {
        std::string value;
        for (const TolmValuePtr& leaf : flattenValue(assignment.value)) {
            const auto* path = dynamic_cast<const TolmPathString*>(leaf.get());
            value += (value.empty() ? "" : ",") +
                     (path ? path->fullPath().lexically_relative(root).string() : leaf->toString());
        }
        text += (text.empty() ? "" : " ") + assignment.name + "=" + value;
    }
    return text;
}

// What a finished job hands to dependent targets: the names the commands
// wrote, in the output directory.
std::string outputsOf(CBuilder& tool, const std::vector<std::string>& lines, const fs::path& root)
{
    const auto target = targetOf(lines, root);
    const RecipeSet set = tool.createRecipes(*target);
    const auto job = jobOf(*target, set);
    tool.prepareOutput(*job, 1);
    const Context outputs = tool.createOutputContext(*job, 0);
    tool.finishBuild();
    return describe(outputs, root / "out");
}

// Compilers export their objects and, when they link, the binary (also as
// ELF off Windows, and as SO or DLL for a shared library); the archiver its library; the linker its binary and,
// for a shared library, the same file as SO or DLL; the copier its output.
TEST(LLVMToolsTest, OutputContexts)
{
    const ScratchDir dir;
    const std::string out = R"(OUTPUT_DIR = ")" + (dir.path() / "out").string() + "\"";
    const struct {
        const char* triple;
        const char* tool;
        std::vector<std::string> lines;
        const char* expected;
    } cases[] = {
        {Linux, "clang", {out, R"(C_FILES = ["a.c", "b.c"])"},
         "BINARY=app BINARY_NAME=app ELF=app ELF_NAME=app OBJS=a.o,b.o"},
        {Linux, "clang++", {out, R"(C_FILES = "a.c")", R"(CPP_FILES = "b.cpp")", R"(C_FLAGS = "-c")"},
         "OBJS=a.o,b.o"},
        {Msvc, "clang", {out, R"(C_FILES = "a.c")"}, "BINARY=app.exe BINARY_NAME=app.exe OBJS=a.o"},
        {Linux, "ar", {out, R"(OBJS = ["a.o"])", "STATIC"}, "LIB=app.a LIB_NAME=app.a"},
        {Linux, "ld", {out, R"(OBJS = ["a.o"])", "SO"}, "BINARY=app.so BINARY_NAME=app.so SO=app.so SO_NAME=app.so"},
        {Msvc, "ld", {out, R"(OBJS = ["a.o"])", "DLL"},
         "BINARY=app.dll BINARY_NAME=app.dll DLL=app.dll DLL_NAME=app.dll"},
        {Linux, "clang", {out, R"(C_FILES = "a.c")", "SHARED"},
         "BINARY=app.so BINARY_NAME=app.so ELF=app.so ELF_NAME=app.so OBJS=a.o SO=app.so SO_NAME=app.so"},
        {Msvc, "clang", {out, R"(C_FILES = "a.c")", "SO"},
         "BINARY=app.dll BINARY_NAME=app.dll DLL=app.dll DLL_NAME=app.dll OBJS=a.o"},
        {Linux, "objcopy", {out, R"(INPUT = "app.elf")"}, "OUTPUT=app OUTPUT_NAME=app"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(outputsOf(*toolOf(c.tool, toolchainFor(c.triple)), c.lines, dir.path()), c.expected) << c.tool;
    }
}

// Whether a target links a shared library is settled when its tool is chosen; a library's SO or DLL
// merged in later by "+", or a dependency named so or shared, changes neither its recipes, nor the
// line of its job or of the target itself, nor its outputs.
TEST(LLVMToolsTest, SharedLinkSettledWhenChosen)
{
    const std::string clang = R"("/opt/llvm/bin/clang" --target=)";
    const std::string objects = R"(OBJS = ["a.o"])";
    const struct {
        const char* triple;
        const char* tool;
        std::vector<std::string> own;
        std::vector<std::string> merged;
        std::string line;
        std::string outputs;
    } cases[] = {
        {Linux, "clang", {R"(C_FILES = "m.c")"}, {R"x(SO = P"(/l/libx.so)")x", R"(SO_NAME = "libx.so")"},
         clang + Linux + R"( "m.c" -fuse-ld=lld -o "app")", "BINARY BINARY_NAME ELF ELF_NAME OBJS"},
        {MinGW, "clang", {R"(C_FILES = "m.c")"}, {R"x(DLL = P"(/l/x.dll)")x"},
         clang + MinGW + R"( "m.c" -fuse-ld=lld -o "app.exe")", "BINARY BINARY_NAME OBJS"},
        {Linux, "ld", {objects}, {R"(so += { OBJS = "x.o" })", R"(shared += { OBJS = "y.o" })"},
         R"("/opt/llvm/bin/ld.lld" "a.o" -o "app.elf")", "BINARY BINARY_NAME"},
        {Linux, "ld", {objects, "SO"}, {}, R"("/opt/llvm/bin/ld.lld" "a.o" -shared -o "app.so")",
         "BINARY BINARY_NAME SO SO_NAME"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> own = c.own;
        own.push_back(R"(OUTPUT_DIR = "/o")");
        const auto target = targetOf(own);
        const auto tool = toolOf(c.tool, toolchainFor(c.triple));
        tool->chosenFor(*target);
        for (const std::string& line : c.merged) target->addAssignment(parseAssignment(line, "/proj"), 0);

        const RecipeSet set = tool->createRecipes(*target);
        const bool shared = c.outputs.ends_with("SO_NAME");
        EXPECT_EQ(describe(set).find(" SO=") != std::string::npos, shared) << describe(set);
        EXPECT_EQ(describe(set).find("context SO") != std::string::npos, shared) << describe(set);
        const auto job = jobOf(*target, set);
        tool->setOutputDirectory(*job);
        EXPECT_EQ(tool->buildCommandLines("app", *job), std::vector<std::string>{c.line}) << c.tool;
        EXPECT_EQ(tool->buildCommandLines("app", *target), std::vector<std::string>{c.line}) << c.tool;
        std::string names;
        for (const auto& [name, assignment] : tool->createOutputContext(*target, 0).assignments)
            names += (names.empty() ? "" : " ") + name.str();
        EXPECT_EQ(names, c.outputs) << c.tool;
    }
}

// The object copier's flags are never quoted, its inputs always, and its
// output is the name stored when the build started.
TEST(LLVMToolsTest, ObjectCopyCommand)
{
    const ScratchDir dir;
    const auto objcopy = toolOf("objcopy");
    const auto target = targetOf({R"(INPUT = ["app.elf"])", R"(OBJCOPY_FLAGS = ["-O binary", "--strip-all"])",
                                  R"(OUTPUT_NAME = "app.bin")", R"(OUTPUT_DIR = ")" + dir.path().string() + "\""});
    const RecipeSet set = objcopy->createRecipes(*target);
    const auto job = jobOf(*target, set);
    objcopy->prepareOutput(*job, 1);
    EXPECT_EQ(objcopy->buildCommandLines("app", *job).at(0),
              R"("/opt/llvm/bin/llvm-objcopy" -O binary --strip-all "app.elf" "app.bin")");
}

// Every command runs in the output directory with the toolchain's bin
// directory last on its PATH list; a toolchain without one adds nothing.
TEST(LLVMToolsTest, CommandsRunWithTheToolchainOnPath)
{
    const ScratchDir dir;
    for (const fs::path& bin : {fs::path("/opt/llvm/bin"), fs::path()}) {
        LLVMToolchainInfo toolchain = toolchainFor(Linux);
        toolchain.binDirectory = bin;
        const auto clang = toolOf("clang", toolchain);
        const auto target = targetOf({R"(C_FILES = "a.c")", R"(OUTPUT_DIR = ")" + dir.path().string() + "\""});
        const auto job = jobOf(*target, clang->createRecipes(*target));
        clang->prepareOutput(*job, 1);
        const std::vector<Command> commands = clang->createCommands(*job);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].workingDirectory, dir.path());
        EXPECT_EQ(commands[0].pathDirectories, bin.empty() ? std::vector<fs::path>{} : std::vector<fs::path>{bin});
    }
}

// Re-archiving starts from nothing: the old archive is removed when the build
// starts, and a directory in its place stops the build instead of leaving
// stale objects behind.
TEST(LLVMToolsTest, ArchiveStartsEmpty)
{
    const ScratchDir dir;
    const auto ar = toolOf("ar");
    const auto target = targetOf({R"(OBJS = ["a.o"])", "STATIC", R"(OUTPUT_DIR = ")" + dir.path().string() + "\""});
    const auto job = jobOf(*target, ar->createRecipes(*target));
    const fs::path archive = dir.write("app.a", "!<arch>\nold member");
    ar->prepareOutput(*job, 1);
    EXPECT_FALSE(fs::exists(archive));
    ar->prepareOutput(*job, 1);  // nothing to remove is fine

    dir.write("app.a/inside", "x");
    EXPECT_EQ(TestSupport::failureOf([&] { ar->prepareOutput(*job, 1); }).rfind(
                  "Cannot remove the old archive '" + archive.string() + "': ", 0),
              0u);
}

}  // namespace
}  // namespace Tolm
