#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tolm_app.h"
#include "types/project.h"

namespace {

// An application as unit loading leaves it for project "demo" (units app
// and core, the import "lib"), with profiles "debug", "Fast" and "release";
// "release" is a target too.
std::unique_ptr<TolmApplication> loadedDemo(std::vector<std::string> words, bool withProject = true) {
    auto app = std::make_unique<TolmApplication>();
    app->arguments = std::move(words);
    auto& registry = app->unitRegistry;
    const std::string ns = withProject ? "demo" : "";
    registry.add(ns, "app", TestSupport::unitWith("app", {"build", "release"}));
    registry.add(ns, "core", TestSupport::unitWith("core", {"lib"}));
    registry.add("lib", "util", TestSupport::unitWith("util", {"strings"}));
    registry.defaultNamespace = ns;
    registry.defaultUnit = "app";
    app->mainTarget = {ns, "app", "build"};
    if (withProject) {
        app->project = std::make_shared<Tolm::Project>("/demo/.tolm_project.txt", "demo");
        for (const char* name : {"debug", "Fast", "release"})
            app->project->profiles[name] = Tolm::Profile{name, std::make_shared<Tolm::ContextTemplate>()};
    }
    return app;
}

// Each word is a target, else a profile, else an assignment; only the parts
// a target word spells out change the main target, a second target word is
// reported and ignored, and assignments to one variable combine.
TEST(CommandLineWords, ClassifiesEachWord) {
    const struct {
        std::vector<std::string> words;
        bool withProject;
        std::string mainTarget;
        std::string profile;
        std::string assignments;  // the command-line context's variables, one per line
        std::string printed;      // at the default threshold
    } cases[] = {
        {{}, true, "demo/app::build", "", "", ""},
        {{"release"}, true, "demo/app::release", "", "", ""},
        {{"core::LIB"}, true, "demo/core::LIB", "", "", ""},
        {{"lib/util::strings"}, true, "lib/util::strings", "", "", ""},
        {{"DEBUG", "release", "build"}, true, "demo/app::release", "debug", "",
         "Only one target name can be specified\n"},
        {{"debug", "debug"}, true, "demo/app::build", "debug", "", ""},
        {{"CFLAGS=\"-g\"", "CFLAGS+=\"-O2\"", "N?=1", "N?=2", "fast"}, true, "demo/app::build", "Fast",
         "CFLAGS = \"-g -O2\"\nN ?= 1\n", ""},
        // Without a project no word is a profile.
        {{"debug=1"}, false, "/app::build", "", "debug = 1\n", ""},
    };
    for (const auto& c : cases) {
        auto app = loadedDemo(c.words, c.withProject);
        TestSupport::LogCapture capture(5);
        app->ApplyCommandLineArguments();
        const std::string words = c.words.empty() ? "(none)" : c.words[0];
        EXPECT_EQ(capture.text(), c.printed) << words;
        EXPECT_EQ(app->mainTarget.toString(), c.mainTarget) << words;
        EXPECT_EQ(app->activeProfile ? app->activeProfile->name : "", c.profile) << words;
        if (app->project) {
            EXPECT_EQ(app->project->selectedProfile, c.profile) << words;
        }
        std::string assignments;
        for (const auto& [name, assignment] : app->commandLineContext.assignments)
            assignments += assignment.toString() + "\n";
        EXPECT_EQ(assignments, c.assignments) << words;
    }
}

}  // namespace
