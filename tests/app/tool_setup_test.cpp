#include "app/tool_setup.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "parser/project_file_loader.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "types/project.h"

namespace {

class FakeMatcher : public Tolm::Matcher {
public:
    using Matcher::Matcher;
    std::unique_ptr<Matcher> clone() const override { return std::make_unique<FakeMatcher>(*this); }
    std::shared_ptr<Tolm::Builder> selectBuilder(const Tolm::TargetContext&) override { return nullptr; }
};

Tolm::Matcher* makeFake(Util::CiString name, Tolm::NameMap variables, Tolm::NameMap required) {
    return new FakeMatcher(name, {}, {}, variables, required);
}

// Test tool types for the lifetime of one test; the process-wide registry
// is put back as it was afterwards.
class FakeToolTypes {
public:
    FakeToolTypes() {
        auto add = [](const char* type, Tolm::MatcherFactory factory) {
            Tolm::registerMatcherFactory(type, "NULL", factory);
        };
        add("test-fake", makeFake);
        add("test-tolm-failure", [](Util::CiString, Tolm::NameMap, Tolm::NameMap) -> Tolm::Matcher* {
            throw Tolm::TolmException("No toolchain found.");
        });
        add("test-std-failure", [](Util::CiString, Tolm::NameMap, Tolm::NameMap) -> Tolm::Matcher* {
            throw std::runtime_error("probe crashed");
        });
    }
    ~FakeToolTypes() { Tolm::matcherRegistry() = saved_; }
    FakeToolTypes(const FakeToolTypes&) = delete;
    FakeToolTypes& operator=(const FakeToolTypes&) = delete;

private:
    Tolm::MatcherRegistry saved_ = Tolm::matcherRegistry();
};

// The tool blocks of a project file, as the user writes them.
Tolm::Project projectWithTools(const ScratchDir& scratch, const std::string& name, const std::string& tools) {
    Tolm::Project project(scratch.write(name + "/.tolm_project.txt", "name " + name + "\ntools {\n" + tools + "}\n"),
                          "");
    loadProjectFile(project);
    return project;
}

std::string namesOf(const Tolm::NameMap& map) {
    std::string names;
    for (const auto& [name, assignment] : map) names += (names.empty() ? "" : " ") + assignment.toString();
    return names;
}

// Every definition that cannot become a tool is skipped with the reason; a
// good one splits into variables and "!" requirements, without tool_type.
TEST(ToolSetup, CreatesMatchersFromDefinitions) {
    FakeToolTypes types;
    ScratchDir scratch;
    const struct {
        const char* block;
        std::string log;        // at level 6
        const char* variables;  // of the matcher made, or null for none
        const char* required;
    } cases[] = {
        {"tool_type = \"test-fake\" !CC = \"mycc\" X = 1 X = 2 if X = 2 { Y = 3 }", "", "X = 2", "CC = \"mycc\""},
        {"TOOL_TYPE = \"TEST-FAKE\"", "", "", ""},
        {"tool_type = \"test-fake\" tool_type", "Registry tool 't' has multiple 'tool_type' assignments. Skipping.\n",
         nullptr, nullptr},
        {"tool_type X = 1", "Registry tool 't' has empty 'tool_type'. Skipping.\n", nullptr, nullptr},
        {"X = 1", "Registry tool 't' has no 'tool_type'. Skipping.\n", nullptr, nullptr},
        {"tool_type = \"unknown\"", "Unable to create Registry tool 'unknown' for 't'.\n", nullptr, nullptr},
        {"tool_type = \"test-tolm-failure\"", "No toolchain found.\n", nullptr, nullptr},
        {"tool_type = \"test-std-failure\"",
         "Unable to create Registry tool 'test-std-failure' for 't': probe crashed\n", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const Tolm::Project project = projectWithTools(scratch, "p", std::string("t { ") + c.block + " }\n");
        TestSupport::LogCapture capture(6);
        auto matcher = createToolMatcher({"t", project.buildTools.at(0).context, "Registry"});
        EXPECT_EQ(capture.text(), c.log) << c.block;
        ASSERT_EQ(matcher != nullptr, c.variables != nullptr) << c.block;
        if (!matcher) continue;
        EXPECT_EQ(matcher->name, "t");
        EXPECT_EQ(namesOf(matcher->variables), c.variables) << c.block;
        EXPECT_EQ(namesOf(matcher->required), c.required) << c.block;
        EXPECT_EQ(matcher->conditions.size(), project.buildTools.at(0).context->conditions.size()) << c.block;
    }
    TestSupport::LogCapture capture(6);
    EXPECT_EQ(createToolMatcher({"t", nullptr, "Project p"}), nullptr);
    EXPECT_EQ(capture.text(), "Project p tool 't' has null context. Skipping.\n");
}

// The built-in tools come first; a registry tool of the same name replaces
// one with a warning; project tools carry their namespace, the root
// project's before its imports', and a project without a name none, so its
// tool may replace a registry tool. Each tool's place is kept for selection.
TEST(ToolSetup, ToolMapAcrossOrigins) {
    FakeToolTypes types;
    Tolm::registerMatcherFactory("command", "NULL", makeFake);
    Tolm::registerMatcherFactory("no_tool", "NULL", makeFake);
    ScratchDir scratch;
    TolmApplication app;
    auto root = std::make_shared<Tolm::Project>(
        projectWithTools(scratch, "app", "cc { tool_type = \"test-fake\" }\nbad { }\n"));
    auto lib = std::make_shared<Tolm::Project>(projectWithTools(scratch, "lib", "cc { tool_type = \"test-fake\" }\n"));
    lib->name.clear();
    root->importedProjects = {lib, lib};

    TestSupport::LogCapture capture(6);
    app.CreateStaticTools();
    app.AddTool({"DEFAULT_NO_TOOL", std::make_shared<Tolm::ContextTemplate>(std::vector{TestSupport::set(
                                        "tool_type", TestSupport::str("test-fake"))}),
                 "Registry"});
    app.AddTool({"cc", root->buildTools[0].context, "Registry"});
    app.AddProjectTools(root);
    EXPECT_EQ(capture.text(),
              "Tool 'DEFAULT_NO_TOOL' from Registry overrides an earlier tool with the same name.\n"
              "Project app tool 'app/bad' has no 'tool_type'. Skipping.\n"
              "Tool 'cc' from Project  overrides an earlier tool with the same name.\n");
    EXPECT_EQ(app.registryTools, std::set<Util::CiString>{"default_no_tool"});
    EXPECT_EQ(app.projectTools, (std::set<Util::CiString>{"app/cc", "cc"}));

    std::string names;
    for (const auto& [name, matcher] : app.tools) names += name.str() + "=" + matcher->name + " ";
    EXPECT_EQ(names, "app/cc=app/cc cc=cc default_basic=default_basic default_no_tool=DEFAULT_NO_TOOL ");
    EXPECT_EQ(namesOf(app.tools.at("default_basic")->required), "cmdline = ");
}

}  // namespace
