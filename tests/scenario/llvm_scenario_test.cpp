// The llvm-clang tool type through the real binary with this machine's LLVM
// toolchain, beyond the programs and libraries the GNU scenarios build with
// it too: a Windows DLL linked with lld-link, and toolchain detection into the
// registry, whose tools build a project without tools of its own and leave
// one with its own alone.

#include <string>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"
#include "tools/probe.h"

namespace {

namespace fs = std::filesystem;

class LLVMScenario : public TolmScenario {
protected:
    void SetUp() override
    {
        for (const char* tool : {"clang", "clang++", "llvm-ar", "llvm-objcopy", "ld.lld", "lld-link"})
            if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
        write("add.c", "int add(int a, int b) { return a + b; }\n");
        write("calc.c", "#include <stdio.h>\nint add(int, int);\nint main(void) { printf(\"%d\\n\", add(2, 3)); }\n");
    }
    // What /usr/bin/<tool> prints for the argument, its line feed removed.
    static std::string answer(const std::string& tool, const std::string& argument)
    {
        const std::string text = outputOfProgram("/usr/bin/" + tool, {argument});
        return text.substr(0, text.find('\n'));
    }
};

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
    const std::string clangVersion = answer("clang", "-dumpversion"), triple = answer("clang", "-print-target-triple");
    const std::string gnuName = "default_gnu_" + sanitizeToolchainName(machine.substr(0, machine.find('-'))) + "_" +
                                sanitizeToolchainName(gccVersion);
    const std::string llvmName =
        "default_llvm_" + sanitizeToolchainName(triple) + "_" + sanitizeToolchainName(clangVersion);
    writeProject(R"unit(objects: { C_FILES = P"(add.c)" C_FLAGS = "-c -fPIC" }
archive: objects { OBJS = objects.objs STATIC }
shared: objects { OBJS = objects.objs SHARED OUTPUT_NAME = "libadd.so" }
calc: archive shared { C_FILES = P"(calc.c)" LIB = archive.lib }
)unit",
                 tool("gnu-gcc"));
    const RunResult before = tolm({"calc"});
    ASSERT_EQ(before.exitCode, 0) << before.out;

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
    EXPECT_EQ(tolm({"calc"}).out, before.out);
    const RunResult report = tolm({"-v", "3", "archive"});
    EXPECT_NE(report.out.find(") passed over: a tool of the project can build this target.\n"), std::string::npos)
        << report.out;
    EXPECT_TRUE(hasLine(report.out, "[app::archive] Registered : demo/t\n"));

    writeProject("calc: { C_FILES = [P\"(calc.c)\", P\"(add.c)\"] TOOLCHAIN_TRIPLET = \"" + triple + "\" }\n");
    const RunResult registered = tolm({"-v", "3", "calc"});
    ASSERT_EQ(registered.exitCode, 0) << registered.out;
    EXPECT_TRUE(hasLine(registered.out, "[app::calc] Registered : " + llvmName + "\n")) << registered.out;
    EXPECT_EQ(outputOfProgram(work_.path() / "out" / triple / "demo/app/calc/calc"), "5\n");
}

}  // namespace
