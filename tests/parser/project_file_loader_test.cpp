#include "parser/project_file_loader.h"

#include <gtest/gtest.h>

#include "parser/visit_helpers.h"
#include "scenario/scratch_dir.h"
#include "types/context_template.h"
#include "types/tolm_exceptions.h"

namespace {

std::string errorOf(Tolm::Project& project) { return ParserTest::failureOf([&] { loadProjectFile(project); }); }

// An import as "kind path registryName name sourceProfile importProfile".
std::string describe(const Tolm::ProjectImport& i)
{
    return std::to_string(static_cast<int>(i.kind)) + " " + i.path.string() + " " + i.registryName + " " + i.name +
           " " + i.sourceProfile + " " + i.importProfile;
}

// Every section of a project file reaches the record: imports by path and by
// registered name, repeated tool blocks in file order, units merged by name
// ignoring case, and profiles keyed by their first spelling holding the last.
TEST(LoadProjectFile, EverySection)
{
    ScratchDir scratch;
    Tolm::Project project(scratch.write(".tolm_project.txt", R"tolm(// demo project
name demo
import {
  "../libs/core/.tolm_project.txt";
  release: "/abs/ui/.tolm_project.txt" widgets (debug);
  dev: shared_utils (fast);
}
tools { mycc { !C_FILES CC = "mycc" } mycc { A = 2 } }
units {
  app { "app/tolm.txt" "app/extra.txt" }
  lib { }
  APP { "more/tolm.txt" }
  gen { "" }
}
profiles {
  debug { CFLAGS += "-g" }
  release { CFLAGS += "-O2" }
  DEBUG { OUT = P"(build/debug)" }
}
)tolm"), "");
    loadProjectFile(project);

    EXPECT_EQ(project.name, "demo");
    ASSERT_EQ(project.imports.size(), 3u);
    // A relative path import stays as written; absent parts stay empty.
    EXPECT_EQ(describe(project.imports[0]), "0 ../libs/core/.tolm_project.txt    ");
    EXPECT_EQ(describe(project.imports[1]), "0 /abs/ui/.tolm_project.txt  widgets release debug");
    EXPECT_EQ(describe(project.imports[2]), "1  shared_utils  dev fast");

    ASSERT_EQ(project.buildTools.size(), 2u);
    EXPECT_EQ(project.buildTools[0].name + project.buildTools[1].name, "myccmycc");
    EXPECT_EQ(project.buildTools[0].context->assignments.at(0).modifier, Tolm::Assignment::RequiredModifier);
    EXPECT_EQ(project.buildTools[1].context->assignments.at(0).name, "A");

    using Paths = std::vector<std::filesystem::path>;
    ASSERT_EQ(project.units.size(), 3u);
    EXPECT_EQ(project.units[0].name + project.units[1].name, "applib");
    EXPECT_EQ(project.units[0].files, (Paths{"app/tolm.txt", "app/extra.txt", "more/tolm.txt"}));
    EXPECT_TRUE(project.units[1].files.empty());
    EXPECT_EQ(project.units[2].files, (Paths{""}));

    ASSERT_EQ(project.profiles.size(), 2u);
    const auto& [key, debug] = *project.profiles.begin();
    EXPECT_EQ(key.str() + " " + debug.name, "debug DEBUG");
    // A path literal stays a path, joined onto the project's directory.
    EXPECT_EQ(debug.context->assignments.at(0).value->toLiteral(),
              "P\"" + (std::filesystem::canonical(scratch.path()) / "build/debug").string() + "\"");
}

// A failed load leaves the record as it was. Sections out of order or
// repeated, and characters that form no token, fail with the first message:
// the path as stored, then (line,column).
TEST(LoadProjectFile, FailuresLeaveRecordUnchanged)
{
    ScratchDir scratch;
    Tolm::Project project(scratch.write("p.txt", "units { core { \"core.txt\" } }"), "");
    loadProjectFile(project);
    const std::string at = project.projectFile.string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"name demo\nunits { }\ntools { }\n", at + "(3,0): 'tools' "},
        {"profiles { }\nname demo\n", at + "(2,0): 'name' "},
        {"import { }\nimport { }\n", at + "(2,0): 'import' "},
        {"name demo\n  units { app { \"a\", \"b\" } }\n", at + "(2,19): ',' "},
        {"name demo\n#\n", at + "(2,0): token recognition error at: '#'"},
        {"profiles { debug { !X = 1 } }", "'!' assignment modifier is not allowed in this context."},
        {"name caf\xe9\n", at + ": UTF-8 string contains an illegal byte sequence"},
    };
    for (const auto& [content, prefix] : cases) {
        scratch.write("p.txt", content);
        std::string error = errorOf(project);
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
    }
    std::filesystem::remove(project.projectFile);
    EXPECT_EQ(errorOf(project), "Project file '" + at + "' not found.");
    std::filesystem::create_directory(project.projectFile);
    EXPECT_EQ(errorOf(project), "Project file '" + at + "' is a directory.");

    EXPECT_EQ(project.name, "");
    ASSERT_EQ(project.units.size(), 1u);
    EXPECT_EQ(project.units[0].name, "core");
}

// A NUL byte fails the load with the file, line and column where the parser would place a
// character that forms no token: a '#' in its place gives the same (line,column).
TEST(LoadProjectFile, NulBytePlacedAsTheParserPlacesErrors)
{
    ScratchDir scratch;
    Tolm::Project project(scratch.path() / "p.txt", "");
    const std::string at = project.projectFile.string();
    const std::pair<std::string, std::string> cases[] = {
        {"@name demo\n", "(1,0)"},
        {"name demo\n\nunits {\n  app { \"a.txt\" }\n}\n@\n", "(6,0)"},
        {"name demo\nunits { app { \"caf\xC3\xA9-\xF0\x9F\x98\x80.txt\" } @ }\n", "(2,29)"},
    };
    for (auto [content, place] : cases) {
        const std::size_t marker = content.find('@');
        content[marker] = '#';
        scratch.write("p.txt", content);
        EXPECT_EQ(errorOf(project), at + place + ": token recognition error at: '#'");
        content[marker] = '\0';
        scratch.write("p.txt", content);
        EXPECT_EQ(errorOf(project), at + place + ": a NUL byte is not allowed");
    }
}

}  // namespace
