// Builds with the real binary: "command" targets, their dependencies and the
// cache, as a user runs them in a project.
//
// Within one run a target reached twice (a diamond) is walked once: the later
// reference prints nothing and reuses the outputs of the first visit. The
// tests marked "across runs" carry the cache from one run to the next in the
// cache file.

#include <chrono>
#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

using BuildScenario = TolmScenario;

// A target reached twice in one run is walked and built once, the second reference printing
// nothing; every line names its target, and a command's own output follows the line that announces it. Across runs an unchanged
// target is not rebuilt; a touched input or a deleted output rebuilds it, and its dependants: the
// files in a dependency's outputs (context values, one nested under another unit's name) are
// inputs of the targets that receive them, whether the dependency was rebuilt in the same run or
// in a run of its own before.
TEST_F(BuildScenario, CacheWithinAndAcrossRuns) {
    write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } u { \"u.txt\" } }\n");
    write("tolm.txt", R"unit(unit app
all: a b { cmdline = "true" }
a: lib { cmdline = "echo a" }
b: lib { cmdline = "echo b" }
lib: { ^out = P"(lib.txt)" src = P"(lib.in)" cmdline = "cat lib.in > lib.txt" }
dep: lib u::gen { ^bin = P"(dep.txt)" cmdline = "cat lib.txt gen.txt > dep.txt" }
)unit");
    write("u.txt", "unit u\ngen: { ^out = P\"(gen.txt)\" cmdline = \"echo gen > gen.txt\" }\n");
    write("lib.in", "one\n");
    const RunResult run = tolm({"all"});
    EXPECT_EQ(run.out,
              "Starting build\n[app::all] Visiting target\n[app::a] Visiting target\n[app::lib] Visiting target\n"
              "[app::lib] Starting build job\n[app::lib] cat lib.in > lib.txt\n[app::lib] Build done\n"
              "[app::a] Starting build job\n[app::a] echo a\na\n[app::a] Build done\n[app::b] Visiting target\n"
              "[app::b] Starting build job\n[app::b] echo b\n"
              "b\n[app::b] Build done\n[app::all] Starting build job\n[app::all] true\n[app::all] Build done\n");
    EXPECT_EQ(run.exitCode, 0);

    // Starting again from an empty cache, the trace shows the claim, and no second look at the
    // cache for the second reference.
    std::filesystem::remove(at(".tolm_cache"));
    const RunResult traced = tolm({"-v", "1", "all"});
    EXPECT_TRUE(hasLine(traced.out, "[app::lib] Cache claimed for 'app::lib'.\n")) << traced.out;
    EXPECT_EQ(count(traced, "[app::lib] Visiting target"), 1);
    EXPECT_FALSE(hasLine(traced.out, "[app::lib] Cache hit for 'app::lib'.\n"));
    EXPECT_TRUE(hasLine(traced.out, "[app::a] Target 'app::a' not suitable for caching. Using the original context.\n"));

    ASSERT_EQ(tolm({"dep"}).exitCode, 0);
    EXPECT_TRUE(ranNothing(tolm({"dep"})));
    const std::string lib = "[app::lib] cat lib.in > lib.txt", gen = "[u::gen] echo gen > gen.txt",
                      dep = "[app::dep] cat lib.txt gen.txt > dep.txt";
    write("lib.in", "two\n");
    makeOlder("lib.txt", "lib.in");
    const RunResult rebuilt = tolm({"dep"});
    EXPECT_EQ(count(rebuilt, lib), 1) << rebuilt.out;
    EXPECT_EQ(count(rebuilt, gen), 0);
    EXPECT_EQ(count(rebuilt, dep), 1);
    EXPECT_EQ(contentOf(at("dep.txt")), "two\ngen\n");
    EXPECT_TRUE(ranNothing(tolm({"dep"})));

    std::filesystem::remove(at("gen.txt"));
    EXPECT_EQ(count(tolm({"u::gen"}), gen), 1);
    const RunResult later = tolm({"dep"});
    EXPECT_EQ(count(later, gen), 0) << later.out;
    EXPECT_EQ(count(later, lib), 0);
    EXPECT_EQ(count(later, dep), 1);
}

