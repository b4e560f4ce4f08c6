// The walk inside one process, with units, projects and tools set up by hand:
// what the build driver builds from the files is given here directly.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <fmt/format.h>

#include "app/build_cache.h"
#include "app/visit_chain.h"
#include "parser/visit_helpers.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tolm_app.h"
#include "tools/matcher.h"
#include "tools/tool_test_support.h"
#include "types/context_template.h"
#include "types/project.h"
#include "types/target.h"
#include "types/target_context.h"

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

// Without a project the walk starts from the implicit context: built-in variables, the active
// profile with PROFILE, then the command line (not in command mode, where "-d" prints it apart).
TEST_F(TargetWalkTest, ImplicitContextWithoutProject) {
    app.project = nullptr;
    app.unitRegistry.defaultNamespace = "";
    std::shared_ptr<Tolm::Unit> parsed = ParserTest::unitOf("unit main\napp: {cmdline = \"true\" ^seen = A}\n");
    app.unitRegistry.add("", "main", parsed);
    app.builtinContext.addAssignment(set("A", str("builtin")), 0);
    app.builtinContext.addAssignment(set("B", str("builtin")), 0);
    app.activeProfile = std::make_shared<Tolm::Profile>(Tolm::Profile{
        "fast", std::make_shared<Tolm::ContextTemplate>(std::vector<Tolm::Assignment>{set("A", str("fast"))})});
    app.commandLineContext.addAssignment(set("B", str("cli")), 0);
    app.dumpContexts = true;
    const struct {
        bool commandMode;
        const char* dump;
    } cases[] = {
        {false, "Starting build\nImplicit context:\n{\nA = \"fast\"\nB = \"cli\"\nPROFILE = \"fast\"\n}\n\n"},
        {true, "Starting build\nImplicit context:\n{\nA = \"fast\"\nB = \"builtin\"\nPROFILE = \"fast\"\n}\n\n"
               "{\nB = \"cli\"\n}\n\n"},
    };
    for (const auto& c : cases) {
        app.commandMode = c.commandMode;
        app.implicitContext.assignments.clear();
        std::string log;
        EXPECT_EQ(build("app", 5, &log), "");
        EXPECT_TRUE(log.starts_with(c.dump)) << log;
        EXPECT_EQ(contentOf(app.outputsFile), "seen = \"fast\"\n");
    }
}

// An output variable the runtime context also sets is exported with the target's own value.
TEST_F(TargetWalkTest, ExportsOwnOutputValues) {
    app.commandLineContext.addAssignment(set("OUT", str("global")), 0);
    unit("unit main\napp: {cmdline = \"true\" ^OUT = \"mine\"}\n");
    EXPECT_EQ(build("app", 5), "");
    EXPECT_EQ(contentOf(app.outputsFile), "OUT = \"mine\"\n");
}

