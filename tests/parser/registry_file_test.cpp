#include "parser/registry_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <typeinfo>

#include "parser/literal_writer.h"
#include "scenario/scratch_dir.h"
#include "tolm_registry.h"
#include "types/context.h"
#include "types/context_template.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_path_string.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace {

using Tolm::Assignment;
using Type = Tolm::Assignment::AssignType;

// Keeps warnings and "Updated file" lines out of the test output.
struct QuietLog {
    QuietLog() { Log::verbosity = 8; }
    ~QuietLog() { Log::verbosity = saved; }
    int saved = Log::verbosity;
};

std::string errorOf(const std::filesystem::path& file)
{
    try {
        parseRegistryFile(file);
    } catch (const std::exception& e) {
        return e.what();
    } catch (const Tolm::TolmException& e) {
        return e.message();
    }
    return "no error";
}

// An empty file, or one of comments only, is an empty registry.
TEST(ParseRegistryFile, EmptyFileIsEmptyRegistry)
{
    ScratchDir scratch;
    for (const char* text : {"", "// nothing yet\n/* really */\n"}) {
        TolmRegData data = parseRegistryFile(scratch.write(".tolm_registry.txt", text));
        EXPECT_TRUE(data.projects.empty());
        EXPECT_TRUE(data.tools.empty());
    }
}

// Projects come back in file order with duplicates; a relative path is joined
// onto the canonical directory of the registry file, an absolute one kept.
TEST(ParseRegistryFile, ProjectPaths)
{
    ScratchDir scratch;
    scratch.write("cfg/.tolm_registry.txt",
                  "projects {\n"
                  "  app \"/src/app/.tolm_project.txt\"\n"
                  "  lib \"lib/.tolm_project.txt\"\n"
                  "  APP \"/elsewhere/.tolm_project.txt\"\n"
                  "}\n");
    std::filesystem::create_directories(scratch.path() / "other");
    TolmRegData data = parseRegistryFile(scratch.path() / "other" / ".." / "cfg" / ".tolm_registry.txt");
    ASSERT_EQ(data.projects.size(), 3u);
    EXPECT_EQ(data.projects[0].name, "app");
    EXPECT_EQ(data.projects[0].path, "/src/app/.tolm_project.txt");
    auto canonicalDir = std::filesystem::canonical(scratch.path() / "cfg");
    EXPECT_EQ(data.projects[1].path, canonicalDir / "lib/.tolm_project.txt");
    EXPECT_EQ(data.projects[2].name, "APP");
}

// Tool blocks accept both modifiers anywhere, keep duplicates and their
// conditional blocks; path literals keep the registry's directory.
TEST(ParseRegistryFile, ToolBlocks)
{
    ScratchDir scratch;
    auto file = scratch.write(".tolm_registry.txt",
                              "tools {\n"
                              "  gcc { !C_FILES ^OUT = P\"(bin)\" if toolchain_version { !X = 1 } }\n"
                              "  gcc { }\n"
                              "}\n");
    TolmRegData data = parseRegistryFile(file);
    ASSERT_EQ(data.tools.size(), 2u);
    const auto& block = *data.tools[0].context;
    ASSERT_EQ(block.assignments.size(), 2u);
    EXPECT_EQ(block.assignments[0].modifier, Assignment::RequiredModifier);
    EXPECT_EQ(block.assignments[0].type, Type::Declare);
    EXPECT_EQ(block.assignments[1].modifier, Assignment::OutputModifier);
    auto* path = dynamic_cast<Tolm::TolmPathString*>(block.assignments[1].value.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->fullPath(), std::filesystem::canonical(scratch.path()) / "bin");
    ASSERT_EQ(block.conditions.size(), 1u);
    EXPECT_EQ(block.conditions[0].second->assignments[0].modifier, Assignment::RequiredModifier);
    EXPECT_TRUE(data.tools[1].context->assignments.empty());
}

// Syntax and lexer errors fail the read with the first message, which starts
// with the file's path and the line and column.
TEST(ParseRegistryFile, SyntaxErrorsNamePosition)
{
    ScratchDir scratch;
    auto file = scratch.write("r.txt", "tools {\n}\nprojects {\n}\n");
    EXPECT_EQ(errorOf(file).rfind(file.string() + "(3,0): 'projects' ", 0), 0u) << errorOf(file);

    file = scratch.write("r.txt", "projects {\n  app \"/a\"\n");
    EXPECT_EQ(errorOf(file).rfind(file.string() + "(3,0): '<EOF>' ", 0), 0u) << errorOf(file);

    file = scratch.write("r.txt", "projects {\n  app $ \"/a\"\n}\n");
    EXPECT_EQ(errorOf(file), file.string() + "(2,6): token recognition error at: '$'");
}

