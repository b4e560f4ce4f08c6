// The walk inside one process, with units, projects and tools set up by hand:
// what the build driver builds from the files is given here directly.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/build_cache.h"
#include "parser/visit_helpers.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tolm_app.h"
#include "tools/matcher.h"
#include "tools/tool_test_support.h"
#include "types/project.h"

namespace {

using namespace TestSupport;

class TargetWalkTest : public ::testing::Test {
protected:
    TargetWalkTest() {
        Tolm::registerToolTypes();
        app.tools["default_basic"] = std::shared_ptr<Tolm::Matcher>(
            Tolm::Matcher::create("command", "default_basic", {}, ToolTestSupport::mapOf({declare("cmdline")})));
        app.project = projectNamed("proj");
        app.unitRegistry.defaultNamespace = "proj";
        app.unitRegistry.defaultUnit = "main";
        app.buildCache = std::make_unique<BuildCache>(dir.path() / ".tolm_cache");
        app.outputsFile = (dir.path() / "outputs.txt").string();
    }

    Tolm::ProjectPtr projectNamed(const std::string& name) {
        return std::make_shared<Tolm::Project>(dir.path() / name / ".tolm_project.txt", name);
    }
    // Adds the unit file's unit to the project.
    void unit(const std::string& text) {
        std::shared_ptr<Tolm::Unit> parsed = ParserTest::unitOf(text);
        app.unitRegistry.add("proj", parsed->name, parsed);
    }
    // Builds the main target; "" or the failure, and what the log shows at that verbosity.
    std::string build(const std::string& target, int verbosity, std::string* log = nullptr) {
        app.mainTarget = {"", "main", target};
        LogCapture capture(verbosity);
        const std::string failure = failureOf([&] { app.StartBuild(); });
        const std::string text = capture.text();
        if (log) *log = text;
        return failure == "no failure" ? "" : failure;
    }

    ScratchDir dir;
    TolmApplication app;
};

// Two projects with one name are an error before anything is built. (A project imported along
// two paths is one project: the build scenarios show it.)
TEST_F(TargetWalkTest, NamespaceUsedTwice) {
    unit("unit main\napp: {cmdline = \"true\"}\n");
    app.project->importedProjects = {projectNamed("shared"), projectNamed("SHARED")};
    std::string log;
    EXPECT_EQ(build("app", 5, &log), "Project namespace 'SHARED' is used more than once.");
    EXPECT_EQ(log, "Starting build\n");
}

// The runtime context: built-in variables, project_root, the "default" profile, the chosen
// profile with PROFILE, then the command line (not in command mode).
TEST_F(TargetWalkTest, RuntimeContextLayers) {
    app.builtinContext.addAssignment(set("os_family", str("unix")), 0);
    app.builtinContext.addAssignment(set("A", str("builtin")), 0);
    app.project->profiles["default"] = Tolm::Profile{"default", std::make_shared<Tolm::ContextTemplate>(
                                                                    std::vector<Tolm::Assignment>{set("A", str("default")), set("B", str("default"))})};
    app.project->profiles["fast"] = Tolm::Profile{"fast", std::make_shared<Tolm::ContextTemplate>(
                                                              std::vector<Tolm::Assignment>{set("B", str("fast"))})};
    app.project->selectedProfile = "fast";
    app.commandLineContext.addAssignment(set("C", str("cli")), 0);
    const struct {
        bool commandMode;
        const char* dump;
    } cases[] = {
        {false, "{\nA = \"default\"\nB = \"fast\"\nC = \"cli\"\nos_family = \"unix\"\nPROFILE = \"fast\"\nproject_root = \""},
        {true, "{\nA = \"default\"\nB = \"fast\"\nos_family = \"unix\"\nPROFILE = \"fast\"\nproject_root = \""},
    };
    for (const auto& c : cases) {
        app.commandMode = c.commandMode;
        LogCapture capture(5);
        app.CreateImplicitContextForProject(app.project)->dump(5);
        EXPECT_EQ(capture.text(), std::string(c.dump) + (dir.path() / "proj").string() + "\"\n}\n\n");
    }
    app.project->selectedProfile = "missing";
    EXPECT_EQ(failureOf([&] { app.CreateImplicitContextForProject(app.project); }), "profile 'missing' not found.");
}

// An output variable the runtime context also sets is exported with the target's own value.
TEST_F(TargetWalkTest, ExportsOwnOutputValues) {
    app.commandLineContext.addAssignment(set("OUT", str("global")), 0);
    unit("unit main\napp: {cmdline = \"true\" ^OUT = \"mine\"}\n");
    EXPECT_EQ(build("app", 5), "");
    EXPECT_EQ(contentOf(app.outputsFile), "OUT = \"mine\"\n");
}

}  // namespace