// Without a project file the unit file alone is built, its unnamed unit as unit "1": the built-in
// variables and then the command-line assignments reach its targets, "-d" prints them as the
// implicit context, and the cache file beside the unit file makes the next run do nothing. In
// command mode the assignments are kept apart and printed after it.
TEST_F(BuildScenario, BuildWithoutProjectFile) {
    write("tolm.txt", "other: { cmdline = \"false\" }\n"
                      "app: { ^bin = P\"(app.txt)\" cmdline = \"echo ${os_family} ${output_def_dir} > app.txt\" }\n");
    const std::string here = work_.path().string();
    const RunResult run = tolm({"-d", "app", "output_def_dir=\"bin\""});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(run.out.starts_with("Starting build\nImplicit context:\n{\ncwd ?= \"" + here + "\"\n")) << run.out;
    const std::string lines[] = {"os_family ?= \"unix\"\noutput_def_dir = \"bin\"\nproject_root = \"" + here + "\"\n",
                                 "[1::app] echo unix bin > app.txt\n[1::app] Build done\n"};
    for (const std::string& line : lines) EXPECT_TRUE(hasLine(run.out, line)) << line << run.out;
    EXPECT_EQ(contentOf(at("app.txt")), "unix bin\n");
    const RunResult again = tolm({"app", "output_def_dir=\"bin\""});
    EXPECT_TRUE(ranNothing(again)) << again.out;

    const RunResult commandMode = tolm({"-c", "-d", "output_def_dir=\"bin\""});
    EXPECT_TRUE(hasLine(commandMode.out, "output_def_dir = \"out\"\nproject_root = \"\"\n")) << commandMode.out;
    EXPECT_TRUE(hasLine(commandMode.out, "}\n\n{\noutput_def_dir = \"bin\"\n}\n\n")) << commandMode.out;
}

// Across runs: a command that fails after writing part of its declared output leaves none of it, so
// the next run runs it again rather than taking the half file for built. A declared output it did
// not write stays.
TEST_F(BuildScenario, FailedCommandLeavesNoOutput) {
    writeProject("gen: { cmdline = \"sh gen.sh in.txt > out.txt\" src = P\"(in.txt)\" ^out = P\"(out.txt)\" "
                 "^notes = P\"(notes.txt)\" }\n");
    write("notes.txt", "mine\n");
    write("gen.sh", "echo half; grep -q fail \"$1\" && exit 3; echo whole\n");
    write("in.txt", "good\n");
    ASSERT_EQ(tolm({"gen"}).exitCode, 0);
    write("in.txt", "fail\n");
    makeOlder("out.txt", "in.txt");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const RunResult failed = tolm({"gen"});
        EXPECT_EQ(failed.exitCode, 1);
        EXPECT_EQ(count(failed, "[app::gen] sh gen.sh in.txt > out.txt"), 1) << attempt << failed.out;
        EXPECT_FALSE(std::filesystem::exists(at("out.txt"))) << attempt;
        EXPECT_EQ(contentOf(at("notes.txt")), "mine\n");
    }
    write("in.txt", "good\n");
    EXPECT_EQ(tolm({"gen"}).exitCode, 0);
    EXPECT_EQ(contentOf(at("out.txt")), "half\nwhole\n");
}