// A block used as a value cannot be kept: the read fails naming variable,
// file and line instead of dropping the setting.
TEST(ParseRegistryFile, BlockValueFails)
{
    ScratchDir scratch;
    auto file = scratch.write("r.txt", "tools {\n  gcc {\n    FLAGS = { a = 1 }\n  }\n}\n");
    std::string error = errorOf(file);
    EXPECT_NE(error.find(file.string() + "(3,"), std::string::npos) << error;
    EXPECT_NE(error.find("'FLAGS'"), std::string::npos) << error;
}

// A missing registry file, or a directory in its place, is not found.
TEST(ParseRegistryFile, MissingFile)
{
    ScratchDir scratch;
    auto missing = scratch.path() / "none.txt";
    EXPECT_EQ(errorOf(missing), "Registry file '" + missing.string() + "' not found.");
    std::filesystem::create_directory(scratch.path() / "dir");
    EXPECT_EQ(errorOf(scratch.path() / "dir"), "Registry file '" + (scratch.path() / "dir").string() + "' not found.");
}

// Same class and same written form: the value reads back unchanged.
void expectSameValue(const Tolm::TolmValuePtr& expected, const Tolm::TolmValuePtr& actual, const std::string& name)
{
    ASSERT_EQ(expected == nullptr, actual == nullptr) << name;
    if (!expected) return;
    EXPECT_EQ(typeid(*expected), typeid(*actual)) << name;
    EXPECT_EQ(Tolm::writableLiteral(*expected), Tolm::writableLiteral(*actual)) << name;
}

void expectSameBlock(const Tolm::ContextTemplate& expected, const Tolm::ContextTemplate& actual)
{
    ASSERT_EQ(expected.assignments.size(), actual.assignments.size());
    for (std::size_t i = 0; i < expected.assignments.size(); ++i) {
        const auto& e = expected.assignments[i];
        const auto& a = actual.assignments[i];
        EXPECT_EQ(e.name, a.name);
        EXPECT_EQ(e.modifier, a.modifier) << e.name;
        // "=" without a value is written as a declaration, which acts the same.
        EXPECT_EQ(e.value ? e.type : Type::Declare, a.type) << e.name;
        expectSameValue(e.value, a.value, e.name);
    }
    ASSERT_EQ(expected.conditions.size(), actual.conditions.size());
    for (std::size_t i = 0; i < expected.conditions.size(); ++i) {
        const auto& [ec, eb] = expected.conditions[i];
        const auto& [ac, ab] = actual.conditions[i];
        EXPECT_EQ(ec.op, ac.op);
        expectSameValue(ec.left, ac.left, "condition");
        expectSameValue(ec.right, ac.right, "condition");
        expectSameBlock(*eb, *ab);
    }
}

Tolm::TolmValuePtr identifierValue(const std::string& text)
{
    Tolm::Identifier identifier;
    Tolm::ParseError error;
    EXPECT_TRUE(Tolm::Identifier::parse(text, identifier, error)) << text;
    return std::make_shared<Tolm::TolmIdentifier>(identifier);
}

