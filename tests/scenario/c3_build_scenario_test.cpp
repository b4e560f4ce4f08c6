// C3 builds with the real binary through the stand-in c3c: what the compiler is asked to do, what
// the cache spares it on the next runs, and where two projects' targets of one name go.

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "tools/fake_c3c.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

class C3BuildScenario : public TolmScenario {
protected:
    void SetUp() override {
        FakeC3c::write(compiler(), "0.7.0");
        write("src/main.c3", "fn void main() {}\n");
        write("src/lib.c3", "fn int answer() => 42;\n");
    }

    std::filesystem::path compiler() const { return at("c3/c3c"); }
    Calls builds() const { return FakeC3c::calls(compiler(), true); }
    std::size_t probes() const { return FakeC3c::calls(compiler()).size() - builds().size(); }
    // A file in the default output directory of the C3 tool, relative to the project.
    static std::string output(const std::string& file) { return "out/c3c-0.7.0/demo/app/" + file; }
};

// The stand-in gets exactly the arguments meant, link flags written as one text a word at a time
// after a "-z" each, and leaves the output; the next run probes the compiler's version at tool
// set-up but builds nothing. An executable links the path a static library's outputs name, so a
// rebuilt library rebuilds it; a touched source rebuilds its own target. Cache records and output
// directories carry the namespace: with one output root for two projects, their u::lib targets
// are both built (neither is a hit on the other's record), into directories of their own.
TEST_F(C3BuildScenario, BuildsAcrossRuns) {
    write(".tolm_project.txt", "name demo\nimport { \"other/.tolm_project.txt\"; }\n" + tool("c3c", at("c3")) +
                                   "units { app { \"tolm.txt\" } u { \"u.txt\" } }\n");
    write("tolm.txt", R"unit(unit app
app: { C3_FILES = [P"(src/main.c3)"] C3C_FLAGS = "-O1 -g" LINK_FLAGS = "now relro" }
prog: mylib { C3_FILES = [P"(src/main.c3)"] LINK_FLAGS = [mylib.lib] }
mylib: { C3_FILES = [P"(src/lib.c3)"] STATIC }
both: u::lib other/u::lib { cmdline = "true" }
)unit");
    write("u.txt", "unit u\nlib: { C3_FILES = [P\"(src/lib.c3)\"] EXE }\n");
    write("other/.tolm_project.txt", "name other\nunits { u { \"tolm.txt\" } }\n");
    write("other/tolm.txt", "unit u\nlib: { C3_FILES = [P\"(b.c3)\"] EXE }\n");
    write("other/b.c3", "");
    const std::vector<std::string> app = {"-O1", "-g", "-o", "app", "-z", "now", "-z", "relro", "compile",
                                          at("src/main.c3")};
    const std::vector<std::string> library = {"-o", "mylib", "static-lib", at("src/lib.c3")};
    const std::vector<std::string> prog = {"-o", "prog", "-z", at(output("mylib/mylib")), "compile", at("src/main.c3")};

    const RunResult first = tolm({"app"});
    EXPECT_EQ(first.out, "Starting build\n[app::app] Visiting target\n[app::app] Starting build job\n"
                         "[app::app] Output dir: " + at(output("app")) + "\n"
                         "[app::app] \"" + compiler().string() + "\" -O1 -g -o \"app\" -z \"now\" -z \"relro\" compile \"" +
                         at("src/main.c3") + "\"\n[app::app] Build done\n");
    EXPECT_EQ(builds(), Calls{app});
    EXPECT_TRUE(std::filesystem::exists(at(output("app/app"))));
    EXPECT_EQ(probes(), 1u);

    const RunResult second = tolm({"app"});
    EXPECT_EQ(second.out, "Starting build\n[app::app] Visiting target\n[app::app] Build done\n");
    EXPECT_EQ(builds(), Calls{app});
    EXPECT_EQ(probes(), 2u);

    ASSERT_EQ(tolm({"prog"}).exitCode, 0);
    ASSERT_EQ(tolm({"prog"}).exitCode, 0);
    EXPECT_EQ(builds(), (Calls{app, library, prog}));
    write("src/lib.c3", "fn int answer() => 7;\n");
    makeOlder(output("mylib/mylib"), "src/lib.c3");
    ASSERT_EQ(tolm({"prog"}).exitCode, 0);
    write("src/main.c3", "fn void main() { return; }\n");
    makeOlder(output("app/app"), "src/main.c3");
    ASSERT_EQ(tolm({"app"}).exitCode, 0);
    EXPECT_EQ(builds(), (Calls{app, library, prog, library, prog, app}));

    const std::string root = "OUTPUT_DEF_DIR=\"" + at("out") + "\"";
    const RunResult both = tolm({"both", root});
    EXPECT_TRUE(hasLine(both.out, "[u::lib] Output dir: " + at("out/c3c-0.7.0/demo/u/lib") + "\n")) << both.out;
    EXPECT_TRUE(hasLine(both.out, "[u::lib] Output dir: " + at("out/c3c-0.7.0/other/u/lib") + "\n"));
    EXPECT_EQ(tolm({"both", root}).out.find("Output dir"), std::string::npos);
}

}  // namespace
