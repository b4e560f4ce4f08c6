#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tolm_app.h"
#include "types/project.h"

namespace fs = std::filesystem;

namespace {

// Runs the body in `directory` and goes back, also when it throws.
class InDirectory {
public:
    explicit InDirectory(const fs::path& directory) : previous_(fs::current_path()) { fs::current_path(directory); }
    ~InDirectory() { fs::current_path(previous_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    fs::path previous_;
};

// Projects written into a scratch tree, loaded the way a run in `directory`
// loads them.
class ProjectLoading : public testing::Test {
protected:
    // A project with one unit "<name>u" holding target "t", and the given import lines.
    void project(const std::string& dir, const std::string& name, const std::string& imports) {
        scratch.write(dir + "/.tolm_project.txt", "name " + name + "\nimport {\n" + imports + "}\nunits { " + name +
                                                     "u { \"tolm.txt\" } }\nprofiles { fast { } slow { } }\n");
        scratch.write(dir + "/tolm.txt", "unit " + name + "u\nt: { }\n");
    }
    // Loads the project found from `dir` with the words into a new `app`;
    // the failure text, or "no failure".
    std::string load(const std::string& dir, std::vector<std::string> words = {}) {
        InDirectory here(scratch.path() / dir);
        app = std::make_unique<TolmApplication>();
        app->arguments = std::move(words);
        TestSupport::LogCapture quiet(8);
        return TestSupport::failureOf([&] {
            app->LoadRootProject();
            app->LoadUnits();
        });
    }

    ScratchDir scratch;
    std::unique_ptr<TolmApplication> app;
};

// A project imported twice under one namespace is one shared record; the same
// file under another name is a project of its own. (The build scenarios show
// a diamond read once.)
TEST_F(ProjectLoading, SameFileUnderTwoNames) {
    project("app", "app", "\"../base/.tolm_project.txt\";\n\"../base/.tolm_project.txt\";\n"
                          "\"../base/.tolm_project.txt\" other;\n");
    project("base", "base", "");
    ASSERT_EQ(load("app"), "no failure");
    const auto& imported = app->project->importedProjects;
    ASSERT_EQ(imported.size(), 3u);
    EXPECT_EQ(imported[0], imported[1]);
    EXPECT_NE(imported[2], imported[0]);
    EXPECT_EQ(imported[2]->name, "other");
    EXPECT_TRUE(app->unitRegistry.hasTarget("base/baseu::t"));
    EXPECT_TRUE(app->unitRegistry.hasTarget("other/baseu::t"));
}

// Profiles decide which imports apply and which profile an imported project
// selects; one shared project cannot select two.
TEST_F(ProjectLoading, ImportProfiles) {
    project("lib", "lib", "");
    project("app", "app", "fast: \"../lib/.tolm_project.txt\" (slow);\n");
    ASSERT_EQ(load("app"), "no failure");
    EXPECT_TRUE(app->project->importedProjects.empty());

    ASSERT_EQ(load("app", {"FAST"}), "no failure");
    ASSERT_EQ(app->project->importedProjects.size(), 1u);
    EXPECT_EQ(app->project->importedProjects[0]->selectedProfile, "slow");
    EXPECT_EQ(app->activeProfile->name, "fast");
}

// Imports that cannot be resolved fail, naming what is missing or in conflict.
TEST_F(ProjectLoading, ImportFailures) {
    const struct {
        const char* imports;
        std::string failure;
    } cases[] = {
        // A source profile the importing project lacks fails even when unused.
        {"missing: \"../lib/.tolm_project.txt\";\n", "profile 'missing' not found."},
        {"\"../lib/.tolm_project.txt\" (missing);\n", "profile 'missing' not found."},
        {"\"../nowhere/.tolm_project.txt\";\n", "Project file '" + (scratch.path() / "app/../nowhere/.tolm_project.txt").string() + "' not found."},
        // The registry of this test run is not loaded.
        {"registered;\n", "registry '' not found."},
        {"\"../lib/.tolm_project.txt\" (fast);\n\"../lib/.tolm_project.txt\" (slow);\n",
         "Project 'lib' (" + fs::weakly_canonical(scratch.path() / "lib/.tolm_project.txt").string() + ") is imported with profile 'fast' and with profile 'slow'."},
    };
    project("lib", "lib", "");
    for (const auto& c : cases) {
        project("app", "app", c.imports);
        EXPECT_EQ(load("app"), c.failure) << c.imports;
    }
}

}  // namespace
