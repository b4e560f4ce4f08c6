// C3 builds with the real binary through the stand-in c3c: what the compiler is asked to do, what
// the cache spares it on the next runs, and where two projects' targets of one name go.

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "tools/fake_c3c.h"

namespace {

using Scenario::RunResult;
using Calls = std::vector<std::vector<std::string>>;

class C3BuildScenario : public TolmScenario {
protected:
    void SetUp() override {
        FakeC3c::write(compiler(), "0.7.0");
        write(".tolm_project.txt", "name demo\ntools {\n  c3 { tool_type = \"c3c\" toolchain_path = \"" + at("c3") +
                                       "\" }\n}\nunits {\n  main { \"tolm.txt\" }\n}\n");
        write("src/main.c3", "fn void main() {}\n");
        write("src/lib.c3", "fn int answer() => 42;\n");
    }

    std::filesystem::path compiler() const { return at("c3/c3c"); }
    Calls builds() const { return FakeC3c::calls(compiler(), true); }
    std::size_t probes() const { return FakeC3c::calls(compiler()).size() - builds().size(); }
    // A file in the default output directory of the C3 tool, relative to the project.
    static std::string output(const std::string& file) { return "out/c3c-0.7.0/demo/main/" + file; }
};

// An executable: the stand-in gets exactly the arguments meant, link flags written as one text a
// word at a time after a "-z" each, and leaves the output; the next run probes the compiler's
// version at tool set-up but builds nothing; a touched source rebuilds.
TEST_F(C3BuildScenario, ExecutableAcrossRuns) {
    write("tolm.txt", "unit main\napp: { C3_FILES = [P\"(src/main.c3)\"] C3C_FLAGS = \"-O1 -g\" LINK_FLAGS = \"now relro\" }\n");
    const Calls build = {{"-O1", "-g", "-o", "app", "-z", "now", "-z", "relro", "compile", at("src/main.c3")}};

    const RunResult first = tolm({"app"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(first.out, "Starting build\n[main::app] Visiting target\n[main::app] Starting build job\n"
                         "[main::app] Output dir: " + at(output("app")) + "\n"
                         "[main::app] \"" + compiler().string() + "\" -O1 -g -o \"app\" -z \"now\" -z \"relro\" compile \"" +
                         at("src/main.c3") + "\"\n[main::app] Build done\n");
    EXPECT_EQ(builds(), build);
    EXPECT_TRUE(std::filesystem::exists(at(output("app/app"))));
    EXPECT_EQ(probes(), 1u);

    const RunResult second = tolm({"app"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.out, "Starting build\n[main::app] Visiting target\n[main::app] Build done\n");
    EXPECT_EQ(builds(), build);
    EXPECT_EQ(probes(), 2u);

    write("src/main.c3", "fn void main() { return; }\n");
    makeOlder(output("app/app"), "src/main.c3");
    ASSERT_EQ(tolm({"app"}).exitCode, 0);
    EXPECT_EQ(builds(), (Calls{build[0], build[0]}));
}

// A static library feeding an executable through a dependency: the executable links the path the
// library's outputs name, so a rebuilt library rebuilds it.
TEST_F(C3BuildScenario, StaticLibraryFeedsExecutable) {
    write("tolm.txt", R"unit(unit main
app: mylib { C3_FILES = [P"(src/main.c3)"] LINK_FLAGS = [mylib.lib] }
mylib: { C3_FILES = [P"(src/lib.c3)"] STATIC }
)unit");
    const std::vector<std::string> library = {"-o", "mylib", "static-lib", at("src/lib.c3")};
    const std::vector<std::string> executable = {"-o", "app", "-z", at(output("mylib/mylib")), "compile", at("src/main.c3")};

    const RunResult first = tolm({"app"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(builds(), (Calls{library, executable}));
    EXPECT_TRUE(std::filesystem::exists(at(output("mylib/mylib"))));
    EXPECT_TRUE(std::filesystem::exists(at(output("app/app"))));

    ASSERT_EQ(tolm({"app"}).exitCode, 0);
    EXPECT_EQ(builds(), (Calls{library, executable}));

    write("src/lib.c3", "fn int answer() => 7;\n");
    makeOlder(output("mylib/mylib"), "src/lib.c3");
    ASSERT_EQ(tolm({"app"}).exitCode, 0);
    EXPECT_EQ(builds(), (Calls{library, executable, library, executable}));
}

// Cache records and output directories carry the namespace: with one output root for both
// projects, their u::lib targets are both built (neither is a hit on the other's record), into
// directories of their own, and the next run finds both built.
TEST_F(C3BuildScenario, NamespacesKeepRecordsAndDirectoriesApart) {
    write(".tolm_project.txt", "name demo\nimport {\n  \"other/.tolm_project.txt\";\n}\ntools {\n  c3 { tool_type = "
                               "\"c3c\" toolchain_path = \"" + at("c3") + "\" }\n}\nunits {\n  main { \"tolm.txt\" }\n"
                               "  u { \"u.txt\" }\n}\n");
    write("tolm.txt", "unit main\napp: u::lib other/u::lib { cmdline = \"true\" }\n");
    write("u.txt", "unit u\nlib: { C3_FILES = [P\"(src/lib.c3)\"] EXE }\n");
    write("other/.tolm_project.txt", "name other\nunits {\n  u { \"tolm.txt\" }\n}\n");
    write("other/tolm.txt", "unit u\nlib: { C3_FILES = [P\"(b.c3)\"] EXE }\n");
    write("other/b.c3", "");
    const std::string root = "OUTPUT_DEF_DIR=\"" + at("out") + "\"";
    const RunResult run = tolm({"app", root});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[u::lib] Output dir: " + at("out/c3c-0.7.0/demo/u/lib") + "\n")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "[u::lib] Output dir: " + at("out/c3c-0.7.0/other/u/lib") + "\n"));

    const RunResult again = tolm({"app", root});
    EXPECT_EQ(again.out.find("Output dir"), std::string::npos) << again.out;
}

}  // namespace