// Across runs: cached values compare exactly. Letter case counts, a value of another type is a
// change, never a failure, and a text holding a double quote (stored raw) compares equal. "-o"
// writes one line per exported variable, the same bytes on every run; a file that cannot be
// written fails the run.
TEST_F(BuildScenario, CachedValuesAndOutputsFile) {
    writeProject("lib: { ^out = P\"(lib.txt)\" ^names = [\"b\", \"a\"] ^empty cmdline = \"echo ${FLAGS} > lib.txt\" }\n");
    const struct {
        const char* word;
        const char* command;
        int runs;
    } cases[] = {
        {"FLAGS=\"-DFOO\"", "echo -DFOO > lib.txt", 1}, {"FLAGS=\"-DFOO\"", "echo -DFOO > lib.txt", 0},
        {"FLAGS=\"-Dfoo\"", "echo -Dfoo > lib.txt", 1}, {"FLAGS=2", "echo 2 > lib.txt", 1},
        {"FLAGS=\"2\"", "echo 2 > lib.txt", 1},         {"FLAGS=\"2\"", "echo 2 > lib.txt", 0},
        {"FLAGS=R\"(-DV=\"1\")\"", "echo -DV=\"1\" > lib.txt", 1},
        {"FLAGS=R\"(-DV=\"1\")\"", "echo -DV=\"1\" > lib.txt", 0},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm({"-o", "outputs.txt", "lib", c.word});
        EXPECT_EQ(run.exitCode, 0) << c.word << run.out;
        EXPECT_EQ(count(run, std::string("[app::lib] ") + c.command), c.runs) << c.word << run.out;
        EXPECT_EQ(contentOf(at("outputs.txt")), "names = [ \"b\", \"a\" ]\nout = P\"" + at("lib.txt") + "\"\n");
    }

    std::filesystem::create_directory(at("taken"));
    const RunResult blocked = tolm({"-o", "taken", "lib"});
    EXPECT_TRUE(hasLine(blocked.out, "Error: Unable to write outputs file 'taken'.\n")) << blocked.out;
    EXPECT_EQ(blocked.exitCode, 1);
}

// Aliases, parameters, dynamic dependencies (words, words with parameters, a context value
// handing its values on) and appended outputs all reach the target that uses them.
TEST_F(BuildScenario, DependencyChains) {
    writeProject(R"unit(app: lib => L gen(flag) @more @deps +> all +stamp @parts(.) {
  flag = "x"
  more = "gen(flag2)"
  flag2 = "y"
  deps = "g1 g2"
  parts = { show = "A" }
  cmdline = "echo ${L.out} ${all.label} ${when} > app.txt"
}
lib: { ^out = P"(lib.txt)" cmdline = "echo lib > lib.txt" }
gen(p): { cmdline = "echo gen ${p}" }
g1: { ^label = "one" cmdline = "true" }
g2: { ^label = "two" cmdline = "true" }
stamp: { ^when = "now" cmdline = "true" }
show(v): { cmdline = "echo show ${v}" }
)unit");
    const RunResult run = tolm({"app"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(contentOf(at("app.txt")), at("lib.txt") + " one two now\n");
    for (const char* line : {"[app::gen] echo gen x\ngen x\n", "[app::gen] echo gen y\ngen y\n",
                             "[app::show] echo show A\nshow A\n"})
        EXPECT_TRUE(hasLine(run.out, line)) << line;
    // Both instances of gen land under the same name: the second one is warned about.
    EXPECT_TRUE(hasLine(run.out,
                        "[app::app] Dependency output 'gen' collides with an existing context variable. Names are "
                        "case-insensitive; this may make dependency output ambiguous.\n"));
}

// What a profile or a "+" dependency adds to a variable the target sets through another variable is
// added once that variable is resolved, and exported as when the target sets a text.
TEST_F(BuildScenario, ImplicitValuesJoinReferencedVariables) {
    write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } }\nprofiles { default { X += \"b\" } }\n");
    write("tolm.txt", R"unit(unit app
byReference: +lib { Y = "a" ^X = Y Z = "z" ^OUT = Z cmdline = "true" }
byText: +lib { ^X = "a" ^OUT = "z" cmdline = "true" }
lib: { ^OUT = "lib" cmdline = "true" }
)unit");
    for (const char* target : {"byReference", "byText"}) {
        const RunResult run = tolm({"-v", "1", "-o", "outputs.txt", target});
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_EQ(contentOf(at("outputs.txt")), "OUT = \"z lib\"\nX = \"a\"\n") << target;
        const std::string prefix = "[app::" + std::string(target) + "] Second try adding implicit ";
        const bool late = std::string(target) == "byReference";
        EXPECT_EQ(hasLine(run.out, prefix + "assignment \"b\".\n"), late) << run.out;
        EXPECT_EQ(hasLine(run.out, prefix + "append \"lib\".\n"), late) << run.out;
    }
}

