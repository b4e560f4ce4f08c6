// Shared libraries and awkward output names through the real binary with the
// machine's gcc and clang: which tool links a target that asks for a shared
// object, what the file is, what a dependent reads, and an archive whose name
// begins with '-'.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

class SharedLibraryScenario : public TolmScenario {
protected:
    void SetUp() override
    {
        for (const char* tool : {"gcc", "ld", "clang", "ld.lld", "llvm-ar"})
            if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
    }

    // The command line the run printed for the target (empty when none).
    static std::string commandOf(const RunResult& run, const std::string& target)
    {
        const std::string lead = "[" + target + "] \"";
        for (const std::string& line : linesOf(run.out))
            if (line.starts_with(lead)) return line.substr(lead.size() - 1);
        return {};
    }
    // A project whose targets gcc builds, or clang with "tolm LLVM": unit u of the targets, and
    // the profiles block given.
    void writeToolchainsProject(const std::string& targets, const std::string& profiles = "") const
    {
        write(".tolm_project.txt", R"(tools {
  clang { tool_type = "llvm-clang" toolchain_path = "/usr/bin" !LLVM }
  gcc { tool_type = "gnu-gcc" toolchain_path = "/usr/bin" }
}
units { u { "tolm.txt" } }
)" + profiles);
        write("tolm.txt", "unit u\n" + targets);
    }
    // A project of the tool type in the directory of that name: the targets, a library source
    // x.c and a program main.c that prints what the library gives, plus one.
    void writeLibraryProject(const std::string& type, const std::string& targets) const
    {
        writeProject(targets, tool(type), type);
        write(type + "/x.c", "int f(void) { return 41; }\n");
        write(type + "/main.c", "#include <stdio.h>\nint f(void);\nint main(void) { printf(\"%d\\n\", f() + 1); }\n");
    }
    // The output directory the run printed for the target.
    static fs::path outputDirectoryOf(const RunResult& run, const std::string& target)
    {
        const std::string lead = "[" + target + "] Output dir: ";
        for (const std::string& line : linesOf(run.out))
            if (line.starts_with(lead)) return line.substr(lead.size());
        return {};
    }
};

template <typename T>
T field(const std::string& bytes, std::size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// What a 64-bit little-endian ELF file is, read from its header: a shared object is position
// independent (ET_DYN) and, unlike a position-independent program, names no interpreter.
std::string elfKind(const fs::path& file)
{
    const std::string bytes = TestSupport::contentOf(file);
    if (bytes.size() < 64 || bytes.compare(0, 4, "\x7f" "ELF") != 0) return "no ELF file";
    constexpr std::uint16_t Dynamic = 3;
    constexpr std::uint32_t Interpreter = 3;
    if (field<std::uint16_t>(bytes, 16) != Dynamic) return "fixed-address file";
    const auto table = field<std::uint64_t>(bytes, 32);
    const auto entrySize = field<std::uint16_t>(bytes, 54);
    for (std::uint16_t i = 0; i < field<std::uint16_t>(bytes, 56); ++i)
        if (field<std::uint32_t>(bytes, table + i * entrySize) == Interpreter) return "program";
    return "shared object";
}

// Objects alone that ask for a shared object, in a project whose default profile gives every
// target compiler flags and defines: plain "tolm" links them with gcc's ld, "tolm LLVM" with
// ld.lld, each a shared object (not a program) even with a main in it; the next runs do nothing.
TEST_F(SharedLibraryScenario, ObjectsAskingForASharedObjectGoToTheLinker)
{
    writeToolchainsProject(R"unit(so: pic { OBJS = pic.objs SHARED OUTPUT_NAME = "libx.so" }
pic: { C_FILES = P"(x.c)" C_FLAGS = "-c -fPIC" }
)unit",
                           "profiles { default { C_FLAGS += \"-Wall\" C_DEFINES += \"FOO\" } }\n");
    write("x.c", "int f(void) { return 1; }\nint main(void) { return f(); }\n");

    for (const bool llvm : {false, true}) {
        const Words words = llvm ? Words{"LLVM", "so"} : Words{"so"};
        const RunResult run = tolm(words);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const fs::path objects = outputDirectoryOf(run, "u::pic");
        const std::string linker = llvm ? "\"/usr/bin/ld.lld\" \"" + (objects / "x.o").string() + "\" -shared -o"
                                        : "ld\" \"" + (objects / "x.o").string() + "\" -shared  -o";
        const std::string line = commandOf(run, "u::so");
        EXPECT_NE(line.find(linker + " \"libx.so\""), std::string::npos) << line;
        EXPECT_EQ(elfKind(outputDirectoryOf(run, "u::so") / "libx.so"), "shared object") << line;
        EXPECT_TRUE(ranNothing(tolm(words))) << llvm;
    }
}