// A dotted name whose last part names nothing: the error names the target and the name as written
// and, when the first part names a dependency (by target, alias or unit), what that dependency
// gives.
TEST_F(TargetWalkTest, UnknownMemberNamesTargetAndOutputs) {
    unit("unit main\n"
         "none: quiet { cmdline = \"true\" X = quiet.so }\n"
         "some: lib { cmdline = \"true\" X = lib.so }\n"
         "aliased: lib => L { cmdline = \"true\" X = L.so }\n"
         "merged: lib +> M { cmdline = \"true\" X = M.so }\n"
         "fromunit: other::lib2 { cmdline = \"true\" X = other.lib2.so }\n"
         "plain: { cmdline = \"true\" Y = { k = \"1\" } X = Y.so }\n"
         "quiet: { cmdline = \"true\" }\n"
         "lib: { cmdline = \"true\" ^bin = \"b\" ^BIN_NAME = \"n\" }\n");
    unit("unit other\nlib2: { cmdline = \"true\" ^so_name = \"s\" }\n");
    const std::string missing = "Variable '{}' not found in target 'main::{}'.";
    const struct {
        const char* target;
        const char* reference;
        std::string more;
    } cases[] = {
        {"none", "quiet.so", " Dependency 'quiet' has no outputs."},
        {"some", "lib.so", " Outputs of dependency 'lib': bin, BIN_NAME."},
        {"aliased", "L.so", " Outputs of dependency 'L': bin, BIN_NAME."},
        {"merged", "M.so", " Outputs of dependency 'M': bin, BIN_NAME."},
        {"fromunit", "other.lib2.so", " Outputs of dependency 'other.lib2': so_name."},
        {"plain", "Y.so", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(build(c.target, 7), fmt::format(fmt::runtime(missing), c.reference, c.target) + c.more) << c.target;
}

// A name of another unit followed by a target that unit will not hold, or by anything when the
// target's own variable (not a context value) takes the unit's name, fails before any dependency
// is walked, wherever the reference stands; it never fails what would build, and where outputs
// appended with "+" could still bring the name, the lookup after the build says the same.
TEST_F(TargetWalkTest, UnitReferencesCheckedBeforeBuilding) {
    unit("unit main\n"
         "nested: other::lib2 { cmdline = \"true\" X = [\"a\", { k = other.lib3.so }] }\n"
         "index: other::lib2 { cmdline = \"true\" Y = { a = \"1\" } X = Y[other.lib3] }\n"
         "parameter: other::lib2 show(other.lib3) { cmdline = \"true\" }\n"
         "appended: other::lib2 +lib { cmdline = \"true\" X = other.lib3 }\n"
         "listed: other::lib2 { cmdline = \"true\" OTHER = [\"p\"] X = other.lib2.so_name }\n"
         "held: other::lib2 { cmdline = \"true\" other = { extra = \"e\" } X = other.extra }\n"
         "aliased: other::lib2 lib => other { cmdline = \"true\" X = other.bin }\n"
         "show(v): { cmdline = \"true\" }\n"
         "lib: { cmdline = \"true\" ^bin = \"b\" }\n");
    unit("unit other\nlib2: { cmdline = \"true\" ^so_name = \"s\" }\n");
    const std::string targets = " Targets of unit 'other' it depends on: lib2.";
    const struct {
        const char* target;
        std::string failure;
        bool walked;
    } cases[] = {
        {"nested", "Variable 'other.lib3.so' not found in target 'main::nested'." + targets, false},
        {"index", "Variable 'other.lib3' not found in target 'main::index'." + targets, false},
        {"parameter", "Variable 'other.lib3' not found in target 'main::parameter'." + targets, false},
        {"appended", "Variable 'other.lib3' not found in target 'main::appended'." + targets, true},
        {"listed", "Variable 'other.lib2.so_name' not found in target 'main::listed'. Unit name 'other' of "
                   "dependency 'other::lib2' clashes with variable 'OTHER'; the variable was taken.", false},
        {"held", "", true},
        {"aliased", "", true},
    };
    for (const auto& c : cases) {
        std::string log;
        EXPECT_EQ(build(c.target, 5, &log), c.failure) << c.target;
        EXPECT_EQ(log.find("[other::lib2] Visiting target") != std::string::npos, c.walked) << c.target << log;
    }
}

// The key of an instance tells apart every name (ignoring case) and every parameter value by
// class and content, a path by its base too, a nested context by its conditional blocks too; two
// values share a key exactly when they share an instance name (cache record and output directory).
TEST(InstanceKeyTest, TellsInstancesApart) {
    const Tolm::QualifiedTargetName lib{"proj", "main", "lib"};
    EXPECT_EQ(instanceKey({"PROJ", "Main", "LIB"}, {}), instanceKey(lib, {}));
    EXPECT_NE(instanceKey({"other", "main", "lib"}, {}), instanceKey(lib, {}));
    EXPECT_NE(instanceKey({"proj", "mainlib", ""}, {}), instanceKey(lib, {}));
    // Two values are not one value holding both texts.
    EXPECT_NE(instanceKey(lib, {str("a"), str("b")}), instanceKey(lib, {str("a1:b")}));
    // An empty text is a value: its instance is not the one without values.
    EXPECT_NE(instanceKey(lib, {str("")}), instanceKey(lib, {}));

    auto path = [](const std::string& base, std::string text) { return Tolm::makePathStringValue(base, std::move(text)); };
    auto guarded = [](const std::string& right) {
        auto nested = contextValue({set("A", str("1"))});
        nested->context->conditions.emplace_back(
            Tolm::Condition{ref("A"), str(right), Tolm::Condition::OperatorType::Equal},
            std::make_shared<Tolm::ContextTemplate>(std::vector{set("B", str("2"))}));
        return nested;
    };
    const struct {
        TolmValuePtr a, b;
        bool same;
    } values[] = {
        {str("x"), str("x"), true},
        {str("x"), str("X"), false},
        {str("x"), raw("x"), false},
        {str("x"), path("", "x"), false},
        {str(""), nullptr, false},
        {num(1), str("1"), false},
        {path("/p", "a.c"), path("/p", "a.c"), true},
        {path("/p", "a.c"), path("/q", "a.c"), false},
        {listOf({str("a"), str("b")}), listOf({str("a"), str("b")}), true},
        {listOf({str("a b")}), listOf({str("a"), str("b")}), false},
        {contextValue({set("A", str("1"))}), contextValue({set("a", str("1"))}), false},
        {contextValue({set("A", str("1"))}), contextValue({append("A", str("1"))}), false},
        {contextValue({set("A", str("1"))}), contextValue({set("A", str("1"), 1)}), false},
        {guarded("1"), guarded("1"), true},
        {guarded("1"), guarded("2"), false},
        {listOf({guarded("1")}), listOf({contextValue({set("A", str("1"))})}), false},
    };
    Tolm::Target target;
    target.name = lib;
    target.parameters = {"p"};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const auto& v = values[i];
        EXPECT_EQ(instanceKey(lib, {v.a}) == instanceKey(lib, {v.b}), v.same) << i;
        EXPECT_EQ(Tolm::TargetContext(target, {v.a}).instanceName() == Tolm::TargetContext(target, {v.b}).instanceName(),
                  v.same) << i;
    }
}

}  // namespace
