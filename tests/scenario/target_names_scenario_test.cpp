// How references to targets are read, through the real binary: a dependency
// whose project or unit does not exist stops the run before any command,
// every valid form still builds, and every spelling of one target builds the
// same files.

#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

class TargetNamesScenario : public TolmScenario {
protected:
    // Project "img" (units img and tests) importing project "zz" (unit zz, whose libz depends on
    // its own inner, written with its unit alone); `img` is the text of unit img.
    void writeImage(const std::string& img) const {
        write("zz/.tolm_project.txt", "name zz\nunits { zz { \"tolm.txt\" } }\n");
        write("zz/tolm.txt",
              "unit zz\n"
              "libz: zz::inner { ^version = \"1\" cmdline = \"echo libz\" }\n"
              "inner: { ^made = P\"(inner.txt)\" cmdline = \"echo inner > inner.txt\" }\n");
        write("img/.tolm_project.txt",
              "name img\nimport { \"../zz/.tolm_project.txt\"; }\n"
              "units { img { \"tolm.txt\" } tests { \"tests.txt\" } }\n");
        write("img/tolm.txt", "unit img\n" + img);
        write("img/tests.txt", "unit tests\nt: { ^made = P\"(t.txt)\" cmdline = \"echo t > t.txt\" }\n");
    }
    // A command target that leaves a file named after it, to tell whether it ran.
    static std::string marker(const std::string& name) {
        return name + ": { cmdline = \"touch " + name + ".ran\" }\n";
    }
};

// A dependency of the image library on the compression library written without its project stops
// the run before any command, also before the commands of the targets walked before it, and says
// which units there are. A dynamic dependency is known only in the walk: it stops its own
// target's visit before that target's first dependency is built.
TEST_F(TargetNamesScenario, MissingUnitStopsBeforeAnyCommand) {
    const std::string units =
        " Units of project 'img': img, tests. Units of other projects: zz/zz; a target of another project is "
        "written 'project/unit::target'.\n";
    writeImage("all: a b lib { NO_TOOL }\n" + marker("a") + marker("b") + "lib: zz::libz { cmdline = \"true\" }\n");
    RunResult run = tolm({}, "img");
    EXPECT_EQ(run.out, "Starting build\nError: Unit 'img/zz' not found (dependency 'zz::libz' of target "
                       "'img/img::lib')." + units);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(fs::exists(at("img/a.ran")));
    EXPECT_FALSE(fs::exists(at("img/b.ran")));

    writeImage("all: a dyn { NO_TOOL }\n" + marker("a") + marker("b") +
               "dyn: b @later { NO_TOOL later = \"zz::libz\" }\n");
    run = tolm({}, "img");
    EXPECT_TRUE(hasLine(run.out, "Error: Unit 'img/zz' not found (dependency 'zz::libz' of target 'img/img::dyn')." +
                                     units)) << run.out;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(fs::exists(at("img/a.ran")));
    EXPECT_FALSE(fs::exists(at("img/b.ran")));
}

// The shapes example without a profile imports nothing: it stops before any command, for want of
// the library's project, as the README says.
TEST_F(TargetNamesScenario, ExampleWithoutItsImport) {
    fs::copy(fs::path(TOLM_SOURCE_DIR) / "examples/shapes", work_.path(), fs::copy_options::recursive);
    const RunResult run = tolm({}, "app");
    EXPECT_EQ(run.out, "Starting build\nError: Namespace 'geometry' not found (dependency 'geometry/geo::libgeo' of "
                       "target 'shapes/shapes::main'). Units of project 'shapes': report, shapes.\n");
    EXPECT_EQ(run.exitCode, 1);
}

// Every form of a dependency that names an existing target builds, twice: a "+" dependency, an
// imported project's target in two spellings and with an alias, a template instance, another
// unit's target, a dynamic dependency, a command target; a target never visited may name what
// does not exist.
TEST_F(TargetNamesScenario, ValidFormsStillBuild) {
    writeImage("all: +zz/zz::libz ZZ/Zz::LIBZ => z p(v) => pv tests::t @extra cmd { NO_TOOL v = \"x\" extra = \"q\" }\n"
               "p(x): { cmdline = \"echo p ${x}\" }\n"
               "q: { cmdline = \"echo q\" }\n"
               "cmd: { ^made = P\"(cmd.txt)\" cmdline = \"echo cmd > cmd.txt\" }\n"
               "never: nope::x zz::libz { NO_TOOL }\n");
    for (int run = 0; run < 2; ++run) {
        const RunResult result = tolm({}, "img");
        EXPECT_EQ(result.exitCode, 0) << result.out;
        EXPECT_TRUE(hasLine(result.out, "[img::q] echo q\n")) << result.out;
    }
    EXPECT_TRUE(fs::exists(at("img/inner.txt")));
    EXPECT_TRUE(fs::exists(at("img/t.txt")));
    EXPECT_TRUE(fs::exists(at("img/cmd.txt")));
}

// A program depending on "GREET" beside a target declared "greet", built in turn by each spelling:
// the second run of each spelling builds nothing, and the objects go into one folder named as
// declared. The same holds for the spelling of the unit and of the project, and for the main
// unit's second name "1".
TEST_F(TargetNamesScenario, EverySpellingBuildsTheSameFiles) {
    writeProject("hello: GREET { C_FILES = P\"(hello.c)\" OBJS = GREET.objs OUTPUT_DIR = P\"(bin)\" }\n"
                 "greet: { C_FILES = P\"(greet.c)\" C_FLAGS = \"-c\" }\n",
                 tool("gnu-gcc"));
    write("greet.c", "int greet(void) { return 3; }\n");
    write("hello.c", "int greet(void);\nint main(void) { return greet(); }\n");
    RunResult run = tolm({"greet"});
    EXPECT_TRUE(hasLine(run.out, "[app::greet] Starting build job\n")) << run.out;
    run = tolm({});
    EXPECT_TRUE(hasLine(run.out, "[app::hello] Starting build job\n")) << run.out;
    EXPECT_FALSE(hasLine(run.out, "[app::greet] Starting build job\n")) << run.out;
    for (const Words& words : {Words{"GREET"}, Words{}, Words{"greet"}, Words{"DEMO/APP::Greet"}, Words{"1::GREET"}, Words{}}) {
        run = tolm(words);
        EXPECT_TRUE(ranNothing(run)) << run.out;
    }
    int folders = 0;
    for (const auto& entry : fs::directory_iterator(at("out/x86_64-linux-gnu/demo/app"))) {
        EXPECT_EQ(entry.path().filename(), "greet");
        ++folders;
    }
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(Scenario::runProgram(at("bin/hello"), {}, at("bin"), {}).exitCode, 3);
}

}  // namespace