// A program with a "+" dependency on a shared library receives the library's so, and stays a
// program: gcc, and clang with "tolm LLVM", link it without -shared under its own name, it runs
// and gives the library's answer, and the next run does nothing.
TEST_F(SharedLibraryScenario, PlusDependencyOnASharedLibraryLeavesAProgram)
{
    writeToolchainsProject(R"unit(app: +lib => l { C_FILES = P"(src/main.c)" LIB = l.so }
pic: { C_FILES = P"(src/lib.c)" C_FLAGS = "-c -fPIC" }
lib: pic { OBJS = pic.objs SHARED OUTPUT_NAME = "libx.so" }
)unit");
    write("src/lib.c", "int f(void) { return 3; }\n");
    write("src/main.c", "int f(void);\nint main(void) { return f(); }\n");

    for (const bool llvm : {false, true}) {
        const Words words = llvm ? Words{"LLVM", "app"} : Words{"app"};
        const RunResult run = tolm(words);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const std::string line = commandOf(run, "u::app");
        EXPECT_EQ(line.find("-shared"), std::string::npos) << line;
        EXPECT_NE(line.find(" -o \"app\" \""), std::string::npos) << line;
        EXPECT_NE(commandOf(run, "u::lib").find(" -o \"libx.so\""), std::string::npos) << run.out;
        const fs::path program = outputDirectoryOf(run, "u::app") / "app";
        EXPECT_EQ(elfKind(program), "program") << line;
        EXPECT_EQ(outputOfProgram(program), "exit 3: ") << line;
        EXPECT_TRUE(ranNothing(tolm(words))) << llvm;
    }
}

// A dependency or an alias named like a shared-library selector (so, shared) only gives the
// linker objects: ld, and ld.lld with "tolm LLVM", link a program without -shared.
TEST_F(SharedLibraryScenario, DependencyNamedSoLinksNoSharedObject)
{
    writeToolchainsProject(R"unit(app: so { OBJS = so.objs LD }
aliased: so => shared { OBJS = shared.objs LD }
so: { C_FILES = P"(x.c)" C_FLAGS = "-c" }
)unit");
    write("x.c", "void _start(void) {}\n");

    for (const bool llvm : {false, true}) {
        for (const std::string target : {"app", "aliased"}) {
            const Words words = llvm ? Words{"LLVM", target} : Words{target};
            const RunResult run = tolm(words);
            ASSERT_EQ(run.exitCode, 0) << run.out;
            const std::string name = llvm ? target + ".elf" : target;
            const std::string line = commandOf(run, "u::" + target);
            EXPECT_NE(line.find(llvm ? "/usr/bin/ld.lld\" \"" : "ld\" \""), std::string::npos) << line;
            EXPECT_TRUE(line.ends_with("x.o\" -o \"" + name + "\"")) << line;
            EXPECT_EQ(elfKind(outputDirectoryOf(run, "u::" + target) / name), "fixed-address file") << line;
        }
    }
}

