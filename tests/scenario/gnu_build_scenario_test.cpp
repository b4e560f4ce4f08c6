// Builds with the machine's own GNU toolchain through the real binary:
// C and C++ programs that run, libraries made by one target and linked by
// another, copies of data files, rebuilds across runs, and compiling in
// parallel; file names the shell must not read as commands, with the LLVM
// toolchain too; and a thousand sources through stand-in tools.

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class GnuBuildScenario : public TolmScenario {
protected:
    // The machine triplet of the host gcc, e.g. x86_64-linux-gnu.
    static std::string hostMachine() {
        std::string machine = program("/usr/bin/gcc", {"-dumpmachine"}).out;
        while (!machine.empty() && machine.back() == '\n') machine.pop_back();
        return machine;
    }
    // The program the tools run for `tool`, between double quotes as a command line starts: the
    // machine's prefixed name when there is one.
    static std::string hostTool(const std::string& tool) {
        const std::string prefixed = "/usr/bin/" + hostMachine() + "-" + tool;
        return "\"" + (access(prefixed.c_str(), X_OK) == 0 ? prefixed : "/usr/bin/" + tool) + "\"";
    }
    // The output directory of a target: arch-os-abi of the toolchain, namespace, unit, target.
    std::string outputOf(const std::string& target) const {
        std::istringstream triplet(hostMachine());
        std::string parts[3];
        for (std::string& part : parts) std::getline(triplet, part, '-');
        return at("out/" + parts[0] + "-" + parts[1] + "-" + parts[2] + "/demo/app/" + target);
    }

    static RunResult program(const std::string& path, const Words& words = {}) {
        return Scenario::runProgram(path, words, "/", Scenario::RunEnvironment{});
    }

    // The command lines a run printed for the target, in order.
    static Lines commandsOf(const RunResult& run, const std::string& target) {
        const std::string lead = "[app::" + target + "] \"";
        Lines commands;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with(lead)) commands.push_back(line.substr(lead.size() - 1));
        return commands;
    }
    // A directory of tools: `gcc` as given, the other GNU tools the machine's own.
    fs::path toolDirectory(const std::string& gcc) const {
        const fs::path bin = work_.path() / "bin";
        FakeTool::writeExecutable(bin / "gcc", "#!/bin/sh\ncase \"$1\" in -dump*) exec /usr/bin/gcc \"$@\";; esac\n" + gcc);
        for (const char* tool : {"g++", "ar", "ld", "objcopy"}) fs::create_symlink("/usr/bin/" + std::string(tool), bin / tool);
        return bin;
    }
};

const char* const kTargets = R"unit(
objects: { C_FILES = [P"(src/add.c)", P"(src/twice.c)"] C_FLAGS = "-c -O2 -fPIC" C_DEFINES = "NDEBUG BASE=3" }
mathlib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = "libmath.a" }
calc: mathlib { C_FILES = P"(src/main.c)" LIB = mathlib.lib }
square: objects { OBJS = objects.objs SHARED OUTPUT_NAME = "libsquare.so" }
user: square { C_FILES = P"(src/user.c)" LIB = square.so }
hello: { CPP_FILES = P"(src/hello.cpp)" C_FILES = P"(src/name.c)" C_FLAGS = "-O2 -fno-common" }
plain: { C_FILES = [P"(src/plain.c)", P"(src/name.c)"] C_FLAGS = "-fno-common -I/opt/x-c" OUTPUT_NAME = "plain-c" }
blob: { INPUT = P"(data.txt)" OBJCOPY_FLAGS = "-I binary -O elf64-x86-64" OUTPUT_NAME = "data.o" }
all: calc user hello plain blob { ^stamp = P"(all.txt)" cmdline = "touch all.txt" }
)unit";

