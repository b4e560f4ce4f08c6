// "--create-project" on trees of unit files, and the written project file
// read back by later runs.

#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

using Scenario::RunResult;

class CreateProjectScenario : public TolmScenario {};

// The file lists every unit a "tolm.txt" (any letter case, any depth)
// declares on its first line, with its files relative to the current
// directory, and the next run loads it: the units, and a unit merged from
// two files.
TEST_F(CreateProjectScenario, WrittenFileReadsBack) {
    write("my app/tolm.txt", "unit app\nmain: { }\n");
    write("my app/src/lib/Tolm.txt", "unit lib\nlib: { }\n");
    write("my app/src/lib/extra/tolm.txt", "unit lib\nextra: { }\n");
    write("my app/tools/tolm.txt", "// unit tools\nt: { }\n");
    write("my app/gen/tolm.txt", "unit\ng: { }\n");
    write("my app/docs/notes.txt", "unit notes\n");

    const RunResult create = tolm({"--create-project"}, "my app");
    EXPECT_EQ(create.out, "");
    EXPECT_EQ(create.exitCode, 0);
    const std::string text = contentOf(work_.path() / "my app/.tolm_project.txt");
    EXPECT_EQ(text.rfind("name my_app\nunits\n{\napp\n{\n  \"tolm.txt\"\n}\nlib\n{\n", 0), 0u) << text;
    EXPECT_NE(text.find("  \"src/lib/Tolm.txt\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  \"src/lib/extra/tolm.txt\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("tools"), std::string::npos) << text;
    EXPECT_EQ(text.find("gen"), std::string::npos) << text;

    EXPECT_EQ(tolm({"-u"}, "my app").out, "app\nlib\n");
    EXPECT_EQ(tolm({"-l", "lib"}, "my app/src").out, "extra\nlib\n");
    EXPECT_EQ(tolm({"-l", "1"}, "my app").out, "main\n");
}

// Inside an existing project the tree is scanned from its root, and the new
// file, written in the current directory, reaches the files through "..".
TEST_F(CreateProjectScenario, FromASubdirectory) {
    write(".tolm_project.txt", "name old\nunits { core { \"core/tolm.txt\" } }\n");
    write("core/tolm.txt", "unit core\nc: { }\n");
    write("app/tolm.txt", "unit app\na: { }\n");
    ASSERT_EQ(tolm({"--create-project"}, "app").exitCode, 0);
    EXPECT_EQ(contentOf(work_.path() / "app/.tolm_project.txt"),
              "name app\nunits\n{\napp\n{\n  \"tolm.txt\"\n}\ncore\n{\n  \"../core/tolm.txt\"\n}\n}\n");
    EXPECT_EQ(tolm({"-u"}, "app").out, "app\ncore\n");
    EXPECT_EQ(tolm({"-l", "core"}, "app").out, "c\n");
    EXPECT_EQ(contentOf(work_.path() / ".tolm_project.txt"), "name old\nunits { core { \"core/tolm.txt\" } }\n");
}

// A project file that cannot be written is an error, never a silent success.
TEST_F(CreateProjectScenario, UnwritableFileFails) {
    write("tolm.txt", "unit app\na: { }\n");
    std::filesystem::create_directories(work_.path() / ".tolm_project.txt");
    const RunResult run = tolm({"--create-project"});
    EXPECT_EQ(run.out, "Error: Unable to write project file '" + at(".tolm_project.txt") + "'.\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(std::filesystem::is_directory(work_.path() / ".tolm_project.txt"));
    EXPECT_TRUE(home_.isEmpty());
}

}  // namespace
