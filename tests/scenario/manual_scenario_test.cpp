// The forms the README teaches outside the example projects, each run as a
// user would write it: conditions, profiles and command-line words meeting a
// target's own values, the built-in variables, how values reach the shell and
// the linker, commands of one's own, outputs rewritten by a later target,
// objects picked from a compile-only target and linked, parameterised
// instances, imports and the names of units, tool definitions without a
// toolchain path, the main unit of a created project, what -v 0 prints and
// the longest command the system takes.

#include <unistd.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"

namespace {

namespace fs = std::filesystem;

class ManualScenario : public TolmScenario {
protected:
    // Project "demo" with unit app whose file holds `targets`, and the profiles given.
    void projectWithProfiles(const std::string& targets, const std::string& profiles) const {
        write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } }\nprofiles {\n" + profiles + "}\n");
        write("tolm.txt", "unit app\n" + targets);
    }
};

// Each form of a condition in the block of a target or of a profile, tested against the target's
// variables after the profiles and the command line, before the dependencies' outputs; and the
// forms that fail, with their messages.
TEST_F(ManualScenario, Conditions) {
    const struct {
        std::string block;  // the body of target t, which depends on target d
        Words words;
        std::string line;  // a line of the output
        int exitCode = 0;
    } cases[] = {
        {"A = \"x\" if A { B = \"set\" }", {}, "[set]\n"},
        {"A if A { B = \"declared\" }", {}, "[declared]\n"},
        {"if LLVM { B = \"llvm\" }", {"LLVM"}, "[llvm]\n"},
        {"if LLVM { B = \"llvm\" }", {}, "[]\n"},
        {"M = \"fast\" if M = \"FAST\" { B = \"equal\" }", {}, "[equal]\n"},
        {"M = \"fast\" if M != \"slow\" { B = \"unequal\" }", {}, "[unequal]\n"},
        {"N = 10 if N > 9 { B = \"greater\" }", {}, "[greater]\n"},
        {"N = 10 if N < 9 { B = \"less\" }", {}, "[]\n"},
        {"S = \"abc\" if S > \"abb\" { B = \"text\" }", {}, "[]\n"},
        {"S = \"zz\" if S < \"aaaa\" { B = \"shorter\" }", {}, "[shorter]\n"},
        {"S = \"x\" L = [1, 2] if S = \"x\" { if L = [1, 2] { B = \"nested\" } }", {}, "[nested]\n"},
        {"M ?= \"fast\" if M = \"fast\" { B = \"default\" }", {}, "[default]\n"},
        {"M ?= \"fast\" if M != \"fast\" { B = \"from the word\" }", {"M=\"slow\""}, "[from the word]\n"},
        {"if MODE = \"fast\" { B = \"profile\" }", {}, "[profile]\n"},
        {"if MODE = \"fast\" { B = \"profile\" }", {"MODE=\"slow\""}, "[]\n"},
        {"if PROFILE = \"release\" { B = \"release\" }", {"release"}, "[release]\n"},
        {"if d { B = \"dependency\" }", {}, "[]\n"},
        // The target's blocks come before the profile's.
        {"if LLVM { B = \"target\" }", {"LLVM", "release"}, "[target profile]\n"},
        {"if M = \"fast\" { B = \"x\" }", {}, "Error: Assignment 'M' not found.\n", 1},
        {"M = \"fast\" if M = \"fast\" { B = \"x\" }", {"M=3"}, "Error: Cannot convert TolmInt 3 to TolmString\n", 1},
        {"if (LLVM) { B = \"x\" }", {}, "Error: " + at("tolm.txt") + " Parsing failed due to syntax errors.\n", 1},
        {"if !LLVM { B = \"x\" }", {}, "Error: " + at("tolm.txt") + " Parsing failed due to syntax errors.\n", 1},
        {"if LLVM { B = \"x\" } else { B = \"y\" }", {},
         "Error: " + at("tolm.txt") + " Parsing failed due to syntax errors.\n", 1},
        {"if LLVM == \"1\" { B = \"x\" }", {}, "Error: " + at("tolm.txt") + " Parsing failed due to syntax errors.\n", 1},
    };
    for (const auto& c : cases) {
        projectWithProfiles("t: d { cmdline = \"echo [${B}]\" " + c.block + " }\nd: { cmdline = \"true\" }\n",
                            "default { MODE ?= \"fast\" }\nrelease { if LLVM { B += \"profile\" } }\n");
        const RunResult run = tolm(c.words);
        EXPECT_TRUE(hasLine(run.out, c.line)) << c.block << "\n" << run.out;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.block;
    }

    // Not at the top of a unit file, not in a word; and a tool is chosen before the blocks apply.
    projectWithProfiles("if X { A = \"1\" }\nt: { cmdline = \"true\" }\n", "");
    EXPECT_NE(tolm({}).out.find("Parsing failed due to syntax errors."), std::string::npos);
    projectWithProfiles("t: { if X { cmdline = \"true\" } }\n", "");
    EXPECT_EQ(tolm({"if X { A = \"1\" }"}).out, "Parsing assignment failed due to syntax errors.\n");
    const RunResult noTool = tolm({"X"});
    EXPECT_TRUE(hasLine(noTool.out, "Error: No tool to build app::t.\n")) << noTool.out;
}

