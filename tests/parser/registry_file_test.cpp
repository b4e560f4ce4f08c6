#include "parser/registry_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <typeinfo>

#include "parser/registry_writer.h"
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
    TolmRegData data = parseRegistryFile(scratch.write("r.txt", "// nothing yet\n/* really */\n"));
    EXPECT_TRUE(data.projects.empty());
    EXPECT_TRUE(data.tools.empty());
}

// Projects keep file order and duplicates; a relative path is joined onto the
// canonical directory of the registry file.
TEST(ParseRegistryFile, ProjectPaths)
{
    ScratchDir scratch;
    scratch.write("cfg/r.txt", "projects {\n  app \"/src/app/p.txt\"\n  lib \"lib/p.txt\"\n  APP \"/x/p.txt\"\n}\n");
    std::filesystem::create_directories(scratch.path() / "other");
    TolmRegData data = parseRegistryFile(scratch.path() / "other/../cfg/r.txt");
    ASSERT_EQ(data.projects.size(), 3u);
    EXPECT_EQ(data.projects[0].path, "/src/app/p.txt");
    EXPECT_EQ(data.projects[1].path, std::filesystem::canonical(scratch.path() / "cfg") / "lib/p.txt");
    EXPECT_EQ(data.projects[2].name, "APP");
}

// Tool blocks accept both modifiers anywhere and keep duplicates; a path
// literal remembers the registry's directory.
TEST(ParseRegistryFile, ToolBlocks)
{
    ScratchDir scratch;
    auto file = scratch.write("r.txt", "tools {\n  gcc { ^OUT = P\"(bin)\" if v { !X = 1 } }\n  gcc { }\n}\n");
    TolmRegData data = parseRegistryFile(file);
    ASSERT_EQ(data.tools.size(), 2u);
    const auto& block = *data.tools[0].context;
    EXPECT_EQ(block.assignments[0].modifier, Assignment::OutputModifier);
    auto* path = dynamic_cast<Tolm::TolmPathString*>(block.assignments[0].value.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->fullPath(), std::filesystem::canonical(scratch.path()) / "bin");
    EXPECT_EQ(block.conditions.at(0).second->assignments.at(0).modifier, Assignment::RequiredModifier);
}

// Malformed files fail with the first message, which starts with the path
// and the line and column; a missing file or a directory is not found.
TEST(ParseRegistryFile, Failures)
{
    ScratchDir scratch;
    auto file = scratch.write("r.txt", "tools {\n}\nprojects {\n}\n");
    EXPECT_EQ(errorOf(file).rfind(file.string() + "(3,0): 'projects' ", 0), 0u) << errorOf(file);
    scratch.write("r.txt", "projects {\n  app \"/a\"\n");
    EXPECT_EQ(errorOf(file).rfind(file.string() + "(3,0): '<EOF>' ", 0), 0u) << errorOf(file);
    scratch.write("r.txt", "projects {\n  app $ \"/a\"\n}\n");
    EXPECT_EQ(errorOf(file), file.string() + "(2,6): token recognition error at: '$'");

    // A block as a value would lose the setting: fail naming file, line and variable.
    scratch.write("r.txt", "tools {\n  gcc {\n    FLAGS = { a = 1 }\n  }\n}\n");
    EXPECT_NE(errorOf(file).find(file.string() + "(3,"), std::string::npos) << errorOf(file);
    EXPECT_NE(errorOf(file).find("'FLAGS'"), std::string::npos) << errorOf(file);

    EXPECT_EQ(errorOf(scratch.path() / "none"), "Registry file '" + (scratch.path() / "none").string() + "' not found.");
    EXPECT_EQ(errorOf(scratch.path()), "Registry file '" + scratch.path().string() + "' not found.");
}

Tolm::TolmValuePtr reference(const std::string& text)
{
    Tolm::Identifier identifier;
    Tolm::ParseError error;
    EXPECT_TRUE(Tolm::Identifier::parse(text, identifier, error)) << text;
    return std::make_shared<Tolm::TolmIdentifier>(identifier);
}

// The registry object a parsed file gives, as the application builds it.
TolmRegistry registryOf(const TolmRegData& data)
{
    TolmRegistry registry;
    for (const auto& project : data.projects) registry.projects[project.name] = project.path;
    for (const auto& tool : data.tools) registry.tools[tool.name] = tool.context;
    return registry;
}

