#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/project_discovery.h"
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

// The nearest directory at or above the start that holds the project file
// wins; any kind of entry of that name counts.
TEST(ProjectDiscovery, SearchesUpward) {
    ScratchDir scratch;
    const fs::path root = scratch.path();
    fs::create_directories(root / "a/b/c");
    EXPECT_EQ(findProjectDirectory(root / "a/b/c"), std::nullopt);

    scratch.write("a/.tolm_project.txt", "name a\n");
    EXPECT_EQ(findProjectDirectory(root / "a/b/c"), root / "a");
    EXPECT_EQ(findProjectDirectory(root / "a"), root / "a");
    fs::create_directories(root / "a/b/.tolm_project.txt");
    EXPECT_EQ(findProjectDirectory(root / "a/b/c"), root / "a/b");
    EXPECT_EQ(findProjectDirectory(root), std::nullopt);
}

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
        TestSupport::LogCapture capture(1);
        std::string failure = TestSupport::failureOf([&] {
            app->LoadRootProject();
            app->LoadUnits();
        });
        log = capture.text();
        return failure;
    }
    std::string file(const std::string& dir) const {
        return fs::weakly_canonical(scratch.path() / dir / ".tolm_project.txt").string();
    }
    std::size_t count(const std::string& text) const {
        std::size_t n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    ScratchDir scratch;
    std::unique_ptr<TolmApplication> app;
    std::string log;
};

// A project reached through two imports under the same namespace is read
// once and is one shared record; the same file under another name is a
// project of its own.
TEST_F(ProjectLoading, DiamondIsLoadedOnce) {
    project("app", "app", "\"../left/.tolm_project.txt\";\n\"../right/.tolm_project.txt\";\n\"../base/.tolm_project.txt\" other;\n");
    project("left", "left", "\"../base/.tolm_project.txt\";\n");
    project("right", "right", "\"../base/../base/.tolm_project.txt\";\n");
    project("base", "base", "");
    ASSERT_EQ(load("app"), "no failure");

    const auto& imported = app->project->importedProjects;
    ASSERT_EQ(imported.size(), 3u);
    EXPECT_EQ(imported[0]->importedProjects.at(0), imported[1]->importedProjects.at(0));
    EXPECT_NE(imported[2], imported[0]->importedProjects.at(0));
    EXPECT_EQ(imported[2]->name, "other");
    EXPECT_EQ(count("Loading project file"), 5u);
    EXPECT_EQ(count("Loaded unit 'baseu'"), 2u);
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
         "Project 'lib' (" + file("lib") + ") is imported with profile 'fast' and with profile 'slow'."},
    };
    project("lib", "lib", "");
    for (const auto& c : cases) {
        project("app", "app", c.imports);
        EXPECT_EQ(load("app"), c.failure) << c.imports;
    }
}

}  // namespace