// The profile default, the chosen profile and the command line's words gathered into one set that
// meets the target's own value: "+=" after it, and the first operator deciding how the set acts.
// A variable of the profile default that no tool reads changes only the targets that insert it.
TEST_F(ManualScenario, ProfilesAndWordsMeetTheTargetsOwnValue) {
    const struct {
        Words words;
        std::string line;
    } cases[] = {
        {{}, "[-c -Wall]\n"},
        {{"release"}, "[-c -Wall -O2]\n"},
        {{"release", "C_FLAGS+=\"-g\""}, "[-c -Wall -O2 -g]\n"},
        {{"C_FLAGS=\"-g\""}, "[-c -g]\n"},
        {{"u"}, "[-c -g -DTESTING -Wall]\n"},
    };
    projectWithProfiles("t: { C_FLAGS = \"-c\" cmdline = \"echo [${C_FLAGS}]\" }\n"
                        "u: { C_FLAGS = \"-c ${TEST_FLAGS}\" cmdline = \"echo [${C_FLAGS}]\" }\n",
                        "default { C_FLAGS += \"-Wall\" TEST_FLAGS = \"-g -DTESTING\" }\nrelease { C_FLAGS += \"-O2\" }\n");
    for (const auto& c : cases) {
        const RunResult run = tolm(c.words);
        EXPECT_TRUE(hasLine(run.out, c.line)) << run.out;
    }
    projectWithProfiles("t: { C_FLAGS = \"-c\" cmdline = \"echo [${C_FLAGS}]\" }\n", "");
    EXPECT_TRUE(hasLine(tolm({"C_FLAGS=\"-g\""}).out, "[-g]\n"));
}

// The built-in variables as a target reads them: the project root, the directory tolm was started
// in (where a command runs unless the target sets cwd), the date without leading zeros and the
// chosen profile, unset without one. output_def_dir moves the outputs when a word or a profile sets
// it, not when the target does.
TEST_F(ManualScenario, BuiltInVariables) {
    write(".tolm_project.txt", "name demo\n" + tool("gnu-gcc") + "units { app { \"tolm.txt\" } }\n" +
                                   "profiles { release { output_def_dir = \"rel\" } }\n");
    write("tolm.txt", "unit app\n"
                      "show: { cmdline = \"echo [${project_root}] [${cwd}] [${os_family}] [${output_def_dir}] "
                      "[${PROFILE}]; pwd\" }\n"
                      "date: { cmdline = \"echo ${year}-${month}-${day}\" }\n"
                      "where: { cwd = P\"(sub)\" cmdline = \"pwd\" }\n"
                      "objects: { C_FILES = P\"(a.c)\" C_FLAGS = \"-c\" output_def_dir = \"mine\" }\n");
    write("a.c", "int a;\n");
    write("sub/.keep", "");
    const std::string root = work_.path().string();

    const RunResult released = tolm({"release", "show"}, "sub");
    EXPECT_TRUE(hasLine(released.out, "[" + root + "] [" + at("sub") + "] [unix] [rel] [release]\n" + at("sub") + "\n"))
        << released.out;
    const RunResult plain = tolm({"show"});
    EXPECT_TRUE(hasLine(plain.out, "[app::show] Variable 'PROFILE' does not exist.\n")) << plain.out;
    EXPECT_TRUE(hasLine(plain.out, "[" + root + "] [" + root + "] [unix] [out] []\n" + root + "\n")) << plain.out;
    EXPECT_TRUE(hasLine(tolm({"where"}).out, at("sub") + "\n"));

    const Words dated = linesOf(tolm({"date"}).out);
    const std::regex date("[1-9][0-9]{3}-[1-9][0-9]?-[1-9][0-9]?");
    const auto isDate = [&](const std::string& line) { return std::regex_match(line, date); };
    EXPECT_TRUE(std::any_of(dated.begin(), dated.end(), isDate)) << testing::PrintToString(dated);

    const auto outputDirectory = [&](const Words& words) {
        for (const std::string& line : linesOf(tolm(words).out))
            if (line.starts_with("[app::objects] Output dir: ")) return line.substr(27);
        return std::string();
    };
    EXPECT_TRUE(outputDirectory({"objects"}).starts_with(at("out/"))) << outputDirectory({"objects"});
    EXPECT_TRUE(outputDirectory({"objects", "output_def_dir=\"build\""}).starts_with(at("build/")));
    EXPECT_TRUE(outputDirectory({"objects", "release"}).starts_with(at("rel/")));
}