// What stops a build: a loop (found at its first repetition, the main target included), a
// target no tool can build, a malformed dynamic dependency, a command that cannot start, a chain
// of dependencies deeper than the walk goes (before any command runs, whatever stack tolm was
// given); variables that cannot be resolved (another unit's output read without the unit's name,
// an index that does not fit the value, a cycle, an output a dependency does not have), each said
// in words.
TEST_F(BuildScenario, BuildErrors) {
    write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } core { \"core.txt\" } }\n");
    write("core.txt", "unit core\nlibz: { ^lib = P\"(libz.a)\" NO_TOOL }\n");
    const std::string unit = R"unit(unit app
main: lib { cmdline = "true" }
lib: app::main { cmdline = "true" }
self: self { cmdline = "true" }
bare: { X = "1" }
macro: @deps { deps = "lib()" cmdline = "true" }
nodir: { cmdline = "true" cwd = "missing" }
example: core::libz { cmdline = libz.lib }
range: { X = "abc" cmdline = X[5:7] }
position: { parts = { show = "A" } cmdline = parts[0] }
cycle: { X = Y Y = X cmdline = X }
member: plain { cmdline = "true" X = plain.so }
plain: { cmdline = "true" }
t8000: { cmdline = "true" }
)unit";
    write("tolm.txt", unit);
    const struct {
        std::string target;
        std::string out;
    } cases[] = {
        {"main", "[app::lib] Visiting target\nError: Loop detected! Causing term: 'demo/app::main'\n"
                "  loop goes as follows: demo/app::lib <- demo/app::main <- \n"},
        {"self", "Error: Loop detected! Causing term: 'demo/app::self'\n  loop goes as follows: demo/app::self <- \n"},
        {"bare", "Error: No tool to build app::bare.\n"},
        {"macro", "Error: Invalid dynamic dependency 'lib()': empty parameter\n"},
        {"nodir", "[app::nodir] Starting build job\n[app::nodir] true\n[app::nodir] Unable to start the command of "
                  "'app::nodir': cannot change to directory 'missing': No such file or directory\n"
                  "[app::nodir] Build of app::nodir failed. Exiting..\nError: Build failed.\n"},
        {"example", "[core::libz] Visiting target\n[core::libz] Starting build job\n[core::libz] Build done\n"
                    "Error: Variable 'libz.lib' not found in target 'app::example'. Its dependencies' outputs are "
                    "under: core.\n"},
        {"range", "Variable \"abc\" cannot be indexed with [5:7:1]: the range starts past its end.\n"},
        {"position", "Error: Cannot index a context value with [0]; select one of its variables (show) by name.\n"},
        {"cycle", "Variable 'X' refers to itself, directly or through others.\n"},
        {"member", "[app::plain] Visiting target\n[app::plain] Starting build job\n[app::plain] true\n"
                   "[app::plain] Build done\nError: Variable 'plain.so' not found in target 'app::member'. "
                   "Dependency 'plain' has no outputs.\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm({c.target});
        EXPECT_EQ(run.out, "Starting build\n[app::" + c.target + "] Visiting target\n" + c.out) << c.target;
        EXPECT_EQ(run.exitCode, 1) << c.target;
    }
    std::string chain = unit;
    for (int i = 1; i < 8000; ++i)
        chain += "t" + std::to_string(i) + ": t" + std::to_string(i + 1) + " { cmdline = \"true\" }\n";
    write("tolm.txt", chain);
    const RunResult deep = tolm({"-v", "6", "t1"});
    EXPECT_EQ(deep.out, "Error: Dependency chain too deep at 'demo/app::t2001': depth 2001 is more than 2000 targets.\n");
    EXPECT_EQ(deep.exitCode, 1);
    // The walk has a stack of its own: 2000 targets deep it needs more than the 1 MiB tolm is given
    // here. The shell only lowers the limit and then becomes tolm itself.
    const RunResult smallStack = Scenario::runProgram(
        "/bin/sh", {"-c", "ulimit -s 1024 && exec \"$0\" -v 6 t1", TOLM_BINARY}, work_.path(),
        {.home = home_.path().string()});
    EXPECT_EQ(smallStack.out, deep.out);
    EXPECT_EQ(smallStack.exitCode, 1);
}

