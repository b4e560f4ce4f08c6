// The llvm-clang tool type through the real binary with this machine's LLVM
// toolchain: executables, libraries static and shared, a Windows DLL linked
// with lld-link, rebuilds that do nothing, and toolchain detection into the
// registry, whose tools build a project without tools of its own and leave
// one with its own alone.

#include <chrono>
#include <string>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"
#include "tools/llvm/llvm_finder.h"
#include "tools/probe.h"

namespace {

namespace fs = std::filesystem;

// What /usr/bin/<tool> prints for the arguments, its line feed removed.
std::string answer(const char* tool, const char* arguments)
{
    std::string text = captureCommandOutput(fs::path("/usr/bin") / tool, arguments).output.string();
    return text.substr(0, text.find('\n'));
}

// A static library of two sources, linked into a C program through a
// dependency; a shared library used by a C++ program.
const char* const Libraries = R"unit(
mathsrc: { C_FILES = [P"(add.c)", P"(mul.c)"] C_FLAGS = "-O2 -c" C_DEFINES = "NDEBUG SCALE=3" }
mathlib: mathsrc { OBJS = mathsrc.OBJS STATIC }
calc: mathlib { C_FILES = [P"(calc.c)"] LIB = mathlib.LIB }
picsrc: { C_FILES = [P"(add.c)"] C_FLAGS = "-c -fPIC" }
libadd: picsrc { OBJS = picsrc.OBJS SO OUTPUT_NAME = "libadd.so" }
user: libadd { CPP_FILES = [P"(user.cpp)"] LIB = libadd.SO }
)unit";

class LLVMScenario : public TolmScenario {
protected:
    void SetUp() override
    {
        for (const char* tool : {"clang", "clang++", "llvm-ar", "llvm-objcopy", "ld.lld", "lld-link"})
            if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
        LLVMWants wants;
        wants.toolchain_path = "/usr/bin";
        const std::optional<LLVMToolchainInfo> found =
            LLVMFinder::chooseNewest(LLVMFinder::searchRoot(wants, *wants.toolchain_path));
        if (!found) GTEST_SKIP() << "no complete LLVM toolchain in /usr/bin";
        // The toolchain the tool definition below gets: which of the clangs of
        // /usr/bin (clang, clang-14, ...) depends on the directory's order.
        toolchain_ = *found;
        write("add.c", "int add(int a, int b) { return a + b; }\n");
        write("mul.c", "int mul(int a, int b) { return a * b * SCALE; }\n");
        write("calc.c", "#include <stdio.h>\nint add(int, int);\nint mul(int, int);\n"
                        "int main(void) { printf(\"%d %d\\n\", add(2, 3), mul(2, 3)); return 0; }\n");
        write("user.cpp", "#include <cstdio>\nextern \"C\" int add(int, int);\n"
                          "int main() { std::printf(\"%d\\n\", add(40, 2)); }\n");
    }
    // Where target `name` of unit app builds with this machine's toolchain.
    fs::path outputOf(const std::string& name) const
    {
        return work_.path() / "out" / toolchain_.target.text / "demo/app" / name;
    }
    // The program's standard output, run with the extra environment entries.
    static std::string outputOfProgram(const fs::path& program, const Words& words = {}, const Words& environment = {})
    {
        Scenario::RunEnvironment extra;
        extra.extra = environment;
        const RunResult run = Scenario::runProgram(program.string(), words, program.parent_path(), extra);
        return run.exitCode == 0 ? run.out : "exit " + std::to_string(run.exitCode) + ": " + run.err;
    }

    LLVMToolchainInfo toolchain_;
};

