#include "parser/project_file_loader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <unistd.h>

#include "parser/tolm_visitor.h"
#include "parser/visit_helpers.h"
#include "scenario/scratch_dir.h"
#include "types/context_template.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_string.h"

namespace {

using Tolm::ProjectImport;

std::string errorOf(Tolm::Project& project)
{
    try {
        loadProjectFile(project);
    } catch (const std::exception& e) {
        return e.what();
    } catch (const Tolm::TolmException& e) {
        return e.message();
    }
    return "no error";
}

// Every section of a project file reaches the record.
TEST(LoadProjectFile, EverySection)
{
    ScratchDir scratch;
    Tolm::Project project;
    project.projectFile = scratch.write(".tolm_project.txt", R"tolm(// demo project
name demo
import {
  "../libs/core/.tolm_project.txt";
  release: "/abs/ui/.tolm_project.txt" widgets (debug);
  shared_utils (fast);
  dev: other;
}
tools {
  mycc { !C_FILES CC = "mycc" }
}
units {
  app { "app/tolm.txt" "app/extra.txt" }
  lib { }
  APP { "more/tolm.txt" }
  gen { "" }
}
profiles {
  debug { CFLAGS += "-g" OUT = P"(build/debug)" }
  release { CFLAGS += "-O2" }
}
)tolm");
    loadProjectFile(project);

    EXPECT_EQ(project.name, "demo");
    ASSERT_EQ(project.imports.size(), 4u);
    // A relative path import stays as written; optional parts stay empty.
    EXPECT_EQ(project.imports[0].kind, ProjectImport::Kind::Path);
    EXPECT_EQ(project.imports[0].path, "../libs/core/.tolm_project.txt");
    EXPECT_TRUE(project.imports[0].name.empty() && project.imports[0].sourceProfile.empty() &&
                project.imports[0].importProfile.empty());
    const ProjectImport& full = project.imports[1];
    EXPECT_EQ(full.name, "widgets");
    EXPECT_EQ(full.sourceProfile, "release");
    EXPECT_EQ(full.importProfile, "debug");
    const ProjectImport& registered = project.imports[2];
    EXPECT_EQ(registered.kind, ProjectImport::Kind::Registry);
    EXPECT_EQ(registered.registryName, "shared_utils");
    EXPECT_EQ(registered.importProfile, "fast");
    EXPECT_TRUE(registered.path.empty() && registered.name.empty());
    EXPECT_EQ(project.imports[3].sourceProfile, "dev");

    ASSERT_EQ(project.buildTools.size(), 1u);
    EXPECT_EQ(project.buildTools[0].name, "mycc");
    ASSERT_EQ(project.buildTools[0].context->assignments.size(), 2u);
    EXPECT_EQ(project.buildTools[0].context->assignments[0].modifier, Tolm::Assignment::RequiredModifier);

    // Unit entries merge by name ignoring case, under the first spelling.
    ASSERT_EQ(project.units.size(), 3u);
    EXPECT_EQ(project.units[0].name, "app");
    EXPECT_EQ(project.units[0].files,
              (std::vector<std::filesystem::path>{"app/tolm.txt", "app/extra.txt", "more/tolm.txt"}));
    EXPECT_EQ(project.units[1].name, "lib");
    EXPECT_TRUE(project.units[1].files.empty());
    EXPECT_EQ(project.units[2].files, (std::vector<std::filesystem::path>{""}));

    ASSERT_EQ(project.profiles.size(), 2u);
    auto debug = project.profiles.find(Util::CiString("DEBUG"));
    ASSERT_NE(debug, project.profiles.end());
    const auto& debugBlock = *debug->second.context;
    ASSERT_EQ(debugBlock.assignments.size(), 2u);
    // In a project file a path literal becomes a plain text joined onto the
    // project's directory.
    const auto* out = dynamic_cast<const Tolm::TolmString*>(debugBlock.assignments[1].value.get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->text, (std::filesystem::canonical(scratch.path()) / "build/debug").string());
    EXPECT_TRUE(project.importedProjects.empty());
}

// Profiles named alike apart from case: one entry under the first spelling,
// holding the later profile; repeated tool blocks all stay.
TEST(LoadProjectFile, RepeatedNames)
{
    ScratchDir scratch;
    Tolm::Project project;
    project.projectFile = scratch.write(".tolm_project.txt", R"tolm(
tools { cc { A = 1 } cc { A = 2 } }
profiles {
  Release { LEVEL = 1 }
  RELEASE { LEVEL = 2 }
}
)tolm");
    loadProjectFile(project);
    ASSERT_EQ(project.buildTools.size(), 2u);
    EXPECT_EQ(project.buildTools[1].context->assignments[0].value->toString(), "2");
    ASSERT_EQ(project.profiles.size(), 1u);
    EXPECT_EQ(project.profiles.begin()->first.str(), "Release");
    EXPECT_EQ(project.profiles.begin()->second.name, "RELEASE");
    EXPECT_EQ(project.profiles.begin()->second.context->assignments[0].value->toString(), "2");
}

// Sections out of order, repeated sections and characters that form no token
// fail with the first message: the path as stored, then (line,column).
TEST(LoadProjectFile, SyntaxErrorsNamePosition)
{
    ScratchDir scratch;
    Tolm::Project project;
    project.projectFile = scratch.write(".tolm_project.txt", "name demo\nunits { }\ntools { }\n");
    std::string error = errorOf(project);
    EXPECT_EQ(error.rfind(project.projectFile.string() + "(3,0): 'tools' ", 0), 0u) << error;

    scratch.write(".tolm_project.txt", "import { }\nimport { }\n");
    error = errorOf(project);
    EXPECT_EQ(error.rfind(project.projectFile.string() + "(2,0): 'import' ", 0), 0u) << error;

    scratch.write(".tolm_project.txt", "name demo\n  units { app { \"a\", \"b\" } }\n");
    error = errorOf(project);
    EXPECT_EQ(error.rfind(project.projectFile.string() + "(2,19): ',' ", 0), 0u) << error;

    scratch.write(".tolm_project.txt", "name demo\n#\n");
    EXPECT_EQ(errorOf(project), project.projectFile.string() + "(2,0): token recognition error at: '#'");
}

// A failed load leaves the record as it was, whatever the cause.
TEST(LoadProjectFile, FailureLeavesRecordUnchanged)
{
    ScratchDir scratch;
    Tolm::Project project;
    project.projectFile = scratch.write("p.txt", "units { core { \"core.txt\" } }");
    loadProjectFile(project);
    ASSERT_EQ(project.units.size(), 1u);

    // '!' belongs in tool blocks only.
    scratch.write("p.txt", "profiles { debug { !X = 1 } }");
    EXPECT_EQ(errorOf(project), "'!' assignment modifier is not allowed in this context.");
    // A block as a value would silently lose the setting.
    scratch.write("p.txt", "name x\ntools { cc {\n FLAGS = { a = 1 } } }");
    std::string error = errorOf(project);
    EXPECT_NE(error.find(project.projectFile.string() + "(3,"), std::string::npos) << error;
    EXPECT_NE(error.find("'FLAGS'"), std::string::npos) << error;

    scratch.write("p.txt", "name caf\xe9\n");
    EXPECT_EQ(errorOf(project), project.projectFile.string() + ": UTF-8 string contains an illegal byte sequence");

    std::filesystem::remove(project.projectFile);
    EXPECT_EQ(errorOf(project), "Project file '" + project.projectFile.string() + "' not found.");
    std::filesystem::create_directory(project.projectFile);
    EXPECT_EQ(errorOf(project), "Project file '" + project.projectFile.string() + "' not found.");

    EXPECT_EQ(project.name, "");
    ASSERT_EQ(project.units.size(), 1u);
    EXPECT_EQ(project.units[0].name, "core");
}

// An empty file loads as an empty project; a name given by the creator (an
// import's name) wins over the file's; a reload replaces the lists.
TEST(LoadProjectFile, NamesAndReloads)
{
    ScratchDir scratch;
    Tolm::Project project;
    project.projectFile = scratch.write("p.txt", "  // nothing\n");
    loadProjectFile(project);
    EXPECT_EQ(project.name, "");
    EXPECT_TRUE(project.units.empty() && project.imports.empty() && project.profiles.empty());

    scratch.write("p.txt", "name fromfile\nunits { a { } }");
    project.name = "imported_as";
    project.importedProjects.push_back(std::make_shared<Tolm::Project>());
    loadProjectFile(project);
    EXPECT_EQ(project.name, "imported_as");
    EXPECT_TRUE(project.importedProjects.empty());
    EXPECT_EQ(project.units.size(), 1u);
}

// A bare file name is read from, and its paths taken against, the current
// directory.
TEST(LoadProjectFile, BareFileNameUsesCurrentDirectory)
{
    ScratchDir scratch;
    scratch.write(".tolm_project.txt", "profiles { p { OUT = P\"(out)\" } }");
    auto saved = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    Tolm::Project project(".tolm_project.txt", "");
    std::string error = errorOf(project);
    std::filesystem::current_path(saved);
    ASSERT_EQ(error, "no error");
    EXPECT_EQ(project.profiles.begin()->second.context->assignments[0].value->toString(),
              (std::filesystem::canonical(scratch.path()) / "out").string());
}

// The '!' flag is back to its earlier value after a tool block, also after
// one whose visit failed.
TEST(TolmVisitorProject, ToolBlockRestoresMustFlag)
{
    for (const char* text : {"tools { t { !A = 1 } }", "tools { t { !A = { } } }"}) {
        ParserTest::Parsed parsed(text, TolmVisitorImpl::ProjectFileMode);
        auto* tree = parsed.parser.projFile();
        try {
            parsed.visitor.visitTolmProject(tree->tolmProject());
        } catch (...) {
            // Only the flag afterwards matters here.
        }
        EXPECT_FALSE(parsed.visitor.allowMustModifier) << text;
    }
}

}  // namespace