// A reference that names nothing says the target, the reference as written and what is there:
// the outputs of the dependency it reached (known once that is built), or the targets of the unit
// it names, or the variable that took the unit's name (both known before any command runs).
TEST_F(BuildScenario, FailedReferencesSayWhat) {
    write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } flib { \"f.txt\" } lib { \"l.txt\" } }\n");
    write("f.txt", "unit flib\nlibf: { ^lib = \"f\" cmdline = \"true\" }\n");
    write("l.txt", "unit lib\nlibf: { ^lib = \"l\" cmdline = \"true\" }\n");
    write("tolm.txt", R"unit(unit app
indexed: liba { OBJS = liba.obj[0] cmdline = "true" }
parameter: liba tp(liba.obj) { cmdline = "true" }
misspelt: flib::libf { LIB = flib.libff.lib cmdline = "true" }
clash: lib::libf { LIB = lib.libf.lib cmdline = "true" }
first: liba { LIB = libz.bin cmdline = "true" }
alone: { LIB = libz.bin cmdline = "true" }
firstparameter: liba tp(libz.bin) { cmdline = "true" }
tp(x): { cmdline = "true" }
liba: { ^bin = "b" ^label = "l" cmdline = "true" }
)unit");
    const std::string liba = "[app::liba] Visiting target\n[app::liba] Starting build job\n[app::liba] true\n"
                             "[app::liba] Build done\n";
    const struct {
        std::string target;
        std::string out;
    } cases[] = {
        {"indexed", liba + "Error: Variable 'liba.obj[0]' not found in target 'app::indexed'. Outputs of "
                           "dependency 'liba': bin, label.\n"},
        {"parameter", liba + "Error: Variable 'liba.obj' not found in target 'app::parameter'. Outputs of "
                             "dependency 'liba': bin, label.\n"},
        {"misspelt", "Error: Variable 'flib.libff.lib' not found in target 'app::misspelt'. Targets of unit "
                     "'flib' it depends on: libf.\n"},
        {"clash", "Error: Variable 'lib.libf.lib' not found in target 'app::clash'. Unit name 'lib' of "
                  "dependency 'lib::libf' clashes with variable 'LIB'; the variable was taken.\n"},
        {"first", liba + "Error: Variable 'libz.bin' not found in target 'app::first'. Its dependencies' outputs "
                         "are under: liba.\n"},
        {"alone", "Error: Variable 'libz.bin' not found in target 'app::alone'. It has no dependency outputs.\n"},
        {"firstparameter", liba + "Error: Variable 'libz.bin' not found in target 'app::firstparameter'. Its "
                                  "dependencies' outputs are under: liba.\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm({c.target});
        EXPECT_EQ(run.out, "Starting build\n[app::" + c.target + "] Visiting target\n" + c.out) << c.target;
        EXPECT_EQ(run.exitCode, 1) << c.target;
    }
}

