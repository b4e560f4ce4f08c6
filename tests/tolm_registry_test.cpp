#include "tolm_registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "scenario/scratch_dir.h"
#include "types/context_template.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace {

using Tolm::Assignment;

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::shared_ptr<Tolm::ContextTemplate> toolBlock(std::vector<Assignment> assignments)
{
    return std::make_shared<Tolm::ContextTemplate>(std::move(assignments));
}

// Keeps the registry's log lines out of the test output.
struct QuietLog {
    QuietLog() { Log::verbosity = 8; }
    ~QuietLog() { Log::verbosity = saved; }
    int saved = Log::verbosity;
};

class TolmRegistrySave : public ::testing::Test {
protected:
    void SetUp() override { registry.path = scratch.path() / ".tolm_registry.txt"; }

    QuietLog quiet;
    ScratchDir scratch;
    TolmRegistry registry;
};

// A registry with neither projects nor tools is written as an empty file.
TEST_F(TolmRegistrySave, EmptyRegistryWritesEmptyFile)
{
    scratch.write(".tolm_registry.txt", "projects {\n  old \"/x\"\n}\n");
    registry.save();
    EXPECT_EQ(readFile(registry.path), "");
    // Nothing but the file itself is left in the directory.
    auto entries = std::distance(std::filesystem::directory_iterator(scratch.path()),
                                 std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
}

// Projects only: one line per project in case-insensitive name order, each
// name as stored, and no tools section.
TEST_F(TolmRegistrySave, ProjectsOnlyLayout)
{
    registry.projects.emplace("lib", "/src/lib/.tolm_project.txt");
    registry.projects.emplace("App", "/src/app/.tolm_project.txt");
    registry.save();
    EXPECT_EQ(readFile(registry.path),
              "projects {\n"
              "  App \"/src/app/.tolm_project.txt\"\n"
              "  lib \"/src/lib/.tolm_project.txt\"\n"
              "}\n");
}

// With tools an empty line separates the sections; a tool without a block
// is written as its opening and closing lines.
TEST_F(TolmRegistrySave, ProjectsAndToolsLayout)
{
    registry.projects.emplace("app", "/src/app/.tolm_project.txt");
    registry.tools.emplace("gcc-12", toolBlock({
        Assignment("toolchain_type", Tolm::makeStringValue("gnu-gcc"), Assignment::AssignType::Set, 0),
        Assignment("toolchain_version", Tolm::makeIntValue(12), Assignment::AssignType::Set, 0),
    }));
    registry.tools.emplace("empty", nullptr);
    registry.save();
    EXPECT_EQ(readFile(registry.path),
              "projects {\n"
              "  app \"/src/app/.tolm_project.txt\"\n"
              "}\n"
              "\n"
              "tools {\n"
              "  empty {\n"
              "  }\n"
              "  gcc-12 {\n"
              "    toolchain_type = \"gnu-gcc\"\n"
              "    toolchain_version = 12\n"
              "  }\n"
              "}\n");
}

// Tools only: no projects section at all.
TEST_F(TolmRegistrySave, ToolsOnlyLayout)
{
    registry.tools.emplace("clang", toolBlock({Assignment("CC", Tolm::makeStringValue("clang"),
                                                          Assignment::AssignType::Append, 0)}));
    registry.save();
    EXPECT_EQ(readFile(registry.path), "tools {\n  clang {\n    CC += \"clang\"\n  }\n}\n");
}

// Entries the file could not read back are left out, never written broken.
TEST_F(TolmRegistrySave, UnwritableEntriesAreLeftOut)
{
    registry.projects.emplace("tools", "/a/.tolm_project.txt");    // a keyword
    registry.projects.emplace("quoted", "/a\"b/.tolm_project.txt"); // quote in path
    registry.tools.emplace("has space", nullptr);
    registry.tools.emplace("gcc", toolBlock({
        Assignment("Q", Tolm::makeStringValue("say \"hi\""), Assignment::AssignType::Set, 0),
        Assignment("OK", Tolm::makeStringValue("fine"), Assignment::AssignType::Set, 0),
    }));
    registry.save();
    EXPECT_EQ(readFile(registry.path), "tools {\n  gcc {\n    OK = \"fine\"\n  }\n}\n");
}

// A file that cannot be created fails before anything is written.
TEST_F(TolmRegistrySave, OpenFailureThrows)
{
    scratch.write("plain", "x");
    registry.path = scratch.path() / "plain" / ".tolm_registry.txt";
    try {
        registry.save();
        FAIL() << "save succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to open registry file for writing: " + registry.path.string());
    }
}

// When the file cannot be replaced, the old content stays and no temporary
// file is left behind.
TEST_F(TolmRegistrySave, FailedReplaceKeepsOldFile)
{
    std::filesystem::create_directories(registry.path / "inside");
    registry.projects.emplace("app", "/src/app/.tolm_project.txt");
    try {
        registry.save();
        FAIL() << "save succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write registry file: " + registry.path.string());
    }
    EXPECT_TRUE(std::filesystem::is_directory(registry.path / "inside"));
    auto entries = std::distance(std::filesystem::directory_iterator(scratch.path()),
                                 std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
}

// Registering keeps one entry per name ignoring case: the same path changes
// nothing, another path replaces the stored one under the first spelling.
TEST(TolmRegistryAddProject, OneEntryPerName)
{
    QuietLog quiet;
    TolmRegistry registry;
    auto project = std::make_shared<Tolm::Project>("/a/.tolm_project.txt", "Demo");
    registry.addProject(project);
    registry.addProject(project);
    ASSERT_EQ(registry.projects.size(), 1u);

    registry.addProject(std::make_shared<Tolm::Project>("/b/.tolm_project.txt", "DEMO"));
    ASSERT_EQ(registry.projects.size(), 1u);
    EXPECT_EQ(registry.projects.begin()->first.str(), "Demo");
    EXPECT_EQ(registry.projects.begin()->second, "/b/.tolm_project.txt");
}

// A null project is an internal error.
TEST(TolmRegistryAddProject, NullProjectThrows)
{
    TolmRegistry registry;
    EXPECT_THROW(registry.addProject(nullptr), Tolm::InternalError);
}

}  // namespace
