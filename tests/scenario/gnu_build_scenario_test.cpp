// Builds with the machine's own toolchains through the real binary: C and
// C++ programs that run, libraries made by one target and linked by another,
// copies of data files, rebuilds across runs, file names the shell must not
// read as commands, and compiling in parallel; and a thousand sources through
// stand-in tools.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class GnuBuildScenario : public TolmScenario {
protected:
    // The command lines a run printed for the target, in order.
    static Lines commandsOf(const RunResult& run, const std::string& target) {
        const std::string lead = "[app::" + target + "] \"";
        Lines commands;
        for (const std::string& line : linesOf(run.out))
            if (line.starts_with(lead)) commands.push_back(line.substr(lead.size() - 1));
        return commands;
    }
};

const char* const kTargets = R"unit(
objects: { C_FILES = P"(src/*.c)" C_FLAGS = "-c -O2 -fPIC" C_DEFINES = "NDEBUG BASE=3" OUTPUT_DIR = P"(objs)" }
mathlib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = "libmath.a" OUTPUT_DIR = P"(my libs)" }
calc: mathlib { C_FILES = P"(main.c)" LIB = mathlib.lib OUTPUT_DIR = P"(bin)" }
byhand: mathlib { C_FILES = P"(main.c)" LIB = P"(my libs/libmath.a)" OUTPUT_DIR = P"(bin)" }
square: objects { OBJS = objects.objs SO OUTPUT_NAME = "libsquare.so" OUTPUT_DIR = P"(my libs)" }
user: square { C_FILES = P"(user.c)" LIB = square.so OUTPUT_DIR = P"(bin)" }
hello: { CPP_FILES = P"(hello.cpp)" C_FILES = P"(name.c)" C_FLAGS = "-O2 -fno-common" OUTPUT_DIR = P"(bin)" }
plain: { C_FILES = [P"(plain.c)", P"(name.c)"] C_FLAGS = "-fno-common -I/opt/x-c" OUTPUT_NAME = "plain-c"
         OUTPUT_DIR = P"(bin)" }
blob: { INPUT = P"(data.txt)" OBJCOPY_FLAGS = "-I binary -O elf64-x86-64" OUTPUT_NAME = "data.o" OUTPUT_DIR = P"(bin)" }
all: calc byhand user hello plain blob { ^stamp = P"(all.txt)" cmdline = "touch all.txt" }
)unit";

// With the GNU and with the LLVM toolchain, in a project directory whose name holds characters
// the shell would read, programs that run: one linked with a static library archived from the
// objects of another target (a text of two defines gives two defines), by the dependency's output
// and by a path written by hand, both naming a directory with a blank; one with a shared object of
// the same objects; a C++ one (the C++ compiler compiles its C sources too); a C one whose flags
// merely contain "-c"; and a data file copied into an object file. Sources named like commands,
// quotes and escapes are compiled under their own names and nothing else runs. The next run builds
// nothing. An edited source recompiles alone, the libraries are made again and the programs
// relinked from their unchanged sources (not from object files that no command wrote). A library
// rebuilt without one of its sources holds only the objects that are left.
TEST_F(GnuBuildScenario, ProgramsAndLibrariesWithBothToolchains) {
    const std::string names[] = {"$(touch PWNED)x", "`touch PWNED2`", "q\"uote", "back\\slash", "a b"};
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        const std::string project = type + " $HOME `x` \\";
        writeProject(kTargets, tool(type), project);
        for (int i = 0; i < 5; ++i)
            write(project + "/src/" + names[i] + ".c", "int f" + std::to_string(i) + "(void) { return 2; }\n");
        write(project + "/src/add.c", "int add(int a) { return a + BASE; }\n");
        write(project + "/src/twice.c", "#ifdef NDEBUG\nint twice(int a) { return 2 * a; }\n#endif\n");
        write(project + "/main.c", "#include <stdio.h>\nint add(int), twice(int), f0(void), f1(void), f2(void), f3(void),\n"
                                   "  f4(void);\nint main(void) {\n"
                                   "  printf(\"%d\\n\", twice(add(4)) + f0() + f1() + f2() + f3() + f4() - 10);\n}\n");
        write(project + "/user.c",
              "#include <stdio.h>\nint twice(int);\nint main(void) { printf(\"%d\\n\", twice(21)); }\n");
        write(project + "/hello.cpp", "#include <iostream>\nconst char* name();\n"
                                      "int main() { std::cout << \"hello \" << name() << std::endl; }\n");
        write(project + "/name.c", "const char* name(void) { return \"tolm\"; }\n");
        write(project + "/plain.c", "#include <stdio.h>\nconst char* name(void);\nint main(void) { puts(name()); }\n");
        write(project + "/data.txt", "some data\n");
        const auto file = [&](const std::string& relative) { return at(project + "/" + relative); };

        const RunResult first = tolm({"all"}, project);
        ASSERT_EQ(first.exitCode, 0) << first.out;
        for (const std::string& name : names) EXPECT_TRUE(fs::exists(file("objs/" + name + ".o"))) << name;
        const std::pair<std::string, std::string> programs[] = {{"calc", "14\n"}, {"byhand", "14\n"}, {"user", "42\n"},
                                                                {"hello", "hello tolm\n"}, {"plain-c", "tolm\n"}};
        for (const auto& [name, output] : programs)
            EXPECT_EQ(outputOfProgram(file("bin/" + name), {}, {"LD_LIBRARY_PATH=" + file("my libs")}), output) << name;
        EXPECT_EQ(contentOf(file("bin/data.o")).substr(0, 4), "\x7f" "ELF");
        EXPECT_TRUE(ranNothing(tolm({"all"}, project))) << type;

        makeOlder(project + "/objs/twice.o", project + "/src/twice.c");
        makeOlder(project + "/bin/plain-c", project + "/name.c");
        const RunResult touched = tolm({"all"}, project);
        const Lines compiled = commandsOf(touched, "objects");
        EXPECT_TRUE(compiled.size() == 1 && compiled[0].find("twice.c") != std::string::npos &&
                    compiled[0].find("add.c") == std::string::npos) << touched.out;
        for (const char* target : {"mathlib", "square", "user", "calc", "byhand", "plain"})
            EXPECT_EQ(commandsOf(touched, target).size(), 1u) << type << " " << target;
        EXPECT_EQ(commandsOf(touched, "hello").size(), 0u);
        EXPECT_EQ(outputOfProgram(file("bin/calc")), "14\n");
        EXPECT_TRUE(ranNothing(tolm({"all"}, project))) << type;

        EXPECT_NE(outputOfProgram("/usr/bin/ar", {"t", file("my libs/libmath.a")}).find("twice.o\n"), std::string::npos);
        fs::remove(file("src/twice.c"));
        ASSERT_EQ(tolm({"mathlib"}, project).exitCode, 0);
        const std::string members = outputOfProgram("/usr/bin/ar", {"t", file("my libs/libmath.a")});
        EXPECT_TRUE(members.find("add.o\n") != std::string::npos && members.find("twice.o") == std::string::npos)
            << members;
    }
    for (const auto& entry : fs::recursive_directory_iterator(work_.path()))
        EXPECT_NE(entry.path().filename().string().rfind("PWNED", 0), 0u) << entry.path();
}