// A target whose own conditional block asks for a shared object still links one, though the
// block applies only after its tool was chosen.
TEST_F(SharedLibraryScenario, ConditionalBlockAsksForASharedObject)
{
    writeToolchainsProject(R"unit(lib: pic { OBJS = pic.objs OUTPUT_NAME = "libx.so" if PICK { SHARED } }
pic: { C_FILES = P"(x.c)" C_FLAGS = "-c -fPIC" }
)unit");
    write("x.c", "int f(void) { return 3; }\n");

    const RunResult run = tolm({"lib", "PICK"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const std::string line = commandOf(run, "u::lib");
    EXPECT_TRUE(line.ends_with("x.o\" -shared -o \"libx.so\"")) << line;
    EXPECT_EQ(elfKind(outputDirectoryOf(run, "u::lib") / "libx.so"), "shared object") << line;
}

// A target with sources that asks for a shared library is compiled and linked by the compiler
// with -shared; a dependent links it through its "so" output and runs. The -o file names it as
// so and binary alike, and the next run does nothing.
TEST_F(SharedLibraryScenario, CompilerLinksASharedLibraryWithSources)
{
    const char* const targets = R"unit(app: x { C_FILES = P"(main.c)" LIB = x.so OUTPUT_DIR = P"(bin)" }
x: { C_FILES = P"(x.c)" C_FLAGS = "-fPIC" SHARED OUTPUT_NAME = "libx.so" OUTPUT_DIR = P"(lib)" }
)unit";
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        writeLibraryProject(type, targets);
        const std::string lib = at(type + "/lib/libx.so");

        const RunResult run = tolm({"app"}, type);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const std::string compiler = type == "gnu-gcc" ? "gcc\" -fPIC \"" + at(type + "/x.c") + "\" -shared -o"
                                                       : "\"/usr/bin/clang\" --target=";
        const std::string link = commandOf(run, "app::x");
        EXPECT_NE(link.find(compiler), std::string::npos) << link;
        EXPECT_TRUE(link.ends_with(" -shared -o \"libx.so\"")) << link;
        EXPECT_TRUE(commandOf(run, "app::app").ends_with(" -o \"app\" \"" + lib + "\"")) << run.out;
        EXPECT_EQ(elfKind(lib), "shared object");
        EXPECT_EQ(outputOfProgram(at(type + "/bin/app"), {}, {"LD_LIBRARY_PATH=" + at(type + "/lib")}), "42\n");

        const RunResult again = tolm({"x", "-o", "x.txt"}, type);
        EXPECT_TRUE(ranNothing(again)) << again.out;
        EXPECT_EQ(contentOf(at(type + "/x.txt")),
                  "BINARY = [ P\"" + lib + "\" ]\nBINARY_NAME = [ \"libx.so\" ]\nSO = [ P\"" + lib +
                      "\" ]\nSO_NAME = [ \"libx.so\" ]\n");
    }
}

// An archive named "-v.a" is written under that name by ar and by llvm-ar, which are handed it as
// "./-v.a"; the program linking it runs, the -o file names the archive as it is, and the next run
// does nothing.
TEST_F(SharedLibraryScenario, ArchiveNamedLikeAnOption)
{
    const char* const targets = R"unit(o: { C_FILES = P"(x.c)" C_FLAGS = "-c" }
vlib: o { OBJS = o.objs STATIC OUTPUT_NAME = "-v.a" OUTPUT_DIR = P"(lib)" }
app: vlib { C_FILES = P"(main.c)" LIB = vlib.lib OUTPUT_DIR = P"(bin)" }
)unit";
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        writeLibraryProject(type, targets);
        const std::string archive = at(type + "/lib/-v.a");

        const RunResult run = tolm({"app"}, type);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const std::string line = commandOf(run, "app::vlib");
        EXPECT_NE(line.find("\" rcs \"./-v.a\" \""), std::string::npos) << line;
        EXPECT_EQ(contentOf(archive).substr(0, 8), "!<arch>\n");
        EXPECT_EQ(outputOfProgram(at(type + "/bin/app")), "42\n");

        const RunResult again = tolm({"vlib", "-o", "lib.txt"}, type);
        EXPECT_TRUE(ranNothing(again)) << again.out;
        EXPECT_EQ(contentOf(at(type + "/lib.txt")), "LIB = [ P\"" + archive + "\" ]\nLIB_NAME = [ \"-v.a\" ]\n");
    }
}

}  // namespace
