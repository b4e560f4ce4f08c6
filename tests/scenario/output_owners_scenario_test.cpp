// Two targets of one run whose outputs name the same file, with the real gcc
// and clang: the run stops before the second one's command, so nothing is
// linked with the wrong object. Targets of two projects are two owners; a file
// a target receives from a dependency's outputs is not the target's to write,
// a path it makes of a dependency's text is. A failed job removes neither a
// received file nor one its target reads.

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <string>

#include "scenario/tolm_scenario.h"
#include "support/process_watch.h"

namespace {

constexpr const char* kLib = "lib: { cmdline = \"echo L > lib.txt\" ^libout = P\"(lib.txt)\" }\n";

TEST_F(TolmScenario, TwoTargetsWritingOneFileStopTheRun) {
    writeProject("prog: ta tb { C_FILES = P\"(m.c)\" OBJS = ta.objs OUTPUT_DIR = P\"(bin)\" }\n"
                 "ta: { C_FILES = P\"(a/x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n"
                 "tb: { C_FILES = P\"(b/x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n",
                 "tools {\n  clang { tool_type = \"llvm-clang\" toolchain_path = \"/usr/bin\" !LLVM }\n"
                 "  gcc { tool_type = \"gnu-gcc\" toolchain_path = \"/usr/bin\" }\n}\n");
    write("a/x.c", "int x(void) { return 1; }\n");
    write("b/x.c", "int x(void) { return 2; }\n");
    write("m.c", "int x(void);\nint main(void) { return x(); }\n");
    // Each toolchain twice: ta built by it, then found up to date.
    int builtByTheRightCompiler = 0;
    for (const std::string compiler : {"gcc", "gcc", "clang", "clang"}) {
        const RunResult result = tolm(compiler == "clang" ? Words{"LLVM"} : Words{});
        builtByTheRightCompiler += result.out.find(compiler + "\" ") != std::string::npos;
        EXPECT_EQ(result.exitCode, 1) << result.out;
        EXPECT_TRUE(hasLine(result.out, "Error: Targets 'app::ta' and 'app::tb' would both write '" + at("obj/x.o") +
                                            "'; give one of them another output.\n"))
            << result.out;
        EXPECT_EQ(result.out.find("b/x.c"), std::string::npos) << result.out;
        EXPECT_FALSE(std::filesystem::exists(at("bin/prog")));
    }
    EXPECT_EQ(builtByTheRightCompiler, 2);
}

// A command target given a file by a `+` dependency builds, and the next run does nothing; a
// changed dependency output still runs it again. A failing job of it removes its own half-written
// output but never the file it received.
TEST_F(TolmScenario, FileReceivedThroughPlusIsNotWrittenByTheReceiver) {
    writeProject(std::string("app: +lib { cmdline = \"cat ${libout} > app.txt\" }\n") + kLib);
    const RunResult first = tolm({});
    EXPECT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(contentOf(at("app.txt")), "L\n");
    EXPECT_TRUE(ranNothing(tolm({})));
    writeProject(std::string("app: +lib { cmdline = \"cat ${libout} > app.txt\" }\n") +
                 "lib: { cmdline = \"echo M > lib.txt\" ^libout = P\"(lib.txt)\" }\n");
    const RunResult changed = tolm({});
    EXPECT_EQ(count(changed, "[app::app] Starting build job"), 1) << changed.out;
    EXPECT_EQ(contentOf(at("app.txt")), "M\n");

    writeProject(std::string("app: +lib { ^o = P\"(app.txt)\" cmdline = \"echo X >> lib.txt && echo A > app.txt && "
                             "exit 3\" }\n") + kLib);
    const RunResult failed = tolm({});
    EXPECT_EQ(failed.exitCode, 1) << failed.out;
    EXPECT_EQ(contentOf(at("lib.txt")), "L\nX\n");
    EXPECT_FALSE(std::filesystem::exists(at("app.txt")));
}

// The everyday GNU form, a command that runs the program it depends on, builds and settles. A
// compiler target is given its `+` dependency's object, but compiles that very object itself: it
// is still a second writer.
TEST_F(TolmScenario, PlusDependenciesOfGnuTargets) {
    writeProject("check: +prog { cmdline = \"${binary} > ran.txt\" }\nprog: { C_FILES = P\"(m.c)\" }\n"
                 "twin: +single { C_FILES = P\"(x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n"
                 "single: { C_FILES = P\"(x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n",
                 tool("gnu-gcc"));
    write("m.c", "#include <stdio.h>\nint main(void) { puts(\"ok\"); return 0; }\n");
    write("x.c", "int x;\n");
    const RunResult first = tolm({"check"});
    EXPECT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(contentOf(at("ran.txt")), "ok\n");
    const RunResult second = tolm({"check"});
    EXPECT_TRUE(ranNothing(second)) << second.out;

    const RunResult twin = tolm({"twin"});
    EXPECT_EQ(twin.exitCode, 1) << twin.out;
    EXPECT_TRUE(hasLine(twin.out, "Error: Targets 'app::single' and 'app::twin' would both write '" + at("obj/x.o") +
                                      "'; give one of them another output.\n"))
        << twin.out;
}

// Every other way a dependency's outputs reach a target refuses nothing and settles: a plain
// dependency read as `${lib.libout}`, an aliased one, a merged alias, a template instance given
// the outputs, a `+` dependency of a `+` dependency, and a `+` dependency of an imported project.
// An output variable that passes the dependency's file on, by reference or by its path, makes no
// second writer either.
TEST_F(TolmScenario, DependencyOutputsInEveryFormAreNotSecondWriters) {
    write("other/.tolm_project.txt", "name other\nunits { o { \"tolm.txt\" } }\n");
    write("other/tolm.txt",
          "unit o\nlib: { cwd = P\"(.)\" cmdline = \"echo L > lib.txt\" ^libout = P\"(lib.txt)\" }\n");
    const std::string targets =
        std::string("all: lib plain aliased merged show(lib) twice imported { NO_TOOL }\n") + kLib +
        "plain: lib { ^o = P\"(plain.txt)\" cmdline = \"cat ${lib.libout} > plain.txt\" }\n"
        "aliased: lib => l { ^o = P\"(aliased.txt)\" cmdline = \"cat ${l.libout} > aliased.txt\" }\n"
        "merged: lib +> m { ^o = P\"(merged.txt)\" cmdline = \"cat ${m.libout} > merged.txt\" }\n"
        "show(d): { ^o = P\"(show.txt)\" cmdline = \"cat ${d.libout} > show.txt\" }\n"
        "once: +lib { cmdline = \"cat ${libout} > once.txt\" }\n"
        "twice: +once { cmdline = \"cat ${libout} > twice.txt\" }\n"
        "imported: +other/o::lib { cmdline = \"cat ${libout} > imported.txt\" }\n";
    write(".tolm_project.txt", "name demo\nimport { \"other/.tolm_project.txt\"; }\nunits { app { \"tolm.txt\" } }\n");
    write("tolm.txt", "unit app\n" + targets);
    const RunResult first = tolm({});
    EXPECT_EQ(first.exitCode, 0) << first.out;
    for (const char* file : {"plain.txt", "aliased.txt", "merged.txt", "show.txt", "twice.txt", "imported.txt"})
        EXPECT_EQ(contentOf(at(file)).substr(0, 2), "L\n") << file;
    // The next run starts the main target's NO_TOOL job only.
    const RunResult second = tolm({});
    EXPECT_EQ(second.exitCode, 0) << second.out;
    EXPECT_EQ(count(second, "[app::all] Starting build job"), 1) << second.out;
    EXPECT_EQ(second.out.find("Starting build job"), second.out.rfind("Starting build job")) << second.out;

    write("tolm.txt", "unit app\n" + targets + "own: +lib { ^mine = P\"(lib.txt)\" cmdline = \"true\" }\n" +
                          "passed: lib { ^again = lib.libout cmdline = \"cat ${again} > passed.txt\" }\n" +
                          "both: own passed { NO_TOOL }\n");
    const RunResult passing = tolm({"both"});
    EXPECT_EQ(passing.exitCode, 0) << passing.out;
    EXPECT_EQ(contentOf(at("passed.txt")), "L\n");
    EXPECT_EQ(contentOf(at("lib.txt")), "L\n");
    const RunResult settled = tolm({"both"});
    EXPECT_EQ(settled.exitCode, 0) << settled.out;
    EXPECT_EQ(count(settled, "[app::both] Starting build job"), 1) << settled.out;
    EXPECT_EQ(settled.out.find("Starting build job"), settled.out.rfind("Starting build job")) << settled.out;
}

// Two imported projects' targets of one unit and name compiling into one object: the run stops
// before the second one's compiler, naming both with their projects.
TEST_F(TolmScenario, TargetsOfTwoProjectsWritingOneFileStopTheRun) {
    for (const std::string project : {"p1", "p2"}) {
        write(project + "/.tolm_project.txt",
              "name " + project + "\n" + tool("gnu-gcc") + "units { l { \"tolm.txt\" } }\n");
        write(project + "/tolm.txt",
              "unit l\nlo: { C_FILES = P\"(x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(../shared)\" }\n");
        write(project + "/x.c", "int x_" + project + ";\n");
    }
    write("app/.tolm_project.txt",
          "name app\nimport {\n  \"../p1/.tolm_project.txt\";\n  \"../p2/.tolm_project.txt\";\n}\n" +
              tool("gnu-gcc") + "units { a { \"tolm.txt\" } }\n");
    write("app/tolm.txt", "unit a\nall: p1/l::lo p2/l::lo { NO_TOOL }\n");
    const RunResult run = tolm({}, "app");
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_TRUE(hasLine(run.out, "Error: Targets 'p1/l::lo' and 'p2/l::lo' would both write '" +
                                     at("p2/../shared/x.o") + "'; give one of them another output.\n"))
        << run.out;
    EXPECT_NE(run.out.find(at("p1/x.c")), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(at("p2/x.c")), std::string::npos) << run.out;

    // A project both imports import is one project: its object has one owner, and the build settles.
    for (const std::string project : {"p1", "p2"})
        write(project + "/.tolm_project.txt", "name " + project + "\nimport { \"../base/.tolm_project.txt\"; }\n" +
                                                  tool("gnu-gcc") + "units { l { \"tolm.txt\" } }\n");
    write("base/.tolm_project.txt", "name base\n" + tool("gnu-gcc") + "units { b { \"tolm.txt\" } }\n");
    write("base/tolm.txt", "unit b\nbo: { C_FILES = P\"(x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n");
    write("base/x.c", "int x;\n");
    write("p1/tolm.txt", "unit l\nlo: +base/b::bo { NO_TOOL }\n");
    write("p2/tolm.txt", "unit l\nlo: +base/b::bo { NO_TOOL }\n");
    const RunResult diamond = tolm({}, "app");
    EXPECT_EQ(diamond.exitCode, 0) << diamond.out;
    EXPECT_EQ(count(diamond, "[b::bo] Starting build job"), 1) << diamond.out;
    const RunResult again = tolm({}, "app");
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_EQ(count(again, "[b::bo] Starting build job"), 0) << again.out;
}

// A file a target names in an output variable that takes nothing from a dependency is its own,
// whatever the dependency writes: the target is refused before its command, also one whose
// command would leave the file half-written. A file that reaches its output variables from the
// dependency (through `+`, by reference, inside a path, in a list) is not: those forms build, and
// the next run does nothing.
TEST_F(TolmScenario, OwnOutputBesideADependencysOutputIsASecondWriter) {
    const std::string a = "a: { ^out = P\"(gen.txt)\" cmdline = \"echo from-a > gen.txt\" }\n";
    const struct {
        const char* form;
        std::string targets;
        bool refused;
    } cases[] = {
        {"own-path", "b: a { ^out = P\"(gen.txt)\" cmdline = \"echo from-b > gen.txt\" }\n" + a, true},
        {"own-path-failing", "b: a { ^out = P\"(gen.txt)\" ^more = P\"(b.txt)\" cmdline = \"echo half > gen.txt; exit 3\" }\n" + a,
         true},
        {"own-path-in-a-list", "b: a { ^out = [P\"(b.txt)\", P\"(gen.txt)\"] cmdline = \"echo from-b > b.txt\" }\n" + a, true},
        {"plus", "b: +a { cmdline = \"cat ${out} > b.txt\" }\n" + a, false},
        {"reference", "b: a { ^o = a.out cmdline = \"cat ${o} > b.txt\" }\n" + a, false},
        {"reference-in-a-path", "b: a { ^o = P\"(${a.out})\" cmdline = \"cat ${o} > b.txt\" }\n" + a, false},
        {"reference-in-a-list", "b: a { ^o = [a.out, P\"(b.txt)\"] cmdline = \"cat ${a.out} > b.txt\" }\n" + a, false},
        {"program-run-by-plus", "b: +prog { cmdline = \"${binary} > b.txt\" }\nprog: { C_FILES = P\"(m.c)\" }\n", false},
    };
    for (const auto& c : cases) {
        writeProject(c.targets, tool("gnu-gcc"), c.form);
        write(std::string(c.form) + "/m.c", "#include <stdio.h>\nint main(void) { puts(\"from-a\"); return 0; }\n");
        const RunResult first = tolm({}, c.form);
        if (c.refused) {
            EXPECT_EQ(first.exitCode, 1) << c.form << first.out;
            EXPECT_TRUE(hasLine(first.out, "Error: Targets 'app::a' and 'app::b' would both write '" +
                                               at(std::string(c.form) + "/gen.txt") + "'; give one of them another output.\n"))
                << c.form << first.out;
            EXPECT_EQ(count(first, "[app::b] Starting build job"), 0) << c.form;
            EXPECT_EQ(contentOf(at(std::string(c.form) + "/gen.txt")), "from-a\n") << c.form;
        } else {
            EXPECT_EQ(first.exitCode, 0) << c.form << first.out;
            EXPECT_EQ(contentOf(at(std::string(c.form) + "/b.txt")), "from-a\n") << c.form;
            EXPECT_TRUE(ranNothing(tolm({}, c.form))) << c.form;
        }
    }
}

// Whether a file passes a dependency's file on follows its value, however the target reaches it:
// through a variable in between, a conditional block, a `{ }` value, from an imported project
// (also through a target there that passes it on), or through a template's parameter. Those forms
// build and settle. A path the target writes itself is its own, also beside another dependency's
// output in one list: refused before b's command, the dependency's file keeping its bytes.
TEST_F(TolmScenario, PassedOnFilesAreKnownByTheirValues) {
    const std::string a = "a: { ^out = P\"(gen.txt)\" cmdline = \"echo from-a > gen.txt\" }\n";
    const struct {
        const char* form;
        std::string targets;
        const char* writer;  // empty: the form builds
        const char* file;
    } cases[] = {
        {"between", "b: a { mid = a.out ^o = mid cmdline = \"cat ${o} > b.txt\" }\n" + a, "", ""},
        {"if", "b: a { X = 1 if X { ^o = a.out } cmdline = \"cat ${o} > b.txt\" }\n" + a, "", ""},
        {"context", "b: a { ^o = { x = a.out } cmdline = \"cat ${o.x} > b.txt\" }\n" + a, "", ""},
        {"imported-between", "b: other/ext::a { mid = ext.a.out ^o = mid cmdline = \"cat ${o} > b.txt\" }\n", "", ""},
        {"imported-if", "b: other/ext::a { X = 1 if X { ^o = ext.a.out } cmdline = \"cat ${o} > b.txt\" }\n", "", ""},
        {"imported-context", "b: other/ext::a { ^o = { x = ext.a.out } cmdline = \"cat ${o.x} > b.txt\" }\n", "", ""},
        {"imported-passed-on", "b: other/ext::wrap { mid = ext.wrap.w ^o = mid cmdline = \"cat ${o} > b.txt\" }\n", "",
         ""},
        {"parameter",
         "b: a show(a) { ^o = show.o cmdline = \"cat ${o} > b.txt\" }\n"
         "show(d): { mid = d.out ^o = mid cmdline = \"cat ${o} > show.txt\" }\n" + a,
         "", ""},
        {"own-path", "b: a { ^out = P\"(gen.txt)\" cmdline = \"echo from-b > gen.txt\" }\n" + a, "app::a", "gen.txt"},
        {"own-path-beside-another-output",
         "b: a c { ^o = [c.cout, P\"(gen.txt)\"] cmdline = \"echo from-b > gen.txt\" }\n"
         "c: { ^cout = P\"(c.txt)\" cmdline = \"echo c > c.txt\" }\n" + a,
         "app::a", "gen.txt"},
        {"imported-own-path",
         "b: other/ext::a { ^o = P\"(other/gen.txt)\" cmdline = \"echo from-b > other/gen.txt\" }\n", "other/ext::a",
         "other/gen.txt"},
    };
    for (const auto& c : cases) {
        const std::string dir = c.form;
        write(dir + "/.tolm_project.txt",
              "name demo\nimport { \"other/.tolm_project.txt\"; }\nunits { app { \"tolm.txt\" } }\n");
        write(dir + "/tolm.txt", "unit app\n" + c.targets);
        write(dir + "/other/.tolm_project.txt", "name other\nunits { ext { \"tolm.txt\" } }\n");
        write(dir + "/other/tolm.txt", "unit ext\na: { cwd = P\"(.)\" ^out = P\"(gen.txt)\" cmdline = \"echo from-a > "
                                       "gen.txt\" }\nwrap: a { ^w = a.out cmdline = \"cat ${w} > wrap.txt\" }\n");
        const RunResult first = tolm({}, dir);
        if (*c.writer == '\0') {
            EXPECT_EQ(first.exitCode, 0) << dir << first.out;
            EXPECT_EQ(contentOf(at(dir + "/b.txt")), "from-a\n") << dir;
            const RunResult second = tolm({}, dir);
            EXPECT_TRUE(ranNothing(second)) << dir << second.out;
            continue;
        }
        EXPECT_EQ(first.exitCode, 1) << dir << first.out;
        EXPECT_TRUE(hasLine(first.out, "Error: Targets '" + std::string(c.writer) + "' and 'app::b' would both write '" +
                                           at(dir + "/" + c.file) + "'; give one of them another output.\n"))
            << dir << first.out;
        EXPECT_EQ(count(first, "[app::b] Starting build job"), 0) << dir;
        EXPECT_EQ(contentOf(at(dir + "/" + c.file)), "from-a\n") << dir;
    }
}

// A file that reaches a target's outputs from a dependency's outputs is never the target's own,
// whether or not any target writes it (here a header and a configuration file that the
// dependencies only name): when the target's command fails, or the run is stopped while it runs,
// the file keeps the edit the user saved meanwhile. The target's own file beside it, in the same
// list too, is still removed.
TEST_F(TolmScenario, ReceivedFileOutlivesTheReceiversFailedJob) {
    // Each command saves an edit of the received file and half-writes its own one, then fails or
    // waits to be stopped.
    const std::string body = "cmdline = \"echo edit >> ${RECEIVED} && echo half > own.txt && touch started && END\"";
    const std::string own = "^o = P\"(own.txt)\" ";
    const struct {
        const char* form;
        std::string targets;
        const char* received;
    } cases[] = {
        {"plain", "b: lib { ^h = lib.hdr " + own + body + " }\n", "g.h"},
        {"between", "b: lib { mid = lib.hdr ^h = mid " + own + body + " }\n", "g.h"},
        {"if", "b: lib { X = 1 if X { ^h = lib.hdr } " + own + body + " }\n", "g.h"},
        {"context", "b: lib { ^h = { x = lib.hdr } " + own + body + " }\n", "g.h"},
        {"list", "b: lib { ^h = [lib.hdr, P\"(own.txt)\"] " + body + " }\n", "g.h"},
        {"plus", "b: +lib { ^hdr = [P\"(own.txt)\"] " + body + " }\n", "g.h"},
        {"parameter", "b: lib show(lib) { NO_TOOL }\nshow(d): { ^h = d.hdr " + own + body + " }\n", "g.h"},
        {"imported", "b: other/ext::lib { ^h = ext.lib.hdr " + own + body + " }\n", "other/g.h"},
        {"compiled", "b: clib { ^h = clib.hdr " + own + body + " }\n", "g.h"},
        {"configuration", "b: cfg { ^c = cfg.conf " + own + body + " }\n", "app.conf"},
    };
    const std::string dependencies = "lib: { NO_TOOL ^hdr = P\"(g.h)\" }\n"
                                     "clib: { C_FILES = P\"(g.c)\" C_FLAGS = \"-c\" ^hdr = P\"(g.h)\" }\n"
                                     "cfg: { NO_TOOL ^conf = P\"(app.conf)\" }\n";
    write(".tolm_project.txt", "name demo\nimport { \"other/.tolm_project.txt\"; }\n" + tool("gnu-gcc") +
                                   "units { app { \"tolm.txt\" } }\n");
    write("other/.tolm_project.txt", "name other\nunits { ext { \"tolm.txt\" } }\n");
    write("other/tolm.txt", "unit ext\nlib: { NO_TOOL ^hdr = P\"(g.h)\" }\n");
    write("g.c", "int g(void) { return 1; }\n");
    for (const auto& c : cases) {
        for (const bool stopped : {false, true}) {
            const std::string form = std::string(c.form) + (stopped ? " stopped" : " failed"), file = c.received;
            std::string targets = c.targets + dependencies;
            targets.replace(targets.find("${RECEIVED}"), 11, file);
            targets.replace(targets.find("END"), 3, stopped ? "sleep 1000" : "exit 1");
            write("tolm.txt", "unit app\n" + targets);
            write(file, "/* mine */\n");
            std::filesystem::remove(at("own.txt"));
            const RunResult result = failedOrStopped({"b"}, stopped);
            EXPECT_EQ(result.exitCode, stopped ? 128 + SIGTERM : 1) << form << result.out;
            EXPECT_EQ(contentOf(at(file)), "/* mine */\nedit\n") << form << result.out;
            EXPECT_EQ(result.out.find("Removed '" + at(file) + "'"), std::string::npos) << form << result.out;
            EXPECT_TRUE(hasLine(result.out, "[app::" + std::string(c.form == std::string("parameter") ? "show" : "b") +
                                                "] Removed '" + at("own.txt") +
                                                "': the job that writes it did not finish.\n"))
                << form << result.out;
            EXPECT_FALSE(std::filesystem::exists(at("own.txt"))) << form;
        }
    }
}

// A file a target both reads and declares as an output (a command editing it in place) is kept
// as the command left it when the command fails or the run is stopped while it runs, however the
// input spells it; the target's other outputs are still removed.
TEST_F(TolmScenario, InputEditedInPlaceOutlivesTheFailedJob) {
    const std::string body =
        "cmdline = \"sed -i s/a/b/ data.txt && echo half > other.txt && touch started && END\" }\n";
    const struct {
        const char* form;
        std::string target;
    } cases[] = {
        {"same-path", "fmt: { src = P\"(data.txt)\" ^o = P\"(data.txt)\" ^other = P\"(other.txt)\" " + body},
        {"other-spelling", "fmt: { src = P\"(./sub/../data.txt)\" ^o = [P\"(other.txt)\", P\"(data.txt)\"] " + body},
        {"in-a-list", "fmt: { srcs = [P\"(x.txt)\", P\"(data.txt)\"] ^o = [P\"(data.txt)\", P\"(other.txt)\"] " + body},
        {"output-takes-the-input", "fmt: { src = P\"(data.txt)\" ^o = [src, P\"(other.txt)\"] " + body},
        {"input-in-an-if-block",
         "fmt: { M = \"a\" if M != \"b\" { src = P\"(data.txt)\" } ^o = [P\"(data.txt)\", P\"(other.txt)\"] " + body},
    };
    for (const auto& c : cases) {
        for (const bool stopped : {false, true}) {
            const std::string form = std::string(c.form) + (stopped ? " stopped" : " failed");
            std::string target = c.target;
            target.replace(target.find("END"), 3, stopped ? "sleep 1000" : "exit 1");
            writeProject(target);
            write("data.txt", "aaa\n");
            const RunResult result = failedOrStopped({"fmt"}, stopped);
            EXPECT_EQ(result.exitCode, stopped ? 128 + SIGTERM : 1) << form << result.out;
            EXPECT_EQ(contentOf(at("data.txt")), "baa\n") << form << result.out;
            EXPECT_EQ(result.out.find("Removed '" + at("data.txt") + "'"), std::string::npos) << form << result.out;
            EXPECT_TRUE(hasLine(result.out, "[app::fmt] Removed '" + at("other.txt") +
                                                "': the job that writes it did not finish.\n"))
                << form << result.out;
            EXPECT_FALSE(std::filesystem::exists(at("other.txt"))) << form;
        }
    }
}

// An output the target also names in a variable of its own or a parameter, where the failed or
// stopped job made the file, is no one's copy: it is removed as any other half-written output.
TEST_F(TolmScenario, OutputTheFailedJobMadeIsRemovedWhateverNamesIt) {
    const std::string body = "cmdline = \"echo half > gen.h && touch started && END\" }\n";
    const struct {
        const char* form;
        std::string targets;
        const char* target;
    } cases[] = {
        {"variable", "gen: { OUT = P\"(gen.h)\" ^h = OUT " + body, "gen"},
        {"parameter", "all: gen(o) { NO_TOOL o = P\"(gen.h)\" }\ngen(out): { ^h = out " + body, "all"},
        {"list", "gen: { OUTS = [P\"(gen.h)\"] ^h = OUTS " + body, "gen"},
    };
    for (const auto& c : cases) {
        for (const bool stopped : {false, true}) {
            const std::string form = std::string(c.form) + (stopped ? " stopped" : " failed");
            std::string targets = c.targets;
            targets.replace(targets.find("END"), 3, stopped ? "sleep 1000" : "exit 1");
            writeProject(targets);
            std::filesystem::remove(at("gen.h"));
            const RunResult result = failedOrStopped({c.target}, stopped);
            EXPECT_EQ(result.exitCode, stopped ? 128 + SIGTERM : 1) << form << result.out;
            EXPECT_FALSE(std::filesystem::exists(at("gen.h"))) << form << result.out;
        }
    }
}

// Only a dependency's file is received, never a dependency's text: a path the target makes of a
// text (also through a variable, or of a list's texts beside its files) is its own, removed when
// its command fails and refused beside a second writer. A dependency's file passed on by a text
// that is one reference to it, in the target or in the dependency, stays received: kept, and no
// second writer.
TEST_F(TolmScenario, PathMadeOfADependencysTextIsTheTargetsOwn) {
    const std::string fails = "cmdline = \"echo edit >> g.h && echo half > mine.txt && exit 1\" }\n";
    const std::string mine = "^m = P\"(mine.txt)\" ";
    const struct {
        const char* form;
        std::string targets;
        bool refused;  // of "all": else it builds and settles
    } cases[] = {
        {"text-in-a-path", "b: nm { ^o = P\"(${nm.nom})\" " + fails, false},
        {"text-between", "b: nm { mid = nm.nom ^o = P\"(${mid})\" " + fails, false},
        {"texts-of-a-list", "b: nm { ^o = P\"(#{nm.both})\" " + fails, false},
        {"file-by-a-text", "b: nm { ^o = P\"(${nm.hdr})\" " + mine + fails, false},
        {"file-by-a-text-output", "b: nm { ^o = \"${nm.hdr}\" " + mine + fails, false},
        {"file-by-a-text-between", "b: nm { mid = \"${nm.hdr}\" ^o = P\"(${mid})\" " + mine + fails, false},
        {"file-by-the-dependencys-text", "b: wrap { ^o = P\"(${wrap.w})\" " + mine + fails, false},
        {"two-writers",
         "all: b c { NO_TOOL }\nb: nm { ^o = P\"(${nm.nom})\" cmdline = \"echo from-b > mine.txt\" }\n"
         "c: { ^o = P\"(mine.txt)\" cmdline = \"echo from-c > mine.txt\" }\n",
         true},
        {"file-by-a-text-beside-its-writer",
         "all: b gen { NO_TOOL }\nb: gen { mid = \"${gen.out}\" ^o = P\"(${mid})\" cmdline = \"cat ${o} > b.txt\" }\n"
         "gen: { ^out = P\"(gen.txt)\" cmdline = \"echo from-gen > gen.txt\" }\n",
         false},
    };
    for (const auto& c : cases) {
        const std::string dir = c.form, form = c.form;
        writeProject(c.targets +
                         "nm: { NO_TOOL ^nom = \"mine.txt\" ^hdr = P\"(g.h)\" ^both = [P\"(g.h)\", \"mine.txt\"] }\n"
                         "wrap: nm { NO_TOOL ^w = \"${nm.hdr}\" }\n",
                     "", dir);
        write(dir + "/g.h", "mine\n");
        if (c.targets.starts_with("all:")) {
            const RunResult first = tolm({}, dir);
            if (c.refused) {
                EXPECT_EQ(first.exitCode, 1) << form << first.out;
                EXPECT_TRUE(hasLine(first.out, "Error: Targets 'app::b' and 'app::c' would both write '" +
                                                   at(dir + "/mine.txt") + "'; give one of them another output.\n"))
                    << form << first.out;
                EXPECT_EQ(count(first, "[app::c] Starting build job"), 0) << form;
            } else {
                EXPECT_EQ(first.exitCode, 0) << form << first.out;
                EXPECT_EQ(contentOf(at(dir + "/b.txt")), "from-gen\n") << form;
                const RunResult second = tolm({}, dir);
                EXPECT_EQ(count(second, "[app::all] Starting build job"), 1) << form << second.out;
                EXPECT_EQ(count(second, "[app::b] Starting build job"), 0) << form << second.out;
            }
            continue;
        }
        const RunResult failed = tolm({"b"}, dir);
        EXPECT_EQ(failed.exitCode, 1) << form << failed.out;
        EXPECT_TRUE(hasLine(failed.out, "[app::b] Removed '" + at(dir + "/mine.txt") +
                                            "': the job that writes it did not finish.\n"))
            << form << failed.out;
        EXPECT_FALSE(std::filesystem::exists(at(dir + "/mine.txt"))) << form;
        EXPECT_EQ(contentOf(at(dir + "/g.h")), "mine\nedit\n") << form << failed.out;
    }
}

}  // namespace