// Saving a registry with projects and tools of every value kind, modifier and
// conditional block, then reading it back, gives the same entries: every
// assignment comes back, and the re-read registry writes the same text.
TEST(RegistryRoundTrip, EveryValueKind)
{
    QuietLog quiet;
    ScratchDir scratch;
    TolmRegistry registry;
    registry.path = scratch.path() / ".tolm_registry.txt";
    registry.projects.emplace("App", "/src/app/.tolm_project.txt");
    registry.projects.emplace("lib-2", "/src/my lib/.tolm_project.txt");

    auto nested = std::make_shared<Tolm::ContextTemplate>(
        std::vector<Assignment>{Assignment("CFLAGS", Tolm::makeStringValue("-O2"), Type::Append, 0)},
        std::vector<Tolm::ConditionalBlock>{
            {{reference("DEBUG"), nullptr, Tolm::Condition::OperatorType::Exists},
             std::make_shared<Tolm::ContextTemplate>()}});
    auto gcc = std::make_shared<Tolm::ContextTemplate>(
        std::vector<Assignment>{
            Assignment("NOTE", Tolm::makeStringValue("multi\nline $(x) // no comment"), Type::SetIfEmpty, 0),
            Assignment("PATTERN", Tolm::makeRawStringValue("a)b \"q\" a))"), Type::Set, 0),
            Assignment("toolchain_path", Tolm::makePathStringValue("/usr", "bin"), Type::Set, 0),
            Assignment("version", Tolm::makeIntValue(-12), Type::Set, 0),
            Assignment("LIST", Tolm::makeListValue({Tolm::makeStringValue("a"), Tolm::makeIntValue(3),
                                                   Tolm::makePathStringValue("/p", "q")}), Type::Append, 0),
            Assignment("EMPTY", Tolm::makeListValue({}), Type::Set, 0),
            Assignment("REF", reference("other.item[2][1..3][idx]"), Type::Set, 0),
            Assignment("C_FILES", nullptr, Type::Declare, Assignment::RequiredModifier),
            Assignment("OUTPUT", Tolm::makeStringValue("out"), Type::Set, Assignment::OutputModifier),
        },
        std::vector<Tolm::ConditionalBlock>{
            {{reference("mode"), Tolm::makeStringValue("debug"), Tolm::Condition::OperatorType::NotEqual}, nested}});
    registry.tools.emplace("gcc", gcc);
    registry.tools.emplace("bare", nullptr);
    registry.save();

    TolmRegData data = parseRegistryFile(registry.path);
    ASSERT_EQ(data.projects.size(), 2u);
    EXPECT_EQ(data.projects[1].path, "/src/my lib/.tolm_project.txt");
    ASSERT_EQ(data.tools.size(), 2u);
    const auto& reread = *data.tools[1].context;
    ASSERT_EQ(reread.assignments.size(), gcc->assignments.size());
    for (std::size_t i = 0; i < reread.assignments.size(); ++i) {
        const auto& before = gcc->assignments[i];
        const auto& after = reread.assignments[i];
        EXPECT_EQ(after.type, before.type) << before.name;
        EXPECT_EQ(after.modifier, before.modifier) << before.name;
        if (!before.value) continue;
        ASSERT_NE(after.value, nullptr) << before.name;
        EXPECT_EQ(typeid(*after.value), typeid(*before.value)) << before.name;
    }
    ASSERT_EQ(reread.conditions.size(), 1u);
    EXPECT_EQ(reread.conditions[0].second->conditions.size(), 1u);
    EXPECT_EQ(registryFileText(registryOf(data)), registryFileText(registry));
}

// Values with no written form are left out; the rest still reads back.
TEST(RegistryRoundTrip, UncarriableValuesLeftOut)
{
    QuietLog quiet;
    ScratchDir scratch;
    TolmRegistry registry;
    registry.path = scratch.path() / ".tolm_registry.txt";
    registry.tools.emplace("t", std::make_shared<Tolm::ContextTemplate>(std::vector<Assignment>{
        Assignment("QUOTE", Tolm::makeStringValue("a\"b"), Type::Set, 0),
        Assignment("RAW_END", Tolm::makeRawStringValue("f(x)"), Type::Set, 0),
        Assignment("RAW_QUOTE", Tolm::makeRawStringValue("a)\"b"), Type::Set, 0),
        Assignment("PATH_END", Tolm::makePathStringValue("/a", "b)"), Type::Set, 0),
        Assignment("BLOCK", std::make_shared<Tolm::TolmContext>(std::make_shared<Tolm::Context>()), Type::Set, 0),
        Assignment("NESTED", Tolm::makeListValue({Tolm::makeListValue({Tolm::makeIntValue(1)})}), Type::Set, 0),
        Assignment("APPEND_NOTHING", nullptr, Type::Append, 0),
        Assignment("DECLARED", Tolm::makeIntValue(1), Type::Declare, 0),
        Assignment("KEPT", Tolm::makeIntValue(7), Type::Set, 0),
    }));
    registry.save();

    TolmRegData data = parseRegistryFile(registry.path);
    ASSERT_EQ(data.tools.at(0).context->assignments.size(), 1u);
    EXPECT_EQ(data.tools[0].context->assignments[0].name, "KEPT");
}

}  // namespace
