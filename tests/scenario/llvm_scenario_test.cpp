// The llvm-clang tool type through the real binary with this machine's LLVM
// toolchain: executables, libraries static and shared, a Windows DLL linked
// with lld-link, rebuilds that do nothing, and toolchain detection into the
// registry used by a project without tools of its own.

#include <chrono>
#include <sstream>
#include <string>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"
#include "tools/llvm/llvm_finder.h"
#include "tools/probe.h"

namespace {

namespace fs = std::filesystem;
using Scenario::RunResult;

// What /usr/bin/<tool> prints for the arguments; empty when it fails.
std::string ask(const char* tool, const char* arguments)
{
    const CommandOutput answer = captureCommandOutput(fs::path("/usr/bin") / tool, arguments);
    return answer.exitStatus == 0 ? answer.output.string() : std::string();
}

const char* const LLVMTools = R"(tools { llvm { tool_type = "llvm-clang" toolchain_path = "/usr/bin" } })";

// A static library of two sources, linked into a C program through a
// dependency; a shared library used by a C++ program.
const char* const Libraries = R"unit(unit app
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
        triple_ = toolchain_.target.text;
        write("add.c", "int add(int a, int b) { return a + b; }\n");
        write("mul.c", "int mul(int a, int b) { return a * b * SCALE; }\n");
        write("calc.c", "#include <stdio.h>\nint add(int, int);\nint mul(int, int);\n"
                        "int main(void) { printf(\"%d %d\\n\", add(2, 3), mul(2, 3)); return 0; }\n");
        write("user.cpp", "#include <cstdio>\nextern \"C\" int add(int, int);\n"
                          "int main() { std::printf(\"%d\\n\", add(40, 2)); }\n");
    }
    void writeProject(const std::string& tools, const std::string& unitFile) const
    {
        write(".tolm_project.txt", "name demo\n" + tools + "\nunits { app { \"tolm.txt\" } }\n");
        write("tolm.txt", unitFile);
    }
    // Where target `name` of unit app builds with this machine's toolchain.
    fs::path outputOf(const std::string& name) const { return work_.path() / "out" / triple_ / "demo/app" / name; }
    // How many jobs of the target ran.
    static int jobs(const RunResult& run, const std::string& target)
    {
        int count = 0;
        const std::string line = "\n[app::" + target + "] Starting build job\n";
        for (std::size_t at = ("\n" + run.out).find(line); at != std::string::npos;
             at = ("\n" + run.out).find(line, at + 1))
            ++count;
        return count;
    }
    // The program's standard output, run with the extra environment entries.
    static std::string outputOfProgram(const fs::path& program, const std::vector<std::string>& words = {},
                                       const std::vector<std::string>& environment = {})
    {
        Scenario::RunEnvironment extra;
        extra.extra = environment;
        const RunResult run = Scenario::runProgram(program.string(), words, program.parent_path(), extra);
        return run.exitCode == 0 ? run.out : "exit " + std::to_string(run.exitCode) + ": " + run.err;
    }

    // Quoted, as a command line starts.
    static std::string quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

    LLVMToolchainInfo toolchain_;
    std::string triple_;
};

