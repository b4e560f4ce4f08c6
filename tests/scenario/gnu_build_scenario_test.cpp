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
using Scenario::RunResult;
using Lines = std::vector<std::string>;

class GnuBuildScenario : public TolmScenario {
protected:
    // Project "demo" with a gnu-gcc toolchain in `bin` and unit app in tolm.txt.
    void writeProject(const std::string& targets, const fs::path& bin = "/usr/bin") {
        write(".tolm_project.txt", "name demo\ntools {\n  gnu { tool_type = \"gnu-gcc\" toolchain_path = \"" +
                                       bin.string() + "\" }\n}\nunits {\n  app { \"tolm.txt\" }\n}\n");
        write("tolm.txt", "unit app\n" + targets);
    }

    // The machine triplet of the host gcc, e.g. x86_64-linux-gnu.
    static std::string hostMachine() {
        std::string machine = program("/usr/bin/gcc", {"-dumpmachine"}).out;
        while (!machine.empty() && machine.back() == '\n') machine.pop_back();
        return machine;
    }
    // The program the tools run for `tool`: the machine's prefixed name when there is one.
    static fs::path hostToolPath(const std::string& tool) {
        const fs::path prefixed = "/usr/bin/" + hostMachine() + "-" + tool;
        return access(prefixed.c_str(), X_OK) == 0 ? prefixed : fs::path("/usr/bin/" + tool);
    }
    // The same between double quotes, as a command line starts.
    static std::string hostTool(const std::string& tool) { return "\"" + hostToolPath(tool).string() + "\""; }
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
        const std::string lead = "[app::" + target + "] ";
        Lines commands;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(lead, 0) != 0) continue;
            const std::string text = line.substr(lead.size());
            if (text.rfind("\"", 0) == 0) commands.push_back(text);
        }
        return commands;
    }
    static bool ranNothing(const RunResult& run) {
        return run.exitCode == 0 && run.out.find("Starting build job") == std::string::npos;
    }
};

const char* const kLibrary = R"unit(
objects: { C_FILES = [P"(src/add.c)", P"(src/twice.c)"] C_FLAGS = "-c -O2" C_DEFINES = "NDEBUG BASE=3" }
mathlib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = "libmath.a" }
calc: mathlib { C_FILES = P"(src/main.c)" LIB = mathlib.lib }
)unit";

