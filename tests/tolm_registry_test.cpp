#include "tolm_registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "scenario/scratch_dir.h"
#include "types/context_template.h"
#include "types/project.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace {

using Tolm::Assignment;

// Keeps the registry's log lines out of the test output.
struct QuietLog {
    QuietLog() { Log::verbosity = 8; }
    ~QuietLog() { Log::verbosity = saved; }
    int saved = Log::verbosity;
};

class TolmRegistrySave : public ::testing::Test {
protected:
    void SetUp() override { registry.path = scratch.path() / ".tolm_registry.txt"; }

    std::string saved()
    {
        registry.save();
        std::ifstream in(registry.path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string saveError()
    {
        try {
            registry.save();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    }

    QuietLog quiet;
    ScratchDir scratch;
    TolmRegistry registry;
};

// An empty registry is an empty file, and nothing else is left beside it.
TEST_F(TolmRegistrySave, EmptyRegistryWritesEmptyFile)
{
    scratch.write(".tolm_registry.txt", "projects {\n  old \"/x\"\n}\n");
    EXPECT_EQ(saved(), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
}

// Projects only: case-insensitive name order, names as stored, no tools part.
TEST_F(TolmRegistrySave, ProjectsOnlyLayout)
{
    registry.projects.emplace("lib", "/src/lib/.tolm_project.txt");
    registry.projects.emplace("App", "/src/app/.tolm_project.txt");
    EXPECT_EQ(saved(), "projects {\n"
                       "  App \"/src/app/.tolm_project.txt\"\n"
                       "  lib \"/src/lib/.tolm_project.txt\"\n"
                       "}\n");
}

// An empty line separates the sections; a tool without a block gets only
// its opening and closing lines.
TEST_F(TolmRegistrySave, ProjectsAndToolsLayout)
{
    registry.projects.emplace("app", "/src/app/.tolm_project.txt");
    registry.tools.emplace("gcc-12", std::make_shared<Tolm::ContextTemplate>(std::vector<Assignment>{
        Assignment("toolchain_type", Tolm::makeStringValue("gnu-gcc"), Assignment::AssignType::Set, 0),
        Assignment("CC", Tolm::makeIntValue(12), Assignment::AssignType::Append, 0)}));
    registry.tools.emplace("empty", nullptr);
    EXPECT_EQ(saved(), "projects {\n"
                       "  app \"/src/app/.tolm_project.txt\"\n"
                       "}\n"
                       "\n"
                       "tools {\n"
                       "  empty {\n"
                       "  }\n"
                       "  gcc-12 {\n"
                       "    toolchain_type = \"gnu-gcc\"\n"
                       "    CC += 12\n"
                       "  }\n"
                       "}\n");
    registry.projects.clear();
    EXPECT_EQ(saved().rfind("tools {\n  empty {\n", 0), 0u);
}

// Names the reader would refuse, and paths holding a quote, are left out.
TEST_F(TolmRegistrySave, UnwritableNamesAreLeftOut)
{
    registry.projects.emplace("tools", "/a/.tolm_project.txt");
    registry.projects.emplace("quoted", "/a\"b/.tolm_project.txt");
    registry.tools.emplace("has space", nullptr);
    registry.tools.emplace("", nullptr);
    EXPECT_EQ(saved(), "");
}

// A file that cannot be created fails before anything is written.
TEST_F(TolmRegistrySave, OpenFailureThrows)
{
    scratch.write("plain", "x");
    registry.path = scratch.path() / "plain" / ".tolm_registry.txt";
    EXPECT_EQ(saveError(), "Unable to open registry file for writing: " + registry.path.string());
}

// When the file cannot be replaced the old one stays and no temporary file
// is left behind.
TEST_F(TolmRegistrySave, FailedReplaceKeepsOldFile)
{
    std::filesystem::create_directories(registry.path / "inside");
    registry.projects.emplace("app", "/src/app/.tolm_project.txt");
    EXPECT_EQ(saveError(), "Unable to write registry file: " + registry.path.string());
    EXPECT_TRUE(std::filesystem::is_directory(registry.path / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
}

// One entry per name ignoring case: the same path changes nothing, another
// path replaces the stored one under the first spelling.
TEST(TolmRegistryAddProject, OneEntryPerName)
{
    QuietLog quiet;
    TolmRegistry registry;
    auto project = std::make_shared<Tolm::Project>("/a/.tolm_project.txt", "Demo");
    registry.addProject(project);
    registry.addProject(project);
    registry.addProject(std::make_shared<Tolm::Project>("/b/.tolm_project.txt", "DEMO"));
    ASSERT_EQ(registry.projects.size(), 1u);
    EXPECT_EQ(registry.projects.begin()->first.str(), "Demo");
    EXPECT_EQ(registry.projects.begin()->second, "/b/.tolm_project.txt");
}

}  // namespace