// Saving a registry with projects and tools of every value kind and reading
// the file back gives the same projects and tools.
TEST(RegistryRoundTrip, EveryValueKind)
{
    QuietLog quiet;
    ScratchDir scratch;
    TolmRegistry registry;
    registry.path = scratch.path() / ".tolm_registry.txt";
    registry.projects.emplace("App", "/src/app/.tolm_project.txt");
    registry.projects.emplace("lib-2", "/src/my lib/.tolm_project.txt");

    auto nested = std::make_shared<Tolm::ContextTemplate>(
        std::vector<Assignment>{Assignment("DEEP", Tolm::makeRawStringValue("x"), Type::Set, 0)});
    auto guarded = std::make_shared<Tolm::ContextTemplate>(
        std::vector<Assignment>{Assignment("CFLAGS", Tolm::makeStringValue("-O2"), Type::Append, 0)},
        std::vector<Tolm::ConditionalBlock>{{Tolm::Condition{identifierValue("DEBUG"), nullptr,
                                                             Tolm::Condition::OperatorType::Exists},
                                             nested}});
    auto gcc = std::make_shared<Tolm::ContextTemplate>(
        std::vector<Assignment>{
            Assignment("toolchain_type", Tolm::makeStringValue("gnu-gcc"), Type::Set, 0),
            Assignment("NOTE", Tolm::makeStringValue("multi\nline $(x) // not a comment"), Type::SetIfEmpty, 0),
            Assignment("PATTERN", Tolm::makeRawStringValue("a)b \"q\" a))"), Type::Set, 0),
            Assignment("toolchain_path", Tolm::makePathStringValue("/usr", "bin"), Type::Set, 0),
            Assignment("RELATIVE", Tolm::makePathStringValue("", "/opt/x"), Type::Set, 0),
            Assignment("version", Tolm::makeIntValue(-12), Type::Set, 0),
            Assignment("LIST", Tolm::makeListValue({Tolm::makeStringValue("a"), Tolm::makeIntValue(3),
                                                   Tolm::makePathStringValue("/p", "q")}),
                       Type::Append, 0),
            Assignment("EMPTY", Tolm::makeListValue({}), Type::Set, 0),
            Assignment("REF", identifierValue("other.item[2][1..3][idx]"), Type::Set, 0),
            Assignment("C_FILES", nullptr, Type::Declare, Assignment::RequiredModifier),
            Assignment("OUTPUT", Tolm::makeStringValue("out"), Type::Set, Assignment::OutputModifier),
            Assignment("CLEARED", nullptr, Type::Set, 0),
        },
        std::vector<Tolm::ConditionalBlock>{
            {Tolm::Condition{identifierValue("mode"), Tolm::makeStringValue("debug"),
                             Tolm::Condition::OperatorType::NotEqual},
             guarded}});
    registry.tools.emplace("gcc", gcc);
    registry.tools.emplace("bare", nullptr);
    registry.save();

    TolmRegData data = parseRegistryFile(registry.path);
    ASSERT_EQ(data.projects.size(), 2u);
    EXPECT_EQ(data.projects[0].name, "App");
    EXPECT_EQ(data.projects[0].path, "/src/app/.tolm_project.txt");
    EXPECT_EQ(data.projects[1].name, "lib-2");
    EXPECT_EQ(data.projects[1].path, "/src/my lib/.tolm_project.txt");
    ASSERT_EQ(data.tools.size(), 2u);
    EXPECT_EQ(data.tools[0].name, "bare");
    EXPECT_TRUE(data.tools[0].context->assignments.empty());
    EXPECT_EQ(data.tools[1].name, "gcc");
    expectSameBlock(*gcc, *data.tools[1].context);
}

// Values with no written form are left out and the rest of the file still
// reads back.
TEST(RegistryRoundTrip, UncarriableValuesLeftOut)
{
    QuietLog quiet;
    ScratchDir scratch;
    TolmRegistry registry;
    registry.path = scratch.path() / ".tolm_registry.txt";
    auto context = std::make_shared<Tolm::Context>();
    registry.tools.emplace("t", std::make_shared<Tolm::ContextTemplate>(std::vector<Assignment>{
        Assignment("QUOTE", Tolm::makeStringValue("a\"b"), Type::Set, 0),
        Assignment("RAW_END", Tolm::makeRawStringValue("f(x)"), Type::Set, 0),
        Assignment("PATH_END", Tolm::makePathStringValue("/a", "b)"), Type::Set, 0),
        Assignment("BLOCK", std::make_shared<Tolm::TolmContext>(context), Type::Set, 0),
        Assignment("NESTED", Tolm::makeListValue({Tolm::makeListValue({Tolm::makeIntValue(1)})}), Type::Set, 0),
        Assignment("APPEND_NOTHING", nullptr, Type::Append, 0),
        Assignment("DECLARED", Tolm::makeIntValue(1), Type::Declare, 0),
        Assignment("KEPT", Tolm::makeIntValue(7), Type::Set, 0),
    }));
    registry.save();

    TolmRegData data = parseRegistryFile(registry.path);
    ASSERT_EQ(data.tools.size(), 1u);
    ASSERT_EQ(data.tools[0].context->assignments.size(), 1u);
    EXPECT_EQ(data.tools[0].context->assignments[0].name, "KEPT");
}

}  // namespace