// In a directory of tools, the machine's own gcc is chosen over a newer cross compiler beside it,
// and a directory named like a tool is no tool: the plain ar next to it is used. With -j 8 the
// sources of a compile-only target are compiled by two compilers at once: each waits, before
// compiling, until the other one has started.
TEST_F(GnuBuildScenario, ToolchainChoiceAndParallelCompiles) {
    const std::string started = FakeTool::shellQuoted(at("started"));
    fs::create_directories(at("started"));
    const fs::path bin = toolDirectory(
        "touch " + started + "/$$\nn=0\nwhile [ \"$(ls " + started + " | wc -l)\" -lt 2 ]; do\n"
        "  n=$((n + 1)); if [ $n -gt 600 ]; then echo 'no other compiler started' >&2; exit 1; fi\n"
        "  sleep 0.05\ndone\nexec /usr/bin/gcc \"$@\"\n");
    FakeTool::gnuCompiler(bin / "arm-none-eabi-gcc", "arm-none-eabi", "99.1.0");
    FakeTool::gnuCompiler(bin / "arm-none-eabi-g++", "arm-none-eabi", "99.1.0");
    for (const char* tool : {"ar", "ld", "objcopy"})
        FakeTool::writeExecutable(bin / ("arm-none-eabi-" + std::string(tool)), "#!/bin/sh\nexit 1\n");
    std::string machine = outputOfProgram("/usr/bin/gcc", {"-dumpmachine"});
    fs::create_directories(bin / (machine.substr(0, machine.find('\n')) + "-ar"));
    writeProject("objects: { C_FILES = [P\"(a.c)\", P\"(b.c)\", P\"(c.c)\", P\"(d.c)\"] C_FLAGS = \"-c\" }\n"
                 "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"liba.a\" OUTPUT_DIR = P\"(lib)\" }\n",
                 tool("gnu-gcc", bin.string()));
    for (const char* name : {"a", "b", "c", "d"}) write(std::string(name) + ".c", "int " + std::string(name) + ";\n");

    const RunResult run = tolm({"-j", "8", "lib"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    // The two compilers announce their commands in either order.
    Lines compiles = commandsOf(run, "objects");
    std::sort(compiles.begin(), compiles.end());
    const std::string gcc = "\"" + (bin / "gcc").string() + "\" -c \"";
    EXPECT_EQ(compiles,
              (Lines{gcc + at("a.c") + "\" \"" + at("b.c") + "\"", gcc + at("c.c") + "\" \"" + at("d.c") + "\""}));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("started")), fs::directory_iterator()), 2);
    EXPECT_TRUE(commandsOf(run, "lib").at(0).starts_with("\"" + (bin / "ar").string() + "\" rcs \"liba.a\""));
    EXPECT_EQ(outputOfProgram("/usr/bin/ar", {"t", at("lib/liba.a")}), "a.o\nb.o\nc.o\nd.o\n");
}