// A C program linked with a static library built from a dependency's objects, with defines split
// into words; a C++ program with a shared library. Both run (the tool's unit tests hold their exact
// command lines); building again runs nothing. An edited library source rebuilds the library, and
// the program is linked again from its own sources (one command compiles and links). A library that
// loses a source is archived afresh, without the old object.
TEST_F(LLVMScenario, BuildsProgramsAndLibraries)
{
    writeProject(Libraries, tool("llvm-clang"));
    const RunResult first = tolm({"calc"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_TRUE(hasLine(first.out, "[app::mathsrc] \"" + toolchain_.clang.string() + "\" --target=" +
                                       toolchain_.target.text + " -O2 -c \"" + at("add.c") + "\" \"" + at("mul.c") +
                                       "\" -DNDEBUG -DSCALE=3\n"))
        << first.out;
    EXPECT_EQ(outputOfProgram(outputOf("calc") / "calc"), "5 18\n");
    ASSERT_EQ(tolm({"user"}).exitCode, 0);
    EXPECT_EQ(outputOfProgram(outputOf("user") / "user", {}, {"LD_LIBRARY_PATH=" + outputOf("libadd").string()}),
              "42\n");
    EXPECT_TRUE(ranNothing(tolm({"calc"})));
    EXPECT_TRUE(ranNothing(tolm({"user"})));

    write("mul.c", "int mul(int a, int b) { return a * b * SCALE * 10; }\n");
    fs::last_write_time(at("mul.c"), fs::last_write_time(outputOf("calc") / "calc") + std::chrono::seconds(2));
    const RunResult edited = tolm({"calc"});
    ASSERT_EQ(edited.exitCode, 0) << edited.out;
    for (const char* target : {"mathsrc", "mathlib", "calc"})
        EXPECT_EQ(count(edited, "[app::" + std::string(target) + "] Starting build job"), 1) << target;
    EXPECT_EQ(outputOfProgram(outputOf("calc") / "calc"), "5 180\n");

    const std::string archive = (outputOf("mathlib") / "mathlib.a").string();
    EXPECT_EQ(outputOfProgram(toolchain_.ar, {"t", archive}), "add.o\nmul.o\n");
    std::string unit = Libraries;
    unit.replace(unit.find(", P\"(mul.c)\""), std::string(", P\"(mul.c)\"").size(), "");
    writeProject(unit, tool("llvm-clang"));
    const RunResult rebuilt = tolm({"mathlib"});
    EXPECT_EQ(count(rebuilt, "[app::mathlib] Starting build job"), 1) << rebuilt.out;
    EXPECT_EQ(outputOfProgram(toolchain_.ar, {"t", archive}), "add.o\n");
}

// A DLL for Windows linked with lld-link by a toolchain whose clang reports an MSVC triple:
// /LIBPATH:, the flags, /DLL and /OUT: on the line, and a PE file as the result.
TEST_F(LLVMScenario, LinksWindowsDllWithLldLink)
{
    const fs::path bin = work_.path() / "msvc/bin";
    FakeTool::writeExecutable(bin / "clang", "#!/bin/sh\n"
                                             "[ \"$*\" = -print-target-triple ] && { echo x86_64-pc-windows-msvc; exit 0; }\n"
                                             "exec /usr/bin/clang \"$@\"\n");
    for (const char* tool : {"clang++", "llvm-ar", "llvm-objcopy", "lld-link"})
        fs::create_symlink(fs::path("/usr/bin") / tool, bin / tool);
    fs::create_directories(work_.path() / "lib");
    writeProject(R"unit(dllsrc: { C_FILES = [P"(add.c)"] C_FLAGS = "-c" }
adder: dllsrc { OBJS = dllsrc.OBJS DLL LINK_FLAGS = ["/NOENTRY", "/NODEFAULTLIB"] LIBPATH = [P"(lib)"] }
)unit",
                 tool("llvm-clang", bin.string()));

    const RunResult run = tolm({"adder"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const fs::path out = work_.path() / "out/x86_64-pc-windows-msvc/demo/app";
    EXPECT_TRUE(hasLine(run.out, "[app::adder] \"" + (bin / "lld-link").string() + "\" \"" +
                                     (out / "dllsrc/add.o").string() + "\" /LIBPATH:\"" + at("lib") +
                                     "\" \"/NOENTRY\" \"/NODEFAULTLIB\" /DLL /OUT:\"adder.dll\"\n"))
        << run.out;
    EXPECT_EQ(contentOf(out / "adder/adder.dll").substr(0, 2), "MZ");
}

// "--find-compilers" stores a definition for the gcc and one for the clang of /usr/bin, named and
// filled from what they report. A project naming its own toolchain builds with it as before: the
// same commands in the same output directories, the registry's tools passed over (LLVM's would
// score higher for the archive and the shared library). A project without tools builds with the
// registry's LLVM one, asked for by its triple.
TEST_F(LLVMScenario, FindCompilersLeavesProjectToolsAlone)
{
    const std::string machine = answer("gcc", "-dumpmachine"), gccVersion = answer("gcc", "-dumpfullversion");
    const std::string clangVersion = answer("clang", "-dumpversion"), triple = toolchain_.target.text;
    const std::string gnuName = "default_gnu_" + sanitizeToolchainName(machine.substr(0, machine.find('-'))) + "_" +
                                sanitizeToolchainName(gccVersion);
    const std::string llvmName = "default_llvm_" + sanitizeToolchainName(triple) + "_" + sanitizeToolchainName(clangVersion);
    writeProject(Libraries, tool("gnu-gcc"));
    const auto build = [&] { return tolm({"calc"}).out + tolm({"user"}).out; };
    const std::string before = build();

    const RunResult run = tolm({"--find-compilers"});
    EXPECT_EQ(run.out, "Updated file '" + registryFile().string() + "'.\n");
    EXPECT_EQ(run.exitCode, 0);
    const std::string registry = contentOf(registryFile());
    EXPECT_NE(registry.find("  " + gnuName + " {\n    tool_type = \"gnu-gcc\"\n    toolchain_version = \"" + gccVersion +
                            "\"\n    prefix = \"" + machine + "\"\n"),
              std::string::npos)
        << registry;
    EXPECT_NE(registry.find("  " + llvmName + " {\n    tool_type = \"llvm-clang\"\n    toolchain_version = \"" +
                            clangVersion + "\"\n    TOOLCHAIN_TRIPLET = \"" + triple + "\"\n"),
              std::string::npos);

    fs::remove(at(".tolm_cache"));
    EXPECT_EQ(build(), before);
    const RunResult report = tolm({"-v", "3", "mathlib"});
    EXPECT_NE(report.out.find(") passed over: a tool of the project can build this target.\n"), std::string::npos)
        << report.out;
    EXPECT_TRUE(hasLine(report.out, "[app::mathlib] Registered : demo/t\n"));

    writeProject("calc: { C_FILES = [P\"(calc.c)\", P\"(add.c)\", P\"(mul.c)\"] C_DEFINES = \"SCALE=1\" "
                 "TOOLCHAIN_TRIPLET = \"" + triple + "\" }\n");
    const RunResult registered = tolm({"-v", "3", "calc"});
    ASSERT_EQ(registered.exitCode, 0) << registered.out;
    EXPECT_TRUE(hasLine(registered.out, "[app::calc] Registered : " + llvmName + "\n")) << registered.out;
    EXPECT_TRUE(hasLine(registered.out, "[app::calc] Tool       : " + toolchain_.clang.filename().string() + "\n"));
    EXPECT_EQ(outputOfProgram(outputOf("calc") / "calc"), "5 6\n");
}

}  // namespace