// A dependency whose outputs would go in under a variable that cannot take them (a text, a
// reference, a number) is refused before anything is built, naming the dependency, the variable
// and what to rename; one whose variable has no value, or holds a list or a context, still builds
// with the collision warning.
TEST_F(BuildScenario, DependencyNamedLikeItsVariable) {
    write(".tolm_project.txt",
          "name demo\n" + tool("gnu-gcc") + "units { app { \"tolm.txt\" } other { \"o.txt\" } }\n");
    write("o.txt", "unit other\nobjs: { C_FILES = P\"(a.c)\" C_FLAGS = \"-c\" }\n");
    write("tolm.txt", R"unit(unit app
objs: { C_FILES = P"(a.c)" C_FLAGS = "-c" }
lib: { C_FILES = P"(a.c)" C_FLAGS = "-c" }
named: objs { OBJS = objs.objs }
number: objs { OBJS = 3 }
aliased: lib => objs { OBJS = objs.objs }
merged: lib +> objs { OBJS = objs.objs }
fromunit: other::objs { cmdline = "true" other = "o" }
extra: { cmdline = "true" }
declared: extra { cmdline = "true" EXTRA }
listed: extra { cmdline = "true" EXTRA = ["x"] }
held: extra { cmdline = "true" EXTRA = { x = "1" } }
)unit");
    write("a.c", "int f(void) { return 0; }\n");
    const std::string named = "has the name of its variable 'OBJS' (names are case-insensitive); ";
    const struct {
        std::string target;
        std::string error;  // empty: builds
    } cases[] = {
        {"named", "Dependency 'objs' of target 'app::named' " + named + "rename the target 'objs'."},
        {"number", "Dependency 'objs' of target 'app::number' " + named + "rename the target 'objs'."},
        {"aliased", "Alias 'objs' of dependency 'lib' of target 'app::aliased' " + named + "choose another alias."},
        {"merged", "Alias 'objs' of dependency 'lib' of target 'app::merged' " + named + "choose another alias."},
        {"fromunit", "Unit name 'other' of dependency 'other::objs' of target 'app::fromunit' has the name of its "
                     "variable 'other'; rename the variable or the unit."},
        {"declared", ""},
        {"listed", ""},
        {"held", ""},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm({c.target});
        if (c.error.empty()) {
            EXPECT_EQ(run.exitCode, 0) << c.target << "\n" << run.out;
            EXPECT_TRUE(hasLine(run.out, "[app::" + c.target + "] Dependency output 'extra' collides with an existing "
                                         "context variable. Names are case-insensitive; this may make dependency "
                                         "output ambiguous.\n"))
                << run.out;
            continue;
        }
        EXPECT_EQ(run.out, "Starting build\n[app::" + c.target + "] Visiting target\nError: " + c.error + "\n")
            << c.target;
        EXPECT_EQ(run.exitCode, 1) << c.target;
    }
    EXPECT_FALSE(std::filesystem::exists(at("out")));
}

// Layered targets, each depending on the next two: every one is walked and built once, so the
// 32 layers build, and find nothing to do the next time, well within a second each (the bound
// is generous; a walk along every path would take hours). "timeout" ends such a walk.
TEST_F(BuildScenario, LayeredTargetsWalkedOnce) {
    constexpr int kLayers = 32;
    std::string targets;
    for (int i = 0; i < kLayers; ++i) {
        const std::string n = std::to_string(i);
        targets += "t" + n + ":";
        for (int next : {i + 1, i + 2})
            if (next < kLayers) targets += " t" + std::to_string(next);
        // Each file dated before the ones that depend on it, so no two share a clock tick.
        targets += " { ^out = P\"(t" + n + ".txt)\" cmdline = \"echo " + n + " > t" + n + ".txt; touch -d @" +
                   std::to_string(1000000000 - i) + " t" + n + ".txt\" }\n";
    }
    writeProject(targets);
    for (const char* run : {"built", "no-op"}) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult result =
            Scenario::runProgram("/usr/bin/timeout", {"60", TOLM_BINARY, "t0"}, work_.path(), {.home = home_.path().string()});
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_EQ(result.exitCode, 0) << run << "\n" << result.out;
        EXPECT_LT(took, std::chrono::seconds(5)) << run;
        int visits = 0;
        for (const std::string& line : linesOf(result.out)) visits += line.ends_with("] Visiting target");
        EXPECT_EQ(visits, kLayers) << run;
        EXPECT_EQ(count(result, "[app::t31] Starting build job"), std::string(run) == "built" ? 1 : 0) << result.out;
    }
    EXPECT_TRUE(ranNothing(tolm({"t0"})));
}

}  // namespace