// A C program linked with a static library built from a dependency's
// objects, with defines split into words; a C++ program with a shared
// library. Both run (the tool's unit tests hold their exact command lines);
// building again runs nothing. A library that loses a
// source is archived afresh, without the old object.
TEST_F(LLVMScenario, BuildsProgramsAndLibraries)
{
    writeProject(LLVMTools, Libraries);
    const RunResult first = tolm({"calc"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_TRUE(hasLine(first.out, "[app::mathsrc] " + quoted(toolchain_.clang) + " --target=" + triple_ + " -O2 -c \"" +
                                       at("add.c") + "\" \"" + at("mul.c") + "\" -DNDEBUG -DSCALE=3\n"))
        << first.out;
    EXPECT_EQ(outputOfProgram(outputOf("calc") / "calc"), "5 18\n");

    const RunResult user = tolm({"user"});
    ASSERT_EQ(user.exitCode, 0) << user.out;
    EXPECT_EQ(outputOfProgram(outputOf("user") / "user", {}, {"LD_LIBRARY_PATH=" + outputOf("libadd").string()}),
              "42\n");

    for (const char* target : {"calc", "user"}) {
        const RunResult again = tolm({target});
        EXPECT_EQ(again.exitCode, 0);
        EXPECT_EQ(again.out.find("Starting build job"), std::string::npos) << again.out;
    }

    // An edited library source: the library is rebuilt, and the program is
    // linked again from its own sources (unchanged, yet compiled anew: one
    // command compiles and links) with the new library.
    write("mul.c", "int mul(int a, int b) { return a * b * SCALE * 10; }\n");
    fs::last_write_time(at("mul.c"), fs::last_write_time(outputOf("calc") / "calc") + std::chrono::seconds(2));
    const RunResult edited = tolm({"calc"});
    ASSERT_EQ(edited.exitCode, 0) << edited.out;
    for (const char* target : {"mathsrc", "mathlib", "calc"}) EXPECT_EQ(jobs(edited, target), 1) << target;
    EXPECT_EQ(outputOfProgram(outputOf("calc") / "calc"), "5 180\n");

    const std::string archive = (outputOf("mathlib") / "mathlib.a").string();
    EXPECT_EQ(outputOfProgram(toolchain_.ar, {"t", archive}), "add.o\nmul.o\n");

    std::string unit = Libraries;
    unit.replace(unit.find(", P\"(mul.c)\""), std::string(", P\"(mul.c)\"").size(), "");
    write("tolm.txt", unit);
    const RunResult rebuilt = tolm({"mathlib"});
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.out;
    EXPECT_EQ(jobs(rebuilt, "mathlib"), 1) << rebuilt.out;
    EXPECT_EQ(outputOfProgram(toolchain_.ar, {"t", archive}), "add.o\n");
}

// A DLL for Windows linked with lld-link by a toolchain whose clang reports
// an MSVC triple: /LIBPATH:, the flags, /DLL and /OUT: on the line, and a
// PE file as the result.
TEST_F(LLVMScenario, LinksWindowsDllWithLldLink)
{
    const fs::path bin = work_.path() / "msvc/bin";
    FakeTool::writeExecutable(bin / "clang", "#!/bin/sh\n"
                                             "[ \"$*\" = -print-target-triple ] && { echo x86_64-pc-windows-msvc; exit 0; }\n"
                                             "exec /usr/bin/clang \"$@\"\n");
    for (const char* tool : {"clang++", "llvm-ar", "llvm-objcopy", "lld-link"})
        fs::create_symlink(fs::path("/usr/bin") / tool, bin / tool);
    fs::create_directories(work_.path() / "lib");
    writeProject("tools { msvc { tool_type = \"llvm-clang\" toolchain_path = \"" + bin.string() + "\" } }",
                 R"unit(unit app
dllsrc: { C_FILES = [P"(add.c)"] C_FLAGS = "-c" }
adder: dllsrc { OBJS = dllsrc.OBJS DLL LINK_FLAGS = ["/NOENTRY", "/NODEFAULTLIB"] LIBPATH = [P"(lib)"] }
)unit");

    const RunResult run = tolm({"adder"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const fs::path out = work_.path() / "out/x86_64-pc-windows-msvc/demo/app";
    EXPECT_TRUE(hasLine(run.out, "[app::dllsrc] \"" + (bin / "clang").string() +
                                     "\" --target=x86_64-pc-windows-msvc -c \"" + at("add.c") + "\"\n"))
        << run.out;
    EXPECT_TRUE(hasLine(run.out, "[app::adder] \"" + (bin / "lld-link").string() + "\" \"" +
                                     (out / "dllsrc/add.o").string() + "\" /LIBPATH:\"" + at("lib") +
                                     "\" \"/NOENTRY\" \"/NODEFAULTLIB\" /DLL /OUT:\"adder.dll\"\n"))
        << run.out;
    EXPECT_EQ(contentOf(out / "adder/adder.dll").substr(0, 2), "MZ");
}

// "--find-compilers" writes one definition for the gcc and one for the clang
// of /usr/bin, named and filled from what they report; a project without
// tools of its own then builds with the LLVM one.
TEST_F(LLVMScenario, FindCompilersStoresThisMachinesToolchains)
{
    const std::string machine = ask("gcc", "-dumpmachine");
    const std::string gccVersion = ask("gcc", "-dumpfullversion");
    const std::string clangVersion = ask("clang", "-dumpversion");
    if (machine.empty() || gccVersion.empty() || clangVersion.empty()) GTEST_SKIP() << "gcc or clang does not answer";
    std::vector<std::string> pieces;
    std::istringstream machinePieces(machine);
    for (std::string piece; std::getline(machinePieces, piece, '-');) pieces.push_back(piece);
    pieces.resize(std::max<std::size_t>(pieces.size(), 3));
    const TargetTriple target = parseTargetTriple(triple_);
    const std::string llvmName = "default_llvm_" + sanitizeToolchainName(triple_) + "_" + sanitizeToolchainName(clangVersion);

    const RunResult run = tolm({"--find-compilers"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Updated file '" + registryFile().string() + "'.\n");
    EXPECT_EQ(contentOf(registryFile()),
              "tools {\n"
              "  default_gnu_" + sanitizeToolchainName(pieces[0]) + "_" + sanitizeToolchainName(gccVersion) + " {\n"
              "    tool_type = \"gnu-gcc\"\n"
              "    toolchain_version = \"" + gccVersion + "\"\n"
              "    prefix = \"" + machine + "\"\n"
              "    arch = \"" + pieces[0] + "\"\n"
              "    os = \"" + pieces[1] + "\"\n"
              "    abi = \"" + pieces[2] + "\"\n"
              "    toolchain_path = \"/usr/bin\"\n"
              "  }\n"
              "  " + llvmName + " {\n"
              "    tool_type = \"llvm-clang\"\n"
              "    toolchain_version = \"" + clangVersion + "\"\n"
              "    TOOLCHAIN_TRIPLET = \"" + triple_ + "\"\n"
              "    arch = \"" + target.arch + "\"\n"
              "    vendor = \"" + target.vendor + "\"\n"
              "    os = \"" + target.os + "\"\n"
              "    abi = \"" + target.abi + "\"\n"
              "    toolchain_path = \"/usr/bin\"\n"
              "  }\n"
              "}\n");

    // The target asks for the LLVM toolchain by its triple.
    writeProject("", "unit app\ncalc: { C_FILES = [P\"(calc.c)\", P\"(add.c)\", P\"(mul.c)\"] C_DEFINES = \"SCALE=1\" "
                     "TOOLCHAIN_TRIPLET = \"" + triple_ + "\" }\n");
    const RunResult build = tolm({"-v", "3", "calc"});
    ASSERT_EQ(build.exitCode, 0) << build.out;
    EXPECT_TRUE(hasLine(build.out, "[app::calc] Registered : " + llvmName + "\n")) << build.out;
    EXPECT_TRUE(hasLine(build.out, "[app::calc] Tool       : " + toolchain_.clang.filename().string() + "\n")) << build.out;
    EXPECT_EQ(outputOfProgram(outputOf("calc") / "calc"), "5 6\n");
}

}  // namespace
