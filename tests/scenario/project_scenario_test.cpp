// Runs of the real binary on projects: the lists, units merged from several
// files, profiles, imports by path and by registered name, and
// "--create-project" with the written file read back by later runs.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

class ProjectScenario : public TolmScenario {
protected:
    // Project "demo": unit app (main target "main"), unit core from two
    // files, three profiles.
    void writeDemo(const std::string& moreCore = "unit CORE\nextra: { }\n") {
        write(".tolm_project.txt", R"(name demo
units {
  app { "tolm.txt" }
  core { "src/core/tolm.txt" "src/core/more.txt" }
}
profiles {
  release { OPT = "-O2" }
  Debug { OPT = "-g" }
  asan { }
}
)");
        write("tolm.txt", "unit app\nmain: { }\nzeta: { }\nAlpha: { }\n");
        write("src/core/tolm.txt", "unit core\ncorelib: { }\n");
        write("src/core/more.txt", moreCore);
    }
};

// The lists print one name a line: targets in name order (the unit's main target even when
// everything else is silenced), units in file order, profiles in name order; only the first list
// asked for is printed. Without a project the unit and profile lists fail with 255 once the unit
// file (or in command mode none) is loaded; the target list works on the unit file, whose unnamed
// unit is unit "1". Units and profiles that do not fit together stop the run and say why.
TEST_F(ProjectScenario, ListsAndLoading) {
    write("tolm.txt", "b: { }\na: { }\n");
    for (const Words& words : {Words{"-u"}, Words{"-p"}, Words{"-c", "-u"}}) {
        const RunResult run = tolm(words);
        EXPECT_EQ(run.out, "No file to list. You need .tolm_project.txt.\n");
        EXPECT_EQ(run.exitCode, 255);
    }
    EXPECT_EQ(tolm({"-l", "1"}).out, "a\nb\n");
    write("sub/other.txt", "unit other\nx: { }\n");
    EXPECT_EQ(tolm({"-f", "sub/other.txt", "-l", "other"}).out, "x\n");

    writeDemo();
    const struct {
        Words words;
        const char* directory;
        std::string out;
    } cases[] = {
        {{"-l", "1"}, "", "Alpha\nmain\nzeta\n"},
        {{"-l", "APP"}, "src/core", "Alpha\nmain\nzeta\n"},
        {{"-l", "core"}, "", "corelib\nextra\n"},
        {{"-v", "8", "-l", "app"}, "", "main\n"},
        {{"-u"}, "src", "app\ncore\n"},
        {{"-p"}, "", "asan\nDebug\nrelease\n"},
        {{"-p", "-l", "core"}, "", "corelib\nextra\n"},
        {{"-u", "debug", "zeta", "X=1"}, "", "app\ncore\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm(c.words, c.directory);
        EXPECT_EQ(run.out, c.out) << c.words[0] << " " << c.words[1];
        EXPECT_EQ(run.exitCode, 0) << c.words[0];
    }

    const struct {
        const char* moreCore;
        Words words;
        std::string out;
    } failures[] = {
        {"unit CORE\nextra: { }\n", {"-l", "nope"}, "Error: Unit 'demo/nope' not found.\n"},
        {"unit core\nextra: { }\nCORELIB: { }\n", {"-u"},
         "Error: Unable to merge unit 'core' from file '" + at("src/core/more.txt") + "': Key already exists: corelib\n"},
        {"unit kernel\nextra: { }\n", {"-u"},
         "Error: Unit file '" + at("src/core/more.txt") +
             "' declares unit 'kernel', but project entry expects unit 'core'.\n"},
        {"unit core\nextra: {\n", {"-u"},
         "Error: " + at("src/core/more.txt") + " Parsing failed due to syntax errors.\n"},
        {"unit core\n", {"-u", "debug", "release"}, "Error: Profile already set to 'Debug'. It can only be set once.\n"},
    };
    for (const auto& c : failures) {
        writeDemo(c.moreCore);
        const RunResult run = tolm(c.words);
        // The syntax error itself goes to standard error.
        EXPECT_EQ(run.out, c.out) << c.moreCore;
        EXPECT_EQ(run.exitCode, 1) << c.moreCore;
    }
    write(".tolm_project.txt", "name empty\n");
    EXPECT_EQ(tolm({"-u"}).out, "Error: Project 'empty' does not list any units.\n");
    write(".tolm_project.txt", "name empty\nunits { app { } }\n");
    EXPECT_EQ(tolm({"-u"}).out, "Error: Project unit 'app' does not list any tolm files.\n");
}

// A named path import puts the imported project under that name, a
// registered project is imported by its name; their targets and tools are
// there under those namespaces, and can be built from the importer. A name
// the registry does not hold stops the run.
TEST_F(ProjectScenario, ImportsByPathAndByName) {
    write("lib/.tolm_project.txt",
          "name libproj\ntools { cc { } }\nunits { l { \"tolm.txt\" } }\nprofiles { default { D += \"d\" } }\n");
    write("lib/tolm.txt", "unit l\nlt: { cmdline = \"echo lt ${D}\" }\n");
    write("shared/.tolm_project.txt", "name shared\nunits { s { \"tolm.txt\" } }\n");
    write("shared/tolm.txt", "unit s\nst: { }\n");
    ASSERT_EQ(tolm({"-r"}, "shared").exitCode, 0);
    write("app/.tolm_project.txt",
          "name app\nimport {\n  \"../lib/.tolm_project.txt\" mylib;\n  shared;\n}\nunits { a { \"tolm.txt\" } }\n");
    write("app/tolm.txt", "unit a\nmain: { }\n");

    const RunResult renamed = tolm({"-v", "1", "-u", "mylib/l::lt"}, "app");
    EXPECT_TRUE(hasLine(renamed.out, "Main target changed from app/a::main to mylib/l::lt.\n")) << renamed.out;
    EXPECT_TRUE(hasLine(renamed.out, "Project mylib tool 'mylib/cc' has no 'tool_type'. Skipping.\n"));
    EXPECT_EQ(renamed.exitCode, 0);

    // An imported target named on the command line is built in its own project, with its
    // default profile applied once, also when that profile is named.
    EXPECT_TRUE(hasLine(tolm({"mylib/l::lt"}, "app").out, "lt d\n"));
    EXPECT_TRUE(hasLine(tolm({"default"}, "lib").out, "lt d\n"));

    const RunResult registered = tolm({"-v", "1", "-u", "shared/s::st"}, "app");
    EXPECT_TRUE(hasLine(registered.out, "Main target changed from app/a::main to shared/s::st.\n")) << registered.out;
    // Targets of a namespace that was not imported are no targets: the word is an assignment.
    EXPECT_EQ(tolm({"-u", "libproj/l::lt"}, "app").out,
              "Project mylib tool 'mylib/cc' has no 'tool_type'. Skipping.\nParsing assignment failed due to syntax errors.\n");

    // "-d" prints the variables the targets of each project start with, in namespace order: an
    // imported project's own root and default profile are among its own.
    const std::string dumped = tolm({"-d", "mylib/l::lt"}, "app").out;
    const std::string head = "Implicit context for project '";
    const std::size_t app = dumped.find(head + "app':\n{\n"), mylib = dumped.find(head + "mylib':\n{\n"),
                      shared = dumped.find(head + "shared':\n{\n"), profile = dumped.find("\nD += \"d\"\n");
    EXPECT_TRUE(app < mylib && mylib < profile && profile < shared && shared != std::string::npos) << dumped;
    EXPECT_TRUE(hasLine(dumped.substr(shared), "project_root = \"" + at("shared") + "\"\n")) << dumped;

    write("other/.tolm_project.txt", "name other\nimport { nowhere; }\nunits { o { \"tolm.txt\" } }\n");
    write("other/tolm.txt", "unit o\not: { }\n");
    const RunResult unknown = tolm({"-u"}, "other");
    EXPECT_EQ(unknown.out, "Error: Registered project 'nowhere' not found.\n");
    EXPECT_EQ(unknown.exitCode, 1);
}

// A path written in a profile stays a path in the targets given it, whichever layer it comes from:
// the default profile, a named one, an imported project's (its default, or one its import names),
// the command line. A source it lists, in a list or alone, is an input: edited, its target builds
// once, and the next run does nothing. An output path taken from it is the target's own: its failed
// command's file is removed, and a second writer of the file is refused before its command.
TEST_F(ProjectScenario, PathsFromProfilesAreFiles) {
    enum Layer { Default, Named, Imported, ImportedNamed, CommandLine };
    const std::string one = "P\"(s.c)\"", list = "[P\"(s.c)\"]", out = "P\"(m.txt)\"";
    const struct {
        const char* form;
        Layer layer;
        std::string value;
        std::string target;  // compile and copy rebuild, fails and twice do not build
    } cases[] = {
        {"default-list", Default, list, "compile"},
        {"default-one", Default, one, "compile"},
        {"default-command-input", Default, one, "copy"},
        {"named-list", Named, list, "compile"},
        {"named-one", Named, one, "compile"},
        {"imported-list", Imported, list, "compile"},
        {"imported-one", Imported, one, "compile"},
        {"imported-named-list", ImportedNamed, list, "compile"},
        // The compiler runs elsewhere: a relative path there names no file.
        {"command-line-one", CommandLine, "P\"(" + at("command-line-one/s.c") + ")\"", "compile"},
        {"default-output-failed", Default, out, "fails"},
        {"named-output-failed", Named, out, "fails"},
        {"imported-output-failed", Imported, out, "fails"},
        {"default-output-twice", Default, out, "twice"},
        {"imported-named-output-twice", ImportedNamed, out, "twice"},
    };
    const std::string targets = "compile: { C_FILES = V C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n"
                                "copy: { cwd = P\"(.)\" IN = V ^o = P\"(o.txt)\" cmdline = \"cat ${IN} > o.txt\" }\n"
                                "fails: { cwd = P\"(.)\" ^m = V cmdline = \"echo half > m.txt; exit 3\" }\n"
                                "first: { cwd = P\"(.)\" ^o = P\"(m.txt)\" cmdline = \"echo first > m.txt\" }\n"
                                "own: { cwd = P\"(.)\" ^m = V cmdline = \"echo own > m.txt\" }\n"
                                "twice: first own { NO_TOOL }\n";
    for (const auto& c : cases) {
        const bool imported = c.layer == Imported || c.layer == ImportedNamed;
        const bool named = c.layer == Named || c.layer == ImportedNamed;
        const std::string dir = c.form, home = imported ? dir + "/lib" : dir, unit = imported ? "l" : "app";
        const std::string profile = std::string(named ? "dev" : "default") + " { V = " + c.value + " }";
        write(home + "/.tolm_project.txt", "name " + std::string(imported ? "lib" : "demo") + "\n" + tool("gnu-gcc") +
                                               "units { " + unit + " { \"tolm.txt\" } }\n" +
                                               (c.layer == CommandLine ? "" : "profiles { " + profile + " }\n"));
        write(home + "/tolm.txt", "unit " + unit + "\n" + targets);
        write(home + "/s.c", "int s;\n");
        if (imported) {
            const std::string import = "\"lib/.tolm_project.txt\"" + std::string(named ? " (dev)" : "");
            write(dir + "/.tolm_project.txt",
                  "name demo\nimport { " + import + "; }\nunits { app { \"tolm.txt\" } }\n");
            write(dir + "/tolm.txt", "unit app\n");
        }
        Words words{imported ? "lib/l::" + c.target : c.target};
        if (c.layer == Named) words.insert(words.begin(), "dev");
        if (c.layer == CommandLine) words.insert(words.begin(), "V=" + c.value);
        const RunResult first = tolm(words, dir);
        if (c.target == "fails") {
            EXPECT_EQ(first.exitCode, 1) << c.form << first.out;
            EXPECT_FALSE(std::filesystem::exists(at(home + "/m.txt"))) << c.form << first.out;
        } else if (c.target == "twice") {
            const std::string owners = imported ? "'lib/l::first' and 'lib/l::own'" : "'app::first' and 'app::own'";
            EXPECT_EQ(first.exitCode, 1) << c.form << first.out;
            EXPECT_TRUE(hasLine(first.out, "Error: Targets " + owners + " would both write '" + at(home + "/m.txt") +
                                               "'; give one of them another output.\n"))
                << c.form << first.out;
            EXPECT_EQ(count(first, "[" + unit + "::own] Starting build job"), 0) << c.form;
            EXPECT_EQ(contentOf(at(home + "/m.txt")), "first\n") << c.form;
        } else {
            EXPECT_EQ(first.exitCode, 0) << c.form << first.out;
            EXPECT_TRUE(ranNothing(tolm(words, dir))) << c.form;
            write(home + "/s.c", "int s2;\n");
            makeOlder(home + (c.target == "copy" ? "/o.txt" : "/obj/s.o"), home + "/s.c");
            const RunResult edited = tolm(words, dir);
            EXPECT_EQ(count(edited, "[" + unit + "::" + c.target + "] Starting build job"), 1) << c.form << edited.out;
            EXPECT_TRUE(ranNothing(tolm(words, dir))) << c.form;
        }
    }
}

// A path of a profile that a command target neither sets nor takes holds it up nowhere: the file
// the target itself writes, a path not made yet, the project's own directory (every cache save
// changes it), a source edited for another target. Each settles after one build and stays so.
TEST_F(ProjectScenario, ProfilePathsACommandTargetDoesNotTakeHoldNothingUp) {
    const struct {
        const char* form;
        std::string profile;
        std::string target;
    } cases[] = {
        {"the file it writes", "GEN = P\"(gen.h)\"", "mk: { ^h = P\"(gen.h)\" cmdline = \"echo 1 > gen.h\" }\n"},
        {"a path not made yet", "DIST = P\"(dist)\"", "mk: { ^o = P\"(o.txt)\" cmdline = \"echo 1 > o.txt\" }\n"},
        {"the project's directory", "ROOT = P\"(.)\"", "mk: { ^o = P\"(o.txt)\" cmdline = \"echo 1 > o.txt\" }\n"},
        {"another target's source", "SRCS = [P\"(s.c)\"]",
         "mk: { ^o = P\"(o.txt)\" cmdline = \"echo 1 > o.txt\" }\n"
         "c: { C_FILES = SRCS C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\nall: mk c { NO_TOOL }\n"},
    };
    for (const auto& c : cases) {
        const std::string dir = c.form;
        write(dir + "/.tolm_project.txt", "name demo\n" + tool("gnu-gcc") + "units { app { \"tolm.txt\" } }\n" +
                                              "profiles { default { " + c.profile + " } }\n");
        write(dir + "/tolm.txt", "unit app\n" + c.target);
        write(dir + "/s.c", "int s;\n");
        const bool withSource = c.target.find("all:") != std::string::npos;
        const Words words{withSource ? "all" : "mk"};
        EXPECT_EQ(tolm(words, dir).exitCode, 0) << c.form;
        for (int run = 0; run < 2; ++run) {
            const RunResult again = tolm(words, dir);
            EXPECT_EQ(count(again, "[app::mk] Starting build job"), 0) << c.form << again.out;
            EXPECT_EQ(again.exitCode, 0) << c.form << again.out;
        }
        if (!withSource) continue;
        write(dir + "/s.c", "int s2;\n");
        makeOlder(dir + "/obj/s.o", dir + "/s.c");
        const RunResult edited = tolm(words, dir);
        EXPECT_EQ(count(edited, "[app::c] Starting build job"), 1) << c.form << edited.out;
        EXPECT_EQ(count(edited, "[app::mk] Starting build job"), 0) << c.form << edited.out;
    }
}

// A project reached through two imports is read and set up once, and builds as one project, not
// a namespace used twice; a project importing itself, directly or through others, fails with the
// cycle named.
TEST_F(ProjectScenario, DiamondAndCycle) {
    auto project = [&](const std::string& name, const std::string& imports, const std::string& deps = "") {
        write(name + "/.tolm_project.txt", "name " + name + "\nimport {\n" + imports + "}\ntools { t { } }\nunits { " +
                                               name + " { \"tolm.txt\" } }\n");
        write(name + "/tolm.txt", "unit " + name + "\nt: " + deps + " { cmdline = \"echo " + name + "\" }\n");
    };
    project("base", "");
    project("left", "\"../base/.tolm_project.txt\";\n", "base/base::t");
    project("right", "\"../base/.tolm_project.txt\";\n", "base/base::t");
    project("top", "\"../left/.tolm_project.txt\";\n\"../right/.tolm_project.txt\";\n", "left/left::t right/right::t");
    const RunResult diamond = tolm({"-u"}, "top");
    EXPECT_EQ(diamond.out,
              "Project top tool 'top/t' has no 'tool_type'. Skipping.\n"
              "Project left tool 'left/t' has no 'tool_type'. Skipping.\n"
              "Project base tool 'base/t' has no 'tool_type'. Skipping.\n"
              "Project right tool 'right/t' has no 'tool_type'. Skipping.\n"
              "top\n");
    EXPECT_EQ(diamond.exitCode, 0);
    const RunResult build = tolm({"t"}, "top");
    EXPECT_EQ(build.exitCode, 0) << build.out;
    EXPECT_TRUE(hasLine(build.out, "[base::t] echo base\nbase\n")) << build.out;

    project("base", "\"../top/.tolm_project.txt\";\n");
    const RunResult cycle = tolm({"-u"}, "top");
    auto link = [&](const std::string& name) { return "'" + name + "' (" + at(name + "/.tolm_project.txt") + ")"; };
    EXPECT_EQ(cycle.out, "Error: Import cycle: " + link("top") + " -> " + link("left") + " -> " + link("base") +
                             " -> " + link("top") + "\n");
    EXPECT_EQ(cycle.exitCode, 1);

    project("self", "\"./.tolm_project.txt\" again;\n");
    EXPECT_EQ(tolm({"-u"}, "self").out, "Error: Import cycle: " + link("self") + " -> " + link("self") + "\n");
}

// "--create-project" lists every unit a "tolm.txt" (any letter case, any depth) declares on its
// first line, with its files relative to the current directory, under a name made an identifier,
// and the next run loads it: the units, and a unit merged from two files. Inside a project the tree
// is scanned from its root, and the new file, written in the current directory, reaches the files
// through "..". An existing project file is never replaced: the run says so and fails, the file
// keeps every byte; a project file that cannot be written is an error, never a silent success.
TEST_F(ProjectScenario, CreateProject) {
    write("my app/tolm.txt", "unit app\nmain: { }\n");
    write("my app/src/lib/Tolm.txt", "unit lib\nlib: { }\n");
    write("my app/src/lib/extra/tolm.txt", "unit lib\nextra: { }\n");
    write("my app/tools/tolm.txt", "// unit tools\nt: { }\n");
    write("my app/gen/tolm.txt", "unit\ng: { }\n");
    write("my app/docs/notes.txt", "unit notes\n");
    write("my app/core/tolm.txt", "unit core\nc: { }\n");
    const RunResult create = tolm({"--create-project"}, "my app");
    EXPECT_EQ(create.out, "");
    EXPECT_EQ(create.exitCode, 0);
    EXPECT_TRUE(home_.isEmpty());
    const std::string text = contentOf(at("my app/.tolm_project.txt"));
    EXPECT_TRUE(text.starts_with("name my_app\nunits\n{\napp\n{\n  \"tolm.txt\"\n}\n")) << text;
    for (const char* part :
         {"lib\n{\n", "  \"src/lib/Tolm.txt\"\n", "  \"src/lib/extra/tolm.txt\"\n", "core\n{\n  \"core/tolm.txt\"\n}\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << text;
    EXPECT_EQ(text.find("tools"), std::string::npos) << text;
    EXPECT_EQ(text.find("gen"), std::string::npos) << text;
    EXPECT_EQ(tolm({"-l", "lib"}, "my app/src").out, "extra\nlib\n");
    EXPECT_EQ(tolm({"-l", "1"}, "my app").out, "main\n");

    const RunResult again = tolm({"--create-project"}, "my app");
    EXPECT_EQ(again.out,
              "Error: Project file '" + at("my app/.tolm_project.txt") + "' already exists; it is left unchanged.\n");
    EXPECT_EQ(again.exitCode, 1);
    write("my app/web/tolm.txt", "unit web\nw: { }\n");
    ASSERT_EQ(tolm({"--create-project"}, "my app/web").exitCode, 0);
    EXPECT_EQ(contentOf(at("my app/.tolm_project.txt")), text);
    const std::string inner = contentOf(at("my app/web/.tolm_project.txt"));
    EXPECT_TRUE(inner.starts_with("name web\nunits\n{\n")) << inner;
    EXPECT_NE(inner.find("web\n{\n  \"tolm.txt\"\n}\n"), std::string::npos) << inner;
    EXPECT_NE(inner.find("core\n{\n  \"../core/tolm.txt\"\n}\n"), std::string::npos) << inner;
    EXPECT_EQ(tolm({"-l", "core"}, "my app/web").out, "c\n");

    std::filesystem::create_directories(at("blocked/.tolm_project.txt"));
    const RunResult blocked = tolm({"--create-project"}, "blocked");
    EXPECT_EQ(blocked.out, "Error: Unable to write project file '" + at("blocked/.tolm_project.txt") + "'.\n");
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_TRUE(std::filesystem::is_directory(at("blocked/.tolm_project.txt")));
}

// A NUL byte in a file of the build stops the run before any command, naming the file, line and
// column: in a unit file (the shell would get the command's text cut short at it), the project
// file, an imported project's file and a unit file named by "-f".
TEST_F(ProjectScenario, NulByteStopsTheRun) {
    using namespace std::string_literals;
    const std::string project = "name demo\nunits { app { \"tolm.txt\" } }\n";
    const std::string unit = "unit app\ng: { ^o = P\"(o.txt)\" cmdline = \"echo made > o.txt\" }\n";
    const std::string nulUnit = "unit app\ng: { ^o = P\"(o.txt)\" cmdline = \"echo part1\0; echo made > o.txt\" }\n"s;
    const struct {
        std::string directory;
        std::vector<std::pair<std::string, std::string>> files;
        Words words;
        std::string place;
    } cases[] = {
        {"unit", {{".tolm_project.txt", project}, {"tolm.txt", nulUnit}}, {"g"}, "tolm.txt(2,42)"},
        {"project",
         {{".tolm_project.txt", project + "profiles { release { X = \"a\0b\" } }\n"s}, {"tolm.txt", unit}},
         {"g"},
         ".tolm_project.txt(3,27)"},
        {"import",
         {{".tolm_project.txt", "name demo\nimport { \"lib/.tolm_project.txt\"; }\nunits { app { \"tolm.txt\" } }\n"},
          {"tolm.txt", unit},
          {"lib/.tolm_project.txt", "name lib\0\nunits { l { \"tolm.txt\" } }\n"s},
          {"lib/tolm.txt", "unit l\n"}},
         {"g"},
         "lib/.tolm_project.txt(1,8)"},
        {"file", {{"build.txt", nulUnit}}, {"-f", "build.txt", "g"}, "build.txt(2,42)"},
    };
    for (const auto& c : cases) {
        for (const auto& [file, content] : c.files) write(c.directory + "/" + file, content);
        const RunResult run = tolm(c.words, c.directory);
        EXPECT_EQ(run.exitCode, 1) << c.directory;
        EXPECT_TRUE(hasLine(run.out, at(c.directory + "/" + c.place) + ": a NUL byte is not allowed\n")) << run.out;
        EXPECT_EQ(run.out.find("Starting build job"), std::string::npos) << run.out;
        EXPECT_FALSE(std::filesystem::exists(at(c.directory + "/o.txt"))) << c.directory;
    }
}

}  // namespace
