// Builds with the real binary: "command" targets, their dependencies and the
// cache, as a user runs them in a project.
//
// Within one run the cache lives in memory, so a target reached twice (a
// diamond) shows what a second build of an unchanged target does. The tests
// marked "across runs" carry the cache from one run to the next in the cache
// file.

#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

using Scenario::RunResult;

class BuildScenario : public TolmScenario {
protected:
    // Project "demo" with the one unit file given.
    void writeProject(const std::string& unitFile) {
        write(".tolm_project.txt", "name demo\nunits {\n  main { \"tolm.txt\" }\n}\n");
        write("tolm.txt", unitFile);
    }
    // How often the output shows the line for the target of unit main (or of `unit`).
    static int runs(const RunResult& run, const std::string& target, const std::string& text,
                    const std::string& unit = "main") {
        const std::string line = "\n[" + unit + "::" + target + "] " + text + "\n";
        int count = 0;
        for (std::size_t at = ("\n" + run.out).find(line); at != std::string::npos; at = ("\n" + run.out).find(line, at + 1))
            ++count;
        return count;
    }
};

// A cached command target built once is not built again in the same run; every line names its
// target, and a command's own output follows the line that announces it. Across runs an unchanged
// target is not rebuilt; a touched input or a deleted output rebuilds it.
TEST_F(BuildScenario, DiamondAndRebuildsAcrossRuns) {
    writeProject(R"unit(unit main
all: a b { cmdline = "true" }
a: lib { cmdline = "echo a" }
b: lib { cmdline = "echo b" }
lib: { ^out = P"(lib.txt)" src = P"(lib.in)" cmdline = "cat lib.in > lib.txt" }
)unit");
    write("lib.in", "one\n");
    const RunResult run = tolm({"all"});
    EXPECT_EQ(run.out,
              "Starting build\n[main::all] Visiting target\n[main::a] Visiting target\n[main::lib] Visiting target\n"
              "[main::lib] Starting build job\n[main::lib] cat lib.in > lib.txt\n[main::lib] Build done\n"
              "[main::a] Starting build job\n[main::a] echo a\na\n[main::a] Build done\n[main::b] Visiting target\n"
              "[main::lib] Visiting target\n[main::lib] Build done\n[main::b] Starting build job\n[main::b] echo b\n"
              "b\n[main::b] Build done\n[main::all] Starting build job\n[main::all] true\n[main::all] Build done\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(contentOf(at("lib.txt")), "one\n");

    // Starting again from an empty cache, the trace shows the claim and the hit.
    std::filesystem::remove(at(".tolm_cache"));
    const RunResult traced = tolm({"-v", "1", "all"});
    EXPECT_TRUE(hasLine(traced.out, "[main::lib] Cache claimed for 'main::lib'.\n")) << traced.out;
    EXPECT_TRUE(hasLine(traced.out, "[main::lib] Cache hit for 'main::lib'.\n"));
    EXPECT_TRUE(hasLine(traced.out, "[main::a] Target 'main::a' not suitable for caching. Using the original context.\n"));

    EXPECT_EQ(runs(tolm({"lib"}), "lib", "cat lib.in > lib.txt"), 0);
    write("lib.in", "two\n");
    makeOlder("lib.txt", "lib.in");
    EXPECT_EQ(runs(tolm({"lib"}), "lib", "cat lib.in > lib.txt"), 1);
    EXPECT_EQ(contentOf(at("lib.txt")), "two\n");
    EXPECT_EQ(runs(tolm({"lib"}), "lib", "cat lib.in > lib.txt"), 0);

    std::filesystem::remove(at("lib.txt"));
    EXPECT_EQ(runs(tolm({"lib"}), "lib", "cat lib.in > lib.txt"), 1);
    EXPECT_EQ(contentOf(at("lib.txt")), "two\n");
}

// Across runs: a target that receives its dependencies' outputs (context values, one nested
// under another unit's name) is a hit when nothing changed. A dependency rebuilt in the same run,
// or in a run of its own before, rebuilds it: the files in those outputs are inputs of its.
TEST_F(BuildScenario, DependantsAcrossRuns) {
    write(".tolm_project.txt", "name demo\nunits {\n  main { \"tolm.txt\" }\n  u { \"u.txt\" }\n}\n");
    write("tolm.txt", R"unit(unit main
app: lib u::gen { ^bin = P"(app.txt)" cmdline = "cat lib.txt gen.txt > app.txt" }
lib: { ^out = P"(lib.txt)" src = P"(lib.in)" cmdline = "cat lib.in > lib.txt" }
)unit");
    write("u.txt", "unit u\ngen: { ^out = P\"(gen.txt)\" cmdline = \"echo gen > gen.txt\" }\n");
    write("lib.in", "one\n");
    ASSERT_EQ(tolm({"app"}).exitCode, 0);
    const RunResult unchanged = tolm({"app"});
    EXPECT_EQ(unchanged.exitCode, 0);
    EXPECT_EQ(unchanged.out.find("Starting build job"), std::string::npos) << unchanged.out;

    write("lib.in", "two\n");
    makeOlder("lib.txt", "lib.in");
    const RunResult rebuilt = tolm({"app"});
    EXPECT_EQ(runs(rebuilt, "lib", "cat lib.in > lib.txt"), 1) << rebuilt.out;
    EXPECT_EQ(runs(rebuilt, "gen", "echo gen > gen.txt", "u"), 0);
    EXPECT_EQ(runs(rebuilt, "app", "cat lib.txt gen.txt > app.txt"), 1);
    EXPECT_EQ(contentOf(at("app.txt")), "two\ngen\n");

    std::filesystem::remove(at("gen.txt"));
    EXPECT_EQ(runs(tolm({"u::gen"}), "gen", "echo gen > gen.txt", "u"), 1);
    const RunResult later = tolm({"app"});
    EXPECT_EQ(runs(later, "gen", "echo gen > gen.txt", "u"), 0) << later.out;
    EXPECT_EQ(runs(later, "lib", "cat lib.in > lib.txt"), 0);
    EXPECT_EQ(runs(later, "app", "cat lib.txt gen.txt > app.txt"), 1);
}

// Across runs: a command that fails after writing part of its declared output leaves none of it, so
// the next run runs it again rather than taking the half file for built. A declared output it did
// not write stays.
TEST_F(BuildScenario, FailedCommandLeavesNoOutput) {
    writeProject("unit main\ngen: { cmdline = \"sh gen.sh in.txt > out.txt\" src = P\"(in.txt)\" ^out = P\"(out.txt)\" "
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
        EXPECT_EQ(runs(failed, "gen", "sh gen.sh in.txt > out.txt"), 1) << attempt << failed.out;
        EXPECT_FALSE(std::filesystem::exists(at("out.txt"))) << attempt;
        EXPECT_EQ(contentOf(at("notes.txt")), "mine\n");
    }
    write("in.txt", "good\n");
    EXPECT_EQ(tolm({"gen"}).exitCode, 0);
    EXPECT_EQ(contentOf(at("out.txt")), "half\nwhole\n");
}

// Across runs: cached values compare exactly. Letter case counts, and a value of another
// type is a change, never a failure.
TEST_F(BuildScenario, ExactComparisonAcrossRuns) {
    writeProject("unit main\nlib: { ^out = P\"(lib.txt)\" cmdline = \"echo ${FLAGS} > lib.txt\" }\n");
    ASSERT_EQ(tolm({"lib", "FLAGS=\"-DFOO\""}).exitCode, 0);
    const struct {
        const char* word;
        const char* command;
        int runs;
    } cases[] = {
        {"FLAGS=\"-DFOO\"", "echo -DFOO > lib.txt", 0}, {"FLAGS=\"-Dfoo\"", "echo -Dfoo > lib.txt", 1},
        {"FLAGS=2", "echo 2 > lib.txt", 1},            {"FLAGS=\"2\"", "echo 2 > lib.txt", 1},
        {"FLAGS=\"2\"", "echo 2 > lib.txt", 0},
        // A double quote reaches the command through the text; stored as a raw text, it still
        // compares equal.
        {"FLAGS=R\"(-DV=\"1\")\"", "echo -DV=\"1\" > lib.txt", 1},
        {"FLAGS=R\"(-DV=\"1\")\"", "echo -DV=\"1\" > lib.txt", 0},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm({"lib", c.word});
        EXPECT_EQ(run.exitCode, 0) << c.word << run.out;
        EXPECT_EQ(runs(run, "lib", c.command), c.runs) << c.word << run.out;
    }
}

// Aliases, parameters, dynamic dependencies (words, words with parameters, a context value
// handing its values on) and appended outputs all reach the target that uses them.
TEST_F(BuildScenario, DependencyChains) {
    writeProject(R"unit(unit main
app: lib => L gen(flag) @more @deps +> all +stamp @parts(.) {
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
    for (const char* line : {"[main::gen] echo gen x\ngen x\n", "[main::gen] echo gen y\ngen y\n",
                             "[main::show] echo show A\nshow A\n"})
        EXPECT_TRUE(hasLine(run.out, line)) << line;
    // Both instances of gen land under the same name: the second one is warned about.
    EXPECT_TRUE(hasLine(run.out,
                        "[main::app] Dependency output 'gen' collides with an existing context variable. Names are "
                        "case-insensitive; this may make dependency output ambiguous.\n"));
}

// What stops a build: a loop (found at its first repetition, the main target included), a
// target no tool can build, a malformed dynamic dependency, a command that cannot start; variables
// that cannot be resolved (another unit's output read without the unit's name, an index that does
// not fit the value, a cycle), each said in words.
TEST_F(BuildScenario, BuildErrors) {
    write(".tolm_project.txt", "name demo\nunits {\n  main { \"tolm.txt\" }\n  core { \"core.txt\" }\n}\n");
    write("core.txt", "unit core\nlibz: { ^lib = P\"(libz.a)\" NO_TOOL }\n");
    write("tolm.txt", R"unit(unit main
app: lib { cmdline = "true" }
lib: main::app { cmdline = "true" }
self: self { cmdline = "true" }
bare: { X = "1" }
macro: @deps { deps = "lib()" cmdline = "true" }
nodir: { cmdline = "true" cwd = "missing" }
example: core::libz { cmdline = libz.lib }
range: { X = "abc" cmdline = X[5:7] }
position: { parts = { show = "A" } cmdline = parts[0] }
cycle: { X = Y Y = X cmdline = X }
)unit");
    const struct {
        const char* target;
        std::string out;
    } cases[] = {
        {"app",
         "Starting build\n[main::app] Visiting target\n[main::lib] Visiting target\n"
         "Error: Loop detected! Causing term: 'demo/main::app'\n  loop goes as follows: demo/main::lib <- demo/main::app <- \n"},
        {"self",
         "Starting build\n[main::self] Visiting target\n"
         "Error: Loop detected! Causing term: 'demo/main::self'\n  loop goes as follows: demo/main::self <- \n"},
        {"bare", "Starting build\n[main::bare] Visiting target\nError: No tool to build main::bare.\n"},
        {"macro",
         "Starting build\n[main::macro] Visiting target\nError: Invalid dynamic dependency 'lib()': empty parameter\n"},
        {"nodir",
         "Starting build\n[main::nodir] Visiting target\n[main::nodir] Starting build job\n[main::nodir] true\n"
         "[main::nodir] Unable to start the command of 'main::nodir': cannot change to directory 'missing': No such "
         "file or directory\n[main::nodir] Build of main::nodir failed. Exiting..\nError: Build failed.\n"},
        {"example", "Starting build\n[main::example] Visiting target\n[core::libz] Visiting target\n"
                    "[core::libz] Starting build job\n[core::libz] Build done\n"
                    "Variable 'libz.lib' not found in target 'main::example'.\n"},
        {"range", "Starting build\n[main::range] Visiting target\n"
                  "Variable \"abc\" cannot be indexed with [5:7:1]: the range starts past its end.\n"},
        {"position", "Starting build\n[main::position] Visiting target\n"
                     "Cannot index a context value with [0]; select one of its variables (show) by name.\n"},
        {"cycle", "Starting build\n[main::cycle] Visiting target\n"
                  "Variable 'X' refers to itself, directly or through others.\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm({c.target});
        EXPECT_EQ(run.out, c.out) << c.target;
        EXPECT_EQ(run.exitCode, 1) << c.target;
    }
}

// A chain of dependencies deeper than the walk goes fails, before any command runs, naming the depth
// and the target where it stopped.
TEST_F(BuildScenario, ChainTooDeep) {
    std::string unit = "unit main\n";
    for (int i = 1; i < 8000; ++i) unit += "t" + std::to_string(i) + ": t" + std::to_string(i + 1) + " { cmdline = \"true\" }\n";
    writeProject(unit + "t8000: { cmdline = \"true\" }\n");
    const RunResult run = tolm({"-v", "6", "t1"});
    EXPECT_EQ(run.out, "Error: Dependency chain too deep at 'demo/main::t2001': depth 2001 is more than 2000 targets.\n");
    EXPECT_EQ(run.exitCode, 1);
}

// "-o" writes one line per exported variable, the same bytes on every run; a file that cannot
// be written fails the run.
TEST_F(BuildScenario, OutputsFile) {
    writeProject("unit main\nlib: { ^out = P\"(lib.txt)\" ^names = [\"b\", \"a\"] ^empty cmdline = \"echo > lib.txt\" }\n");
    ASSERT_EQ(tolm({"-o", "outputs.txt", "lib"}).exitCode, 0);
    const std::string first = contentOf(at("outputs.txt"));
    EXPECT_EQ(first, "names = [ \"b\", \"a\" ]\nout = P\"" + at("lib.txt") + "\"\n");
    ASSERT_EQ(tolm({"-o", "outputs.txt", "lib"}).exitCode, 0);
    EXPECT_EQ(contentOf(at("outputs.txt")), first);

    std::filesystem::create_directory(at("taken"));
    const RunResult blocked = tolm({"-o", "taken", "lib"});
    EXPECT_TRUE(hasLine(blocked.out, "Error: Unable to write outputs file 'taken'.\n")) << blocked.out;
    EXPECT_EQ(blocked.exitCode, 1);
}

}  // namespace