// What a compiler and the linker receive, one argument a line, for each form the README shows:
// paths taken literally, texts of LIB and LINK_FLAGS split into words that the shell still
// expands, texts of C_FLAGS and C_DEFINES read by the shell, a variable inserted into a text
// without quotes, a pattern that matches nothing left as written, and $ORIGIN.
TEST_F(ManualScenario, ValuesReachTheShellAndTheLinker) {
    const fs::path bin = toolDirectory("for a; do printf '<%s>\\n' \"$a\"; done\n");
    fs::remove(bin / "ld");
    FakeTool::writeExecutable(bin / "ld", "#!/bin/sh\nfor a; do printf '<%s>\\n' \"$a\"; done\n");
    const std::string home = home_.path().string();
    const struct {
        std::string block;
        std::vector<std::string> arguments;  // in this order among the program's arguments
    } cases[] = {
        {R"x(C_FILES = P"(a.c)" LINK_FLAGS = "-rpath=\$ORIGIN")x", {"-Wl,-rpath=$ORIGIN"}},
        {R"x(C_FILES = P"(a.c)" LINK_FLAGS = "-rpath=\$ORIGIN/../lib")x", {"-Wl,-rpath=$ORIGIN/../lib"}},
        {R"x(C_FILES = P"(a.c)" C_FLAGS = "-Wl,-rpath,'$ORIGIN'")x", {"-Wl,-rpath,$ORIGIN"}},
        {R"x(C_FILES = P"(a.c)" LINK_FLAGS = "-rpath=$ORIGIN")x", {"-Wl,-rpath="}},
        {R"x(C_FILES = P"(a.c)" LINK_FLAGS = "-rpath='$ORIGIN/lib'")x", {"-Wl,-rpath='/lib'"}},
        {R"x(OBJS = P"(a.o)" SHARED LINK_FLAGS = "-rpath=\$ORIGIN -soname=libx.so")x",
         {at("a.o"), "-rpath=$ORIGIN", "-soname=libx.so", "-shared"}},
        {R"x(C_FILES = P"(my $HOME.c)" OUTPUT_NAME = "o$x" LIB = ["-la -lb", "two words"] C_DEFINES = "A=1 B=$HOME")x",
         {at("my $HOME.c"), "-DA=1", "-DB=" + home, "o$x", "-la -lb", "two words"}},
        {R"x(C_FILES = P"(a.c)" LIB = "-la -lb" INCLUDE = ["inc $HOME", P"(my $HOME)"])x",
         {"-Iinc " + home, "-I" + at("my $HOME"), "-la", "-lb"}},
        {R"x(C_FILES = P"(src/*.c)" config = P"(my config.h)" C_FLAGS = "-include ${config} -include '${config}'")x",
         {"-include", at("my"), "config.h", "-include", at("my config.h"), at("src/*.c")}},
    };
    writeProject("", tool("gnu-gcc", bin.string()));
    for (const auto& c : cases) {
        write("tolm.txt", "unit app\nt: { " + c.block + " }\n");
        fs::remove(at(".tolm_cache"));
        const RunResult run = tolm({});
        ASSERT_EQ(run.exitCode, 0) << run.out;
        std::size_t from = 0;
        for (const std::string& argument : c.arguments) {
            from = run.out.find("\n<" + argument + ">\n", from);
            EXPECT_NE(from, std::string::npos) << c.block << ": " << argument << "\n" << run.out;
        }
    }
}

// A command is skipped on a later run only when it declares outputs that name files; without
// outputs, or with outputs that name none, it runs every time. A plain text cannot hold a double
// quote and a raw text cannot hold ")\"", so "$(pwd)" in double quotes fails to parse either way,
// and the spellings the shell reads alike run in the directory tolm was started in.
TEST_F(ManualScenario, CommandsOfYourOwn) {
    writeProject("all: none label file { NO_TOOL }\n"
                 "none: { cmdline = \"echo none\" }\n"
                 "label: { ^label = \"x\" cmdline = \"echo label\" }\n"
                 "file: { ^out = P\"(file.txt)\" cmdline = \"echo file > file.txt\" }\n");
    ASSERT_EQ(tolm({}).exitCode, 0);
    const RunResult again = tolm({});
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_EQ(count(again, "[app::none] echo none"), 1) << again.out;
    EXPECT_EQ(count(again, "[app::label] echo label"), 1) << again.out;
    EXPECT_EQ(again.out.find("[app::file] Starting build job"), std::string::npos) << again.out;

    write("sub/.keep", "");
    for (const char* command : {R"x(R"(echo "$PWD")")x", R"x(R"(echo "`pwd`")")x"}) {
        writeProject(std::string("t: { cmdline = ") + command + " }\n");
        const RunResult run = tolm({}, "sub");
        EXPECT_TRUE(hasLine(run.out, at("sub") + "\n")) << command << "\n" << run.out;
    }
    for (const char* command : {R"x("echo \"$(pwd)\"")x", R"x(R"(echo "$(pwd)")")x"}) {
        writeProject(std::string("t: { cmdline = ") + command + " }\n");
        const RunResult run = tolm({});
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_TRUE(hasLine(run.out, "Error: " + at("tolm.txt") + " Parsing failed due to syntax errors.\n"))
            << command << "\n" << run.out;
    }
}

// An output that a later target rewrites in place no longer has the time its command left, so
// every run builds its target again, and the later one after it; a later target that writes a
// new file, as objcopy does, leaves the next run nothing to do.
TEST_F(ManualScenario, OutputRewrittenByALaterTarget) {
    // The patch dates the program back, so that the rewrite shows whatever the clock's resolution.
    writeProject("app: { C_FILES = P\"(app.c)\" OUTPUT_DIR = P\"(bin)\" }\n"
                 "patched: app { cwd = P\"(bin)\" cmdline = \"strip app && touch -d @1000000000 app\" }\n"
                 "stripped: app { INPUT = app.binary OBJCOPY_FLAGS = \"--strip-all\" OUTPUT_NAME = \"app-stripped\" "
                 "OUTPUT_DIR = P\"(bin)\" }\n",
                 tool("gnu-gcc"));
    write("app.c", "#include <stdio.h>\nint main(void) { puts(\"app\"); }\n");
    const std::string link = "[app::app] Starting build job", strip = "[app::patched] Starting build job";
    for (int run = 0; run < 3; ++run) {
        const RunResult patched = tolm({"patched"});
        EXPECT_EQ(count(patched, link), 1) << run << "\n" << patched.out;
        EXPECT_EQ(count(patched, strip), 1) << run << "\n" << patched.out;
    }
    ASSERT_EQ(tolm({"stripped"}).exitCode, 0);
    EXPECT_TRUE(ranNothing(tolm({"stripped"})));
    EXPECT_EQ(outputOfProgram(at("bin/app-stripped")), "app\n");
}

// The objects a link target takes from a compile-only target: by position in objs, or by the
// file in the compile-only target's OUTPUT_DIR; a range is no index of the list, a pattern none
// at all.
TEST_F(ManualScenario, ObjectsPickedFromACompileOnlyTarget) {
    writeProject("objects: { C_FILES = [P\"(lib.c)\", P\"(main.c)\"] C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n"
                 "by_position: objects { C_FILES OBJS = [objects.objs[0], objects.objs[1]] OUTPUT_DIR = P\"(bin)\" }\n"
                 "by_file: objects { C_FILES OBJS = [P\"(obj/lib.o)\", P\"(obj/main.o)\"] OUTPUT_DIR = P\"(bin)\" }\n"
                 "ranged: objects { C_FILES OBJS = objects.objs[0:1] }\n",
                 tool("gnu-gcc"));
    write("lib.c", "int answer(void) { return 42; }\n");
    write("main.c", "#include <stdio.h>\nint answer(void);\nint main(void) { printf(\"%d\\n\", answer()); }\n");
    for (const char* target : {"by_position", "by_file"}) {
        const RunResult run = tolm({target});
        ASSERT_EQ(run.exitCode, 0) << target << run.out;
        EXPECT_EQ(outputOfProgram(work_.path() / "bin" / target), "42\n") << target;
    }
    const RunResult ranged = tolm({"ranged"});
    EXPECT_EQ(ranged.exitCode, 1);
    EXPECT_NE(ranged.out.find("cannot be indexed with [0:1:1]"), std::string::npos) << ranged.out;
    // A pattern is no index at all: the unit file is refused.
    write("tolm.txt", "unit app\nt: { C_FILES OBJS = objects.objs[R\"(.*main.*)\"] }\n");
    const RunResult patterned = tolm({});
    EXPECT_EQ(patterned.exitCode, 1);
    EXPECT_EQ(patterned.out, "Error: " + at("tolm.txt") + "(2,33): regex index is not supported\n");
}

// A compiler that links a target of objects gets its C_FLAGS and C_DEFINES, so -pthread reaches
// the link too; with gcc also without C_FILES declared.
TEST_F(ManualScenario, ObjectsLinkedByACompilerGetItsFlags) {
    const char* const targets = "objects: { C_FILES = P\"(main.c)\" C_FLAGS = \"-c -pthread\" }\n"
                                "declared: objects { C_FILES OBJS = objects.objs C_FLAGS = \"-pthread\" "
                                "C_DEFINES = \"X=1\" OUTPUT_DIR = P\"(bin)\" }\n"
                                "objects_only: objects { OBJS = objects.objs C_FLAGS = \"-pthread\" "
                                "C_DEFINES = \"X=1\" OUTPUT_DIR = P\"(bin)\" }\n";
    write("main.c", "#include <pthread.h>\n#include <stdio.h>\n"
                    "static void* run(void* text) { puts(text); return 0; }\n"
                    "int main(void) {\n"
                    "  pthread_t t;\n"
                    "  pthread_create(&t, 0, run, \"thread\");\n"
                    "  return pthread_join(t, 0);\n"
                    "}\n");
    const std::pair<const char*, const char*> cases[] = {
        {"gnu-gcc", "declared"}, {"gnu-gcc", "objects_only"}, {"llvm-clang", "declared"}};
    for (const auto& [type, target] : cases) {
        if (std::string(type) == "llvm-clang" && !fs::exists("/usr/bin/clang")) continue;
        writeProject(targets, tool(type));
        fs::remove_all(at("out"));
        const RunResult run = tolm({target});
        ASSERT_EQ(run.exitCode, 0) << run.out;
        std::string link;
        for (const std::string& line : linesOf(run.out))
            if (line.starts_with("[app::" + std::string(target) + "] \"")) link = line;
        EXPECT_NE(link.find(" -pthread -DX=1 \""), std::string::npos) << type << " " << link;
        EXPECT_EQ(outputOfProgram(at("bin/") + target), "thread\n") << type << " " << target;
    }
}

// Instances of one parameterised target take the depending target's variables; without aliases
// their outputs meet under the target's name, with a warning; a parameter inherits nothing. With
// aliases or without, every instance prints under the target's name, and -v 3 shows its values.
TEST_F(ManualScenario, ParameterisedInstances) {
    writeProject("all: show(one, two) show(two, one) { NO_TOOL one = \"1\" two = \"2\" }\n"
                 "show(first, second): { cmdline = \"echo [${first}${second}]\" }\n"
                 "common: { C_FLAGS = \"-c\" cmdline = \"echo common\" }\n"
                 "prog(common): { cmdline = \"echo [${C_FLAGS}]\" }\n");
    const RunResult run = tolm({});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[12]\n") && hasLine(run.out, "[21]\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[app::all] Dependency output 'show' collides with an existing context variable. "
                                 "Names are case-insensitive; this may make dependency output ambiguous.\n"))
        << run.out;
    EXPECT_TRUE(hasLine(tolm({"prog"}).out, "[]\n"));

    writeProject("all: show(one, two) => a show(two, one) => b { NO_TOOL one = \"1\" two = \"2\" }\n"
                 "show(first, second): { cmdline = \"echo [${first}${second}]\" }\n");
    const RunResult aliased = tolm({"-v", "3"});
    EXPECT_EQ(aliased.exitCode, 0) << aliased.out;
    for (const char* line : {"[app::show] echo [12]\n", "[app::show] echo [21]\n", "[app::show] first = \"1\"\n",
                             "[app::show] first = \"2\"\n"})
        EXPECT_TRUE(hasLine(aliased.out, line)) << line << aliased.out;
}

// A run in an importing project gives the imported targets their own project's profiles, never
// the importer's, and the command line's words; their outputs go below their own project's out/.
TEST_F(ManualScenario, ImportedTargetsKeepTheirOwnProfiles) {
    write("lib/.tolm_project.txt", "name libproj\n" + tool("gnu-gcc") +
                                       "units { l { \"tolm.txt\" } }\n"
                                       "profiles { default { D += \"lib-default\" } release { D += \"lib-release\" } }\n");
    write("lib/tolm.txt", "unit l\nlt: lc { cmdline = \"echo [${D}]\" }\nlc: { C_FILES = P\"(l.c)\" C_FLAGS = \"-c\" }\n");
    write("lib/l.c", "int l;\n");
    write("app/.tolm_project.txt", "name app\nimport { release: \"../lib/.tolm_project.txt\" (release); }\n"
                                   "units { a { \"tolm.txt\" } }\n"
                                   "profiles { default { D += \"app-default\" } release { D += \"app-release\" } }\n");
    write("app/tolm.txt", "unit a\nmain: libproj/l::lt { cmdline = \"echo [${D}]\" }\n");
    const RunResult run = tolm({"release", "D+=\"word\""}, "app");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[lib-default lib-release word]\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[app-default app-release word]\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[l::lc] Output dir: " + at("app/../lib/out/"))) << run.out;
}

// An import without a profile is taken in every run and builds the imported project with its
// profile default alone. A unit's name and a dependency's name meet in one variable: a target of
// unit report and a target report of the target's own unit are both read through "report".
TEST_F(ManualScenario, ImportWithoutProfileAndNamesOfUnits) {
    write("lib/.tolm_project.txt", "name libproj\nunits { l { \"tolm.txt\" } }\n"
                                   "profiles { default { D += \"lib-default\" } release { D += \"lib-release\" } }\n");
    write("lib/tolm.txt", "unit l\nlt: { ^out = \"lib\" cmdline = \"echo [${D}]\" }\n");
    write("app/.tolm_project.txt", "name app\nimport { \"../lib/.tolm_project.txt\"; }\n"
                                   "units { a { \"tolm.txt\" } report { \"report.txt\" } }\n"
                                   "profiles { release { D += \"app-release\" } }\n");
    write("app/tolm.txt", "unit a\n"
                          "main: libproj/l::lt report::text report "
                          "{ cmdline = \"echo [${l.lt.out}] [${report.text.out}] [${report.out}]\" }\n"
                          "report: { ^out = \"own unit\" cmdline = \"true\" }\n");
    write("app/report.txt", "unit report\ntext: { ^out = \"unit report\" cmdline = \"true\" }\n");
    for (const Words& words : {Words{}, Words{"release"}}) {
        const RunResult run = tolm(words, "app");
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_TRUE(hasLine(run.out, "[lib-default]\n")) << run.out;
        EXPECT_TRUE(hasLine(run.out, "[lib] [unit report] [own unit]\n")) << run.out;
    }
}

// A GNU, LLVM or C3 tool defined without a toolchain path, or with an empty one, is left out with a
// warning, and its targets have no tool.
TEST_F(ManualScenario, ToolWithoutToolchainPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"gnu-gcc", "GNUMatcher"}, {"llvm-clang", "LLVMMatcher"}, {"c3c", "C3Matcher"}};
    for (const auto& [type, matcher] : cases) {
        for (const std::string path : {"", " toolchain_path = \"\""}) {
            writeProject("t: { C_FILES = P\"(a.c)\" C3_FILES = P\"(a.c3)\" }\n",
                         "tools { t { tool_type = \"" + std::string(type) + "\"" + path + " } }\n");
            const RunResult run = tolm({});
            EXPECT_EQ(run.exitCode, 1) << type;
            EXPECT_TRUE(hasLine(run.out, std::string(matcher) + " requires want variable 'toolchain_path'.\n"))
                << type << path << "\n" << run.out;
            EXPECT_TRUE(hasLine(run.out, "Error: No tool to build app::t.\n")) << run.out;
        }
    }
}

// A created project lists its units in name order, and the first is the main unit: a unit in a
// subdirectory may come first. Moving an entry to the top makes it the main unit.
TEST_F(ManualScenario, CreatedProjectsMainUnit) {
    write("tolm.txt", "unit zeta\nz: { cmdline = \"echo zeta\" }\n");
    write("sub/tolm.txt", "unit alpha\na: { cmdline = \"echo alpha\" }\n");
    ASSERT_EQ(tolm({"--create-project"}).exitCode, 0);
    EXPECT_EQ(tolm({"-u"}).out, "alpha\nzeta\n");
    EXPECT_TRUE(hasLine(tolm({}).out, "alpha\n"));
    write(".tolm_project.txt", "name x\nunits {\n  zeta { \"tolm.txt\" }\n  alpha { \"sub/tolm.txt\" }\n}\n");
    EXPECT_TRUE(hasLine(tolm({}).out, "zeta\n"));
}

// At -v 0 every tool says whether it can build the target; only the winner's score is printed.
TEST_F(ManualScenario, LowestVerbosityShowsOnlyTheWinnersScore) {
    writeProject("t: { C_FILES = P\"(a.c)\" C_FLAGS = \"-c\" }\n",
                 "tools {\n  a { tool_type = \"gnu-gcc\" toolchain_path = \"/usr/bin\" }\n"
                 "  b { tool_type = \"gnu-gcc\" toolchain_path = \"/usr/bin\" }\n}\n");
    write("a.c", "int a;\n");
    const RunResult run = tolm({"-v", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const char* tool : {"a", "b"})
        EXPECT_TRUE(hasLine(run.out, "[app::t] demo/" + std::string(tool) + "::match - result.note: BuildPossible\n"))
            << run.out;
    int scores = 0;
    for (const std::string& line : linesOf(run.out)) scores += line.find("score") != std::string::npos;
    EXPECT_EQ(scores, 1) << run.out;
    EXPECT_NE(run.out.find("[app::t] Best registered tool: demo/a, score: "), std::string::npos);
}

// A command's program takes its arguments and the environment up to ARG_MAX bytes in all, counting
// a pointer for each argument: just below runs, just above fails with the system's message.
TEST_F(ManualScenario, LongestCommandTheSystemTakes) {
    const long limit = sysconf(_SC_ARG_MAX);
    ASSERT_GT(limit, 0);
    const std::string word(999, 'x');
    const auto commandOf = [&](long bytes) {
        std::string line = "/bin/true";
        for (long used = 0; used < bytes; used += static_cast<long>(word.size() + 1 + sizeof(char*)))
            line += " " + word;
        return line;
    };
    writeProject("fits: { cmdline = \"" + commandOf(limit * 9 / 10) + "\" }\n" +
                 "too_long: { cmdline = \"" + commandOf(limit + limit / 10) + "\" }\n");
    EXPECT_EQ(tolm({"-v", "6", "fits"}).exitCode, 0);
    const RunResult tooLong = tolm({"-v", "6", "too_long"});
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_NE(tooLong.err.find("Argument list too long"), std::string::npos) << tooLong.err.substr(0, 300);
}

}  // namespace