// Programs that run: one linked with a static library of its own, archived from the objects of
// another target (a text of two defines gives two defines), one with a shared object linked by ld
// from the same objects, a C++ one (g++ compiles its C sources too), a C one whose flags merely
// contain "-c"; and a data file copied into an object file. The next run builds nothing. Edited
// sources recompile alone; the library is archived again and the programs relinked from their
// unchanged sources (not from object files that no command wrote). A library rebuilt without one
// of its sources holds only the objects that are left.
TEST_F(GnuBuildScenario, ProgramsAndLibrariesAcrossRuns) {
    writeProject(kTargets, tool("gnu-gcc"));
    write("src/add.c", "int add(int a) { return a + BASE; }\n");
    write("src/twice.c", "#ifdef NDEBUG\nint twice(int a) { return 2 * a; }\n#endif\n");
    write("src/main.c", "#include <stdio.h>\nint add(int);\nint twice(int);\n"
                        "int main(void) { printf(\"%d\\n\", twice(add(4))); return 0; }\n");
    write("src/user.c", "#include <stdio.h>\nint twice(int);\nint main(void) { printf(\"%d\\n\", twice(21)); return 0; }\n");
    write("src/hello.cpp", "#include <iostream>\nconst char* name();\n"
                           "int main() { std::cout << \"hello \" << name() << std::endl; }\n");
    write("src/name.c", "const char* name(void) { return \"tolm\"; }\n");
    write("src/plain.c", "#include <stdio.h>\nconst char* name(void);\nint main(void) { puts(name()); return 0; }\n");
    write("data.txt", "some data\n");

    const RunResult first = tolm({"all"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    const std::string objects = outputOf("objects"), library = outputOf("mathlib") + "/libmath.a";
    const std::string calc = hostTool("gcc") + " \"" + at("src/main.c") + "\" -o \"calc\" \"" + library + "\"";
    const std::string plain = hostTool("gcc") + " -fno-common -I/opt/x-c \"" + at("src/plain.c") + "\" \"" +
                              at("src/name.c") + "\" -o \"plain-c\"";
    EXPECT_EQ(commandsOf(first, "objects"), Lines{hostTool("gcc") + " -c -O2 -fPIC \"" + at("src/add.c") + "\" \"" +
                                                  at("src/twice.c") + "\" -DNDEBUG -DBASE=3"});
    EXPECT_EQ(commandsOf(first, "mathlib"),
              Lines{hostTool("ar") + " rcs \"libmath.a\" \"" + objects + "/add.o\" \"" + objects + "/twice.o\""});
    EXPECT_EQ(commandsOf(first, "calc"), Lines{calc});
    EXPECT_EQ(commandsOf(first, "hello"), Lines{hostTool("g++") + " -O2 -fno-common \"" + at("src/name.c") + "\" \"" +
                                                at("src/hello.cpp") + "\" -o \"hello\""});
    EXPECT_EQ(commandsOf(first, "plain"), Lines{plain});
    const std::pair<std::string, std::string> programs[] = {
        {"calc/calc", "14\n"}, {"user/user", "42\n"}, {"hello/hello", "hello tolm\n"}, {"plain/plain-c", "tolm\n"}};
    for (const auto& [path, output] : programs) EXPECT_EQ(program(outputOf(path)).out, output) << path;
    EXPECT_EQ(contentOf(outputOf("blob") + "/data.o").substr(0, 4), "\x7f" "ELF");
    EXPECT_TRUE(ranNothing(tolm({"all"})));

    makeOlder(objects + "/twice.o", "src/twice.c");
    makeOlder(outputOf("plain") + "/plain-c", "src/name.c");
    const RunResult touched = tolm({"all"});
    EXPECT_EQ(commandsOf(touched, "objects"),
              Lines{hostTool("gcc") + " -c -O2 -fPIC \"" + at("src/twice.c") + "\" -DNDEBUG -DBASE=3"}) << touched.out;
    for (const char* target : {"mathlib", "square", "user"}) EXPECT_EQ(commandsOf(touched, target).size(), 1u) << target;
    EXPECT_EQ(commandsOf(touched, "calc"), Lines{calc});
    EXPECT_EQ(commandsOf(touched, "plain"), Lines{plain});
    EXPECT_EQ(commandsOf(touched, "hello"), Lines{});
    EXPECT_EQ(program(outputOf("calc/calc")).out, "14\n");
    EXPECT_TRUE(ranNothing(tolm({"all"})));

    EXPECT_EQ(program("/usr/bin/ar", {"t", library}).out, "add.o\ntwice.o\n");
    std::string withoutTwice = kTargets;
    withoutTwice.erase(withoutTwice.find(", P\"(src/twice.c)\""), std::string(", P\"(src/twice.c)\"").size());
    writeProject(withoutTwice, tool("gnu-gcc"));
    ASSERT_EQ(tolm({"mathlib"}).exitCode, 0);
    EXPECT_EQ(program("/usr/bin/ar", {"t", library}).out, "add.o\n");
}

// In a directory of tools, the machine's own gcc is chosen over a newer cross compiler beside it,
// and a directory named like a tool is no tool: the plain ar next to it is used. With -j 8 the
// sources of a compile-only target are compiled by two compilers at once: each waits, before
// compiling, until the other one has started.
TEST_F(GnuBuildScenario, ToolchainChoiceAndParallelCompiles) {
    const std::string started = FakeTool::shellQuoted(at("started"));
    fs::create_directories(at("started"));
    const fs::path bin = toolDirectory("touch " + started + "/$$\nn=0\nwhile [ \"$(ls " + started + " | wc -l)\" -lt 2 ]; do\n"
                                       "  n=$((n + 1)); if [ $n -gt 600 ]; then echo 'no other compiler started' >&2; exit 1; fi\n"
                                       "  sleep 0.05\ndone\nexec /usr/bin/gcc \"$@\"\n");
    FakeTool::gnuCompiler(bin / "arm-none-eabi-gcc", "arm-none-eabi", "99.1.0");
    FakeTool::gnuCompiler(bin / "arm-none-eabi-g++", "arm-none-eabi", "99.1.0");
    for (const char* tool : {"ar", "ld", "objcopy"})
        FakeTool::writeExecutable(bin / ("arm-none-eabi-" + std::string(tool)), "#!/bin/sh\nexit 1\n");
    fs::create_directories(bin / (hostMachine() + "-ar"));
    writeProject("objects: { C_FILES = [P\"(a.c)\", P\"(b.c)\", P\"(c.c)\", P\"(d.c)\"] C_FLAGS = \"-c\" }\n"
                 "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"liba.a\" }\n",
                 tool("gnu-gcc", bin.string()));
    for (const char* name : {"a", "b", "c", "d"}) write(std::string(name) + ".c", "int " + std::string(name) + ";\n");

    const RunResult run = tolm({"-j", "8", "lib"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(commandsOf(run, "objects"), (Lines{"\"" + (bin / "gcc").string() + "\" -c \"" + at("a.c") + "\" \"" + at("b.c") + "\"",
                                                 "\"" + (bin / "gcc").string() + "\" -c \"" + at("c.c") + "\" \"" + at("d.c") + "\""}));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("started")), fs::directory_iterator()), 2);
    EXPECT_TRUE(commandsOf(run, "lib").at(0).starts_with("\"" + (bin / "ar").string() + "\" rcs \"liba.a\""));
    EXPECT_EQ(program("/usr/bin/ar", {"t", outputOf("lib") + "/liba.a"}).out, "a.o\nb.o\nc.o\nd.o\n");
}

// Sources named like commands, quotes and escapes, in a project directory whose name holds such
// characters too, built with the GNU and with the LLVM toolchain: each source is compiled under its
// own name and nothing else runs. The library they make, archived in a directory with a blank, links
// both as the dependency's output and as a path written by hand; the next run builds nothing.
TEST_F(GnuBuildScenario, FileNamesReachTheCompilersLiterally) {
    const std::string names[] = {"$(touch PWNED)x", "`touch PWNED2`", "q\"uote", "back\\slash", "a b"};
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        const std::string project = type + " $HOME `x` \\";
        writeProject(R"unit(objects: { C_FILES = P"(src/*.c)" C_FLAGS = "-c" OUTPUT_DIR = P"(objs)" }
mylib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = "libx.a" OUTPUT_DIR = P"(my libs)" }
prog: mylib other { C_FILES = P"(main.c)" LIB = mylib.lib OUTPUT_DIR = P"(bin)" }
other: mylib { C_FILES = P"(main.c)" LIB = P"(my libs/libx.a)" OUTPUT_DIR = P"(bin)" }
)unit",
                     tool(type), project);
        for (int i = 0; i < 5; ++i)
            write(project + "/src/" + names[i] + ".c", "int f" + std::to_string(i) + "(void) { return 2; }\n");
        write(project + "/main.c", "int f0(void), f1(void), f2(void), f3(void), f4(void);\n"
                                   "int main(void) { return f0() + f1() + f2() + f3() + f4() - 10; }\n");

        const RunResult first = tolm({"prog"}, project);
        ASSERT_EQ(first.exitCode, 0) << first.out;
        for (const std::string& name : names) EXPECT_TRUE(fs::exists(at(project + "/objs/" + name + ".o"))) << name;
        for (const char* linked : {"/bin/prog", "/bin/other"}) EXPECT_EQ(program(at(project + linked)).exitCode, 0);
        EXPECT_TRUE(ranNothing(tolm({"prog"}, project))) << type;
    }
    for (const auto& entry : fs::recursive_directory_iterator(work_.path()))
        EXPECT_NE(entry.path().filename().string().rfind("PWNED", 0), 0u) << entry.path();
}

// A library of 2,500 sources, whose archive command is longer than one argument may be, and a program
// linking it, through a stand-in gcc (an empty object per source, an empty program) and a stand-in ar
// (the member names, one a line, so the archive shows the order the objects reached it). The first
// build archives every object in source order; a no-op rebuild runs no command; an object older than
// its source (the first, the last) recompiles that source alone and archives all objects again, still
// in order; "-o" lists them (OBJS) in order too.
TEST_F(GnuBuildScenario, RebuildsOnlyTheEditedSourceAmongThousands) {
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
        objects.push_back(outputOf("objects") + "/" + name + ".o");
        listed += std::string(i == 0 ? "" : ", ") + "P\"" + objects.back() + "\"";
    }
    write("main.c", "");
    writeProject("prog: lib => archive { C_FILES = P\"(main.c)\" LIB = archive.lib }\n"
                 "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"libbig.a\" }\n"
                 "objects: { C_FILES = [\n" + sources + "\n] C_FLAGS = \"-c\" }\n",
                 tool("gnu-gcc", bin.string()));
    // The members of the library, in order.
    const auto archive = [&] {
        Lines members;
        std::istringstream in(contentOf(outputOf("lib") + "/libbig.a"));
        for (std::string line; std::getline(in, line);) members.push_back(line);
        return members;
    };

    const RunResult first = tolm({"-j", "8"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_TRUE(archive() == objects) << archive().size() << " members";
    EXPECT_TRUE(fs::exists(outputOf("prog") + "/prog"));
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
    EXPECT_TRUE(contentOf(at("objects.txt")) == "OBJS = [ " + listed + " ]\n") << contentOf(at("objects.txt")).substr(0, 200);
}

}  // namespace
