#include "app/project_creation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Any directory name becomes an identifier the project file reads back.
TEST(ProjectIdentifier, MakesNamesReadable) {
    const struct {
        const char* directory;
        const char* name;
    } cases[] = {
        {"demo", "demo"},       {"my-app_2", "my-app_2"}, {"2024.app", "_2024_app"}, {"-x", "_-x"},
        {"caf\xC3\xA9", "caf__"}, {"units", "units_"},       {"", "project"},
    };
    for (const auto& c : cases) EXPECT_EQ(projectIdentifier(c.directory), c.name) << c.directory;
}

// A link back up the tree is scanned once, not until paths grow too long;
// a file the project file could not quote, and a unit whose name it could
// not hold, are left out with a warning.
TEST(DiscoverUnitFiles, LinkLoopsAndUnwritablePaths) {
    ScratchDir scratch;
    const fs::path previous = fs::current_path();
    fs::current_path(scratch.path());
    scratch.write("a/tolm.txt", "unit a\n");
    fs::create_directory_symlink("..", scratch.path() / "a/up");
    scratch.write("b\"q/tolm.txt", "unit a\n");
    scratch.write("c/tolm.txt", "unit 9lives\n");
    Tolm::ProjectTree tree;
    discoverUnitFiles(tree, scratch.path(), tree.root);
    TestSupport::LogCapture capture(6);
    const std::string text = projectFileText("demo", tree);
    fs::current_path(previous);

    EXPECT_EQ(tree.units.at("a").size(), 2u);
    EXPECT_EQ(text, "name demo\nunits\n{\na\n{\n  \"a/tolm.txt\"\n}\n}\n");
    EXPECT_EQ(capture.text(),
              "Unit '9lives' left out of the project file: its name is not an identifier.\n"
              "Unit file 'b\"q/tolm.txt' left out of the project file: its path cannot be written there.\n");
}

}  // namespace