// A library of 2,500 sources, whose archive command is longer than one argument may be (128 KiB: the
// objects' directory has a long name), and a program linking it, through a stand-in gcc (an empty
// object per source, an empty program) and a stand-in ar (the member names, one a line, so the
// archive shows the order the objects reached it). The first build archives every object in source
// order; a no-op rebuild runs no command; an object older than its source (the first, the last)
// recompiles that source alone and archives all objects again, still in order; "-o" lists them
// (OBJS) in order too.
TEST_F(GnuBuildScenario, RebuildsOnlyTheEditedSourceAmongThousands) {
    const std::string objectDir = "objects-of-the-library-one-for-each-of-its-sources";
    const fs::path bin = toolDirectory("for a in \"$@\"; do case \"$prev\" in -o) : > \"$a\";; esac; prev=\"$a\"\n"
                                       "case \"$a\" in *.c) : > \"$(basename \"$a\" .c).o\";; esac; done\n");
    fs::remove(bin / "ar");
    FakeTool::writeExecutable(bin / "ar", "#!/bin/sh\nshift; out=\"$1\"; shift\n: > \"$out\"\n"
                                          "for member in \"$@\"; do echo \"$member\" >> \"$out\"; done\n");
    std::string sources, listed;
    Lines objects;
    for (int i = 0; i < 2500; ++i) {
        const std::string name = "f" + std::to_string(i);
        sources += std::string(i == 0 ? "" : ",\n") + "  P\"(src/" + name + ".c)\"";
        write("src/" + name + ".c", "");
        objects.push_back(at(objectDir + "/" + name + ".o"));
        listed += std::string(i == 0 ? "" : ", ") + "P\"" + objects.back() + "\"";
    }
    write("main.c", "");
    writeProject("prog: lib => archive { C_FILES = P\"(main.c)\" LIB = archive.lib OUTPUT_DIR = P\"(out)\" }\n"
                 "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"libbig.a\" OUTPUT_DIR = P\"(out)\" }\n"
                 "objects: { C_FILES = [\n" + sources + "\n] C_FLAGS = \"-c\" OUTPUT_DIR = P\"(" + objectDir + ")\" }\n",
                 tool("gnu-gcc", bin.string()));
    // The members of the library, in order.
    const auto archive = [&] { return linesOf(contentOf(at("out/libbig.a"))); };

    const RunResult first = tolm({"-j", "8"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_GT(commandsOf(first, "lib").at(0).size(), 128u * 1024);
    EXPECT_TRUE(archive() == objects) << archive().size() << " members";
    EXPECT_TRUE(fs::exists(at("out/prog")));
    EXPECT_TRUE(ranNothing(tolm({"-j", "8"})));

    for (const std::size_t edited : {std::size_t{0}, objects.size() - 1}) {
        const std::string source = "src/f" + std::to_string(edited) + ".c";
        makeOlder(objects[edited], source);
        const RunResult touched = tolm({"-j", "8"});
        EXPECT_EQ(touched.exitCode, 0) << touched.out;
        EXPECT_EQ(commandsOf(touched, "objects"), Lines{"\"" + (bin / "gcc").string() + "\" -c \"" + at(source) + "\""})
            << edited;
        EXPECT_EQ(commandsOf(touched, "lib").size(), 1u) << edited;
        EXPECT_TRUE(archive() == objects) << edited;
    }
    ASSERT_EQ(tolm({"-o", "objects.txt", "objects"}).exitCode, 0);
    EXPECT_TRUE(contentOf(at("objects.txt")) == "OBJS = [ " + listed + " ]\n")
        << contentOf(at("objects.txt")).substr(0, 200);
}

}  // namespace

namespace {

// Two sources of one file name in one target, with either toolchain: a compile-only target is
// refused before its compiler runs, since both objects would be one file; a target that compiles
// and links in one command writes no object file, so it builds, and the next run does nothing.
TEST_F(GnuBuildScenario, SourcesOfOneFileNameInOneTarget) {
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        if (type == "llvm-clang" && !fs::exists("/usr/bin/clang")) continue;
        for (const bool compileOnly : {true, false}) {
            const std::string project = type + (compileOnly ? "-c" : "-linked");
            writeProject(std::string("o: { C_FILES = [P\"(a/util.c)\", P\"(b/util.c)\", P\"(m.c)\"]") +
                             (compileOnly ? " C_FLAGS = \"-c\"" : "") + " }\n",
                         tool(type), project);
            write(project + "/a/util.c", "int u(void) { return 1; }\n");
            write(project + "/b/util.c", "int v(void) { return 2; }\n");
            write(project + "/m.c", "int main(void) { return 0; }\n");
            const RunResult first = tolm({}, project);
            EXPECT_EQ(first.exitCode, compileOnly ? 1 : 0) << project << first.out;
            EXPECT_EQ(commandsOf(first, "o").size(), compileOnly ? 0u : 1u) << project << first.out;
            EXPECT_EQ(first.out.find("would both be compiled") != std::string::npos, compileOnly)
                << project << first.out;
            if (!compileOnly) {
                EXPECT_TRUE(ranNothing(tolm({}, project))) << project;
            }
        }
    }
}

}  // namespace