// A C program linked with a static library of its own, archived from the objects of a third
// target, runs; a text of two defines gives two defines. The next run builds nothing; an edited
// source recompiles that source alone, re-archives the library and relinks the program from its
// unchanged source (not from an object file that no command wrote). A library rebuilt without one
// of its sources holds only the objects that are left.
TEST_F(GnuBuildScenario, StaticLibraryThroughDependencies) {
    writeProject(kLibrary);
    write("src/add.c", "int add(int a) { return a + BASE; }\n");
    write("src/twice.c", "#ifdef NDEBUG\nint twice(int a) { return 2 * a; }\n#endif\n");
    write("src/main.c", "#include <stdio.h>\nint add(int);\nint twice(int);\n"
                        "int main(void) { printf(\"%d\\n\", twice(add(4))); return 0; }\n");

    const RunResult first = tolm({"calc"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    const std::string objects = outputOf("objects");
    const std::string library = outputOf("mathlib") + "/libmath.a";
    EXPECT_EQ(commandsOf(first, "objects"), Lines{hostTool("gcc") + " -c -O2 \"" + at("src/add.c") + "\" \"" +
                                                  at("src/twice.c") + "\" -DNDEBUG -DBASE=3"});
    EXPECT_EQ(commandsOf(first, "mathlib"),
              Lines{hostTool("ar") + " rcs \"libmath.a\" \"" + objects + "/add.o\" \"" + objects + "/twice.o\""});
    EXPECT_EQ(commandsOf(first, "calc"),
              Lines{hostTool("gcc") + " \"" + at("src/main.c") + "\" -o \"calc\" \"" + library + "\""});
    EXPECT_EQ(program(outputOf("calc") + "/calc").out, "14\n");

    const RunResult again = tolm({"calc"});
    EXPECT_TRUE(ranNothing(again)) << again.out;

    makeOlder(objects + "/twice.o", "src/twice.c");
    const RunResult touched = tolm({"calc"});
    EXPECT_EQ(commandsOf(touched, "objects"),
              Lines{hostTool("gcc") + " -c -O2 \"" + at("src/twice.c") + "\" -DNDEBUG -DBASE=3"}) << touched.out;
    EXPECT_EQ(commandsOf(touched, "mathlib").size(), 1u);
    EXPECT_EQ(commandsOf(touched, "calc").size(), 1u);
    EXPECT_EQ(program(outputOf("calc") + "/calc").out, "14\n");
    EXPECT_TRUE(ranNothing(tolm({"calc"})));

    EXPECT_EQ(program("/usr/bin/ar", {"t", library}).out, "add.o\ntwice.o\n");
    std::string withoutTwice = kLibrary;
    withoutTwice.erase(withoutTwice.find(", P\"(src/twice.c)\""), std::string(", P\"(src/twice.c)\"").size());
    writeProject(withoutTwice);
    const RunResult rearchived = tolm({"mathlib"});
    ASSERT_EQ(rearchived.exitCode, 0) << rearchived.out;
    EXPECT_EQ(program("/usr/bin/ar", {"t", library}).out, "add.o\n");
}

// C++ sources go to g++, also when C sources come with them (g++ compiles those as C++); a target that compiles and links in
// one command is up to date on the next run, and an edited source relinks it; flags that merely
// contain "-c" link.
TEST_F(GnuBuildScenario, CompileAndLinkInOneCommand) {
    writeProject(R"unit(
hello: { CPP_FILES = P"(src/hello.cpp)" C_FILES = P"(src/name.c)" C_FLAGS = "-O2 -fno-common" }
plain: { C_FILES = [P"(src/plain.c)", P"(src/name.c)"] C_FLAGS = "-fno-common -I/opt/x-c" OUTPUT_NAME = "plain-c" }
)unit");
    write("src/hello.cpp", "#include <iostream>\nconst char* name();\n"
                           "int main() { std::cout << \"hello \" << name() << std::endl; }\n");
    write("src/name.c", "const char* name(void) { return \"tolm\"; }\n");
    write("src/plain.c", "#include <stdio.h>\nconst char* name(void);\nint main(void) { puts(name()); return 0; }\n");

    const RunResult first = tolm({"-v", "1", "hello"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_TRUE(hasLine(first.out, "[app::hello] Tool       : " + hostToolPath("g++").filename().string() + "\n"))
        << first.out;
    EXPECT_EQ(commandsOf(first, "hello"), Lines{hostTool("g++") + " -O2 -fno-common \"" + at("src/name.c") + "\" \"" +
                                                at("src/hello.cpp") + "\" -o \"hello\""});
    EXPECT_EQ(program(outputOf("hello") + "/hello").out, "hello tolm\n");
    EXPECT_EQ(commandsOf(tolm({"hello"}), "hello").size(), 0u);

    ASSERT_EQ(tolm({"plain"}).exitCode, 0);
    EXPECT_EQ(program(outputOf("plain") + "/plain-c").out, "tolm\n");
    EXPECT_EQ(commandsOf(tolm({"plain"}), "plain").size(), 0u);
    makeOlder(outputOf("plain") + "/plain-c", "src/name.c");
    const RunResult relinked = tolm({"plain"});
    EXPECT_EQ(relinked.exitCode, 0) << relinked.out;
    EXPECT_EQ(commandsOf(relinked, "plain"), Lines{hostTool("gcc") + " -fno-common -I/opt/x-c \"" + at("src/plain.c") +
                                                   "\" \"" + at("src/name.c") + "\" -o \"plain-c\""});
    EXPECT_EQ(commandsOf(tolm({"plain"}), "plain").size(), 0u);
}

// A shared object linked by ld and used by a program, and a data file copied into an object file;
// neither is built again on the next run.
TEST_F(GnuBuildScenario, SharedObjectAndObjectCopy) {
    writeProject(R"unit(
pic: { C_FILES = P"(src/square.c)" C_FLAGS = "-c -fPIC" }
square: pic { OBJS = pic.objs SHARED OUTPUT_NAME = "libsquare.so" }
user: square { C_FILES = P"(src/user.c)" LIB = square.so }
blob: { INPUT = P"(data.txt)" OBJCOPY_FLAGS = "-I binary -O elf64-x86-64" OUTPUT_NAME = "data.o" }
)unit");
    write("src/square.c", "int square(int x) { return x * x; }\n");
    write("src/user.c", "#include <stdio.h>\nint square(int);\nint main(void) { printf(\"%d\\n\", square(7)); return 0; }\n");
    write("data.txt", "some data\n");

    const RunResult built = tolm({"user"});
    ASSERT_EQ(built.exitCode, 0) << built.out;
    EXPECT_EQ(commandsOf(built, "square"),
              Lines{hostTool("ld") + " \"" + outputOf("pic") + "/square.o\" -shared  -o \"libsquare.so\""});
    EXPECT_EQ(program(outputOf("user") + "/user").out, "49\n");
    EXPECT_TRUE(ranNothing(tolm({"user"})));

    const RunResult copied = tolm({"blob"});
    ASSERT_EQ(copied.exitCode, 0) << copied.out;
    EXPECT_EQ(commandsOf(copied, "blob"),
              Lines{hostTool("objcopy") + " -I binary -O elf64-x86-64 \"" + at("data.txt") + "\" \"data.o\""});
    EXPECT_EQ(contentOf(outputOf("blob") + "/data.o").substr(0, 4), "\x7f" "ELF");
    EXPECT_EQ(commandsOf(tolm({"blob"}), "blob").size(), 0u);
}

// With -j 8 the sources of a compile-only target are compiled by two compilers at once: each
// waits, before compiling, until the other one has started.
TEST_F(GnuBuildScenario, CompilesInParallel) {
    const fs::path bin = work_.path() / "waiting/bin";
    const fs::path started = work_.path() / "started";
    fs::create_directories(started);
    FakeTool::writeExecutable(
        bin / "gcc",
        "#!/bin/sh\ncase \"$1\" in -dump*) exec /usr/bin/gcc \"$@\";; esac\n"
        "touch " + FakeTool::shellQuoted(started.string()) + "/$$\n"
        "n=0\nwhile [ \"$(ls " + FakeTool::shellQuoted(started.string()) + " | wc -l)\" -lt 2 ]; do\n"
        "  n=$((n + 1)); if [ $n -gt 600 ]; then echo 'no other compiler started' >&2; exit 1; fi; sleep 0.05\n"
        "done\nexec /usr/bin/gcc \"$@\"\n");
    for (const char* tool : {"g++", "ar", "ld", "objcopy"}) fs::create_symlink("/usr/bin/" + std::string(tool), bin / tool);

    writeProject("objects: { C_FILES = [P\"(a.c)\", P\"(b.c)\", P\"(c.c)\", P\"(d.c)\"] C_FLAGS = \"-c\" }\n",
                 bin);
    for (const char* name : {"a", "b", "c", "d"}) write(std::string(name) + ".c", "int " + std::string(name) + ";\n");

    const RunResult run = tolm({"-j", "8", "objects"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(commandsOf(run, "objects").size(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(started), fs::directory_iterator()), 2);
    for (const char* name : {"a", "b", "c", "d"}) EXPECT_TRUE(fs::exists(outputOf("objects") + "/" + name + ".o"));
}

// The machine's own gcc is chosen over a newer cross compiler beside it, and a directory named like
// a tool is no tool: the plain ar next to it is used.
TEST_F(GnuBuildScenario, ToolchainChoiceInOneDirectory) {
    const fs::path bin = work_.path() / "mixed/bin";
    fs::create_directories(bin);
    for (const char* tool : {"gcc", "g++", "ar", "ld", "objcopy"}) fs::create_symlink("/usr/bin/" + std::string(tool), bin / tool);
    FakeTool::gnuCompiler(bin / "arm-none-eabi-gcc", "arm-none-eabi", "99.1.0");
    FakeTool::gnuCompiler(bin / "arm-none-eabi-g++", "arm-none-eabi", "99.1.0");
    for (const char* tool : {"ar", "ld", "objcopy"})
        FakeTool::writeExecutable(bin / ("arm-none-eabi-" + std::string(tool)), "#!/bin/sh\nexit 1\n");
    fs::create_directories(bin / (hostMachine() + "-ar"));

    writeProject("objects: { C_FILES = P\"(a.c)\" C_FLAGS = \"-c\" }\n"
                 "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"liba.a\" }\n",
                 bin);
    write("a.c", "int a;\n");
    const RunResult run = tolm({"lib"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(commandsOf(run, "objects"), Lines{"\"" + (bin / "gcc").string() + "\" -c \"" + at("a.c") + "\""});
    EXPECT_EQ(commandsOf(run, "lib").back(),
              "\"" + (bin / "ar").string() + "\" rcs \"liba.a\" \"" + outputOf("objects") + "/a.o\"");
    EXPECT_EQ(program("/usr/bin/ar", {"t", outputOf("lib") + "/liba.a"}).out, "a.o\n");
}

// Sources named like commands, quotes and escapes, in a project directory whose name holds such
// characters too, built with the GNU and with the LLVM toolchain: each source is compiled under its
// own name and nothing else runs. The library they make, archived in a directory with a blank, links
// both as the dependency's output and as a path written by hand; the next run builds nothing.
TEST_F(GnuBuildScenario, FileNamesReachTheCompilersLiterally) {
    const std::string names[] = {"$(touch PWNED)x", "`touch PWNED2`", "q\"uote", "back\\slash", "a b"};
    for (const std::string tool : {"gnu-gcc", "llvm-clang"}) {
        const std::string project = tool + " $HOME `x` \\";
        write(project + "/.tolm_project.txt", "name demo\ntools { t { tool_type = \"" + tool +
                                                  "\" toolchain_path = \"/usr/bin\" } }\nunits { app { \"tolm.txt\" } }\n");
        write(project + "/tolm.txt", R"unit(unit app
objects: { C_FILES = P"(src/*.c)" C_FLAGS = "-c" OUTPUT_DIR = P"(objs)" }
mylib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = "libx.a" OUTPUT_DIR = P"(my libs)" }
prog: mylib other { C_FILES = P"(main.c)" LIB = mylib.lib OUTPUT_DIR = P"(bin)" }
other: mylib { C_FILES = P"(main.c)" LIB = P"(my libs/libx.a)" OUTPUT_DIR = P"(bin)" }
)unit");
        for (int i = 0; i < 5; ++i)
            write(project + "/src/" + names[i] + ".c", "int f" + std::to_string(i) + "(void) { return 2; }\n");
        write(project + "/main.c", "int f0(void), f1(void), f2(void), f3(void), f4(void);\n"
                                   "int main(void) { return f0() + f1() + f2() + f3() + f4() - 10; }\n");

        const RunResult first = tolm({"prog"}, project);
        ASSERT_EQ(first.exitCode, 0) << first.out;
        for (const std::string& name : names) EXPECT_TRUE(fs::exists(at(project + "/objs/" + name + ".o"))) << name;
        for (const char* linked : {"/bin/prog", "/bin/other"}) EXPECT_EQ(program(at(project + linked)).exitCode, 0);
        EXPECT_TRUE(ranNothing(tolm({"prog"}, project))) << tool;
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
    const fs::path bin = work_.path() / "stand-in/bin";
    FakeTool::writeExecutable(bin / "gcc", "#!/bin/sh\ncase \"$1\" in -dump*) exec /usr/bin/gcc \"$@\";; esac\n"
                                           "for a in \"$@\"; do case \"$prev\" in -o) : > \"$a\";; esac; prev=\"$a\"\n"
                                           "case \"$a\" in *.c) : > \"$(basename \"$a\" .c).o\";; esac; done\n");
    FakeTool::writeExecutable(bin / "ar", "#!/bin/sh\nshift; out=\"$1\"; shift\n: > \"$out\"\n"
                                          "for member in \"$@\"; do echo \"$member\" >> \"$out\"; done\n");
    for (const char* tool : {"g++", "ld", "objcopy"}) fs::create_symlink("/usr/bin/" + std::string(tool), bin / tool);
    constexpr int kSources = 2500;
    const std::string objectDir = outputOf("objects");
    std::string sources;
    Lines objects;
    for (int i = 0; i < kSources; ++i) {
        const std::string name = "f" + std::to_string(i);
        sources += std::string(i == 0 ? "" : ",\n") + "  P\"(src/" + name + ".c)\"";
        write("src/" + name + ".c", "");
        objects.push_back(objectDir + "/" + name + ".o");
    }
    write("main.c", "");
    writeProject("prog: lib => archive { C_FILES = P\"(main.c)\" LIB = archive.lib }\n"
                 "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"libbig.a\" }\n"
                 "objects: { C_FILES = [\n" + sources + "\n] C_FLAGS = \"-c\" }\n",
                 bin);
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

    for (int edited : {0, kSources - 1}) {
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
    std::string listed;
    for (const std::string& name : objects) listed += std::string(listed.empty() ? "" : ", ") + "P\"" + name + "\"";
    EXPECT_TRUE(contentOf(at("objects.txt")) == "OBJS = [ " + listed + " ]\n") << contentOf(at("objects.txt")).substr(0, 200);
}

}  // namespace
