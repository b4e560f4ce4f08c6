#include "parser/registry_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <typeinfo>

#include "scenario/scratch_dir.h"
#include "tolm_registry.h"
#include "types/context_test_support.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

using namespace Tolm;
using namespace Tolm::TestSupport;
using Op = Condition::OperatorType;

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
    } catch (const TolmException& e) {
        return e.message();
    }
    return "no error";
}

// Malformed files fail with the first message, which starts with the path and
// the line and column; a block as a value names file, line and variable; an
// empty file reads; a missing file and a directory are not found.
TEST(ParseRegistryFile, Failures)
{
    ScratchDir scratch;
    const auto file = scratch.path() / "r.txt";
    const std::string at = file.string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tools {\n}\nprojects {\n}\n", at + "(3,0): 'projects' "},
        {"projects {\n  app \"/a\"\n", at + "(3,0): '<EOF>' "},
        {"projects {\n  app $ \"/a\"\n}\n", at + "(2,6): token recognition error at: '$'"},
        {"tools {\n  gcc {\n    FLAGS = { a = 1 }\n  }\n}\n",
         at + "(3,12): a block cannot be used as a value here, in the value of 'FLAGS'"},
    };
    for (const auto& [content, prefix] : cases) {
        scratch.write("r.txt", content);
        EXPECT_EQ(errorOf(file).rfind(prefix, 0), 0u) << errorOf(file);
    }
    EXPECT_EQ(errorOf(scratch.write("empty.txt", "// nothing yet\n")), "no error");
    for (const auto& missing : {scratch.path() / "none", scratch.path()}) {
        EXPECT_EQ(errorOf(missing), "Registry file '" + missing.string() + "' not found.");
    }
}

std::string literalOf(const TolmValuePtr& value)
{
    return value ? std::string(typeid(*value).name()) + " " + value->toLiteral() : "-";
}

// A block's assignments (name, operator, modifier, value kind and value) and
// conditional blocks, one line each, nested blocks indented.
std::string describe(const ContextTemplate* block, const std::string& indent = "")
{
    if (block == nullptr) return indent + "null\n";
    std::string out;
    for (const auto& a : block->assignments) {
        out += fmt::format("{}{} {} {} {}\n", indent, a.name, static_cast<int>(a.type), a.modifier, literalOf(a.value));
    }
    for (const auto& [condition, guarded] : block->conditions) {
        out += fmt::format("{}if {} {} {}\n", indent, literalOf(condition.left), static_cast<int>(condition.op),
                           literalOf(condition.right));
        out += describe(guarded.get(), indent + "  ");
    }
    return out;
}

// Saving a registry with projects and tools of every value kind, both
// modifiers and nested conditional blocks, then reading it back, gives the
// same projects and tools; a relative project path comes back joined onto the
// registry's canonical directory; values with no written form are left out.
TEST(RegistryRoundTrip, EveryValueKind)
{
    ScratchDir scratch;
    std::filesystem::create_directories(scratch.path() / "other");
    TolmRegistry registry{scratch.path() / "other/../.tolm_registry.txt",
                          {{"App", "/src/app/.tolm_project.txt"}, {"lib-2", "my lib/.tolm_project.txt"}},
                          {}};
    auto nested = std::make_shared<ContextTemplate>(
        std::vector{Assignment("CFLAGS", str("-O2"), Type::Append, 0)},
        std::vector<ConditionalBlock>{{{ref("DEBUG"), nullptr, Op::Exists},
                                       std::make_shared<ContextTemplate>(std::vector{set("CFLAGS", str("-g"))})}});
    auto gcc = std::make_shared<ContextTemplate>(
        std::vector{
            Assignment("NOTE", str("multi\nline $(x) // no comment"), Type::SetIfEmpty, 0),
            set("PATTERN", makeRawStringValue("a)b \"q\" a))")),
            set("toolchain_path", makePathStringValue("/usr", "bin")),
            set("version", makeIntValue(-12)),
            Assignment("LIST", makeListValue({str("a"), makeIntValue(3), makePathStringValue("/p", "q")}), Type::Append, 0),
            set("EMPTY", makeListValue({})),
            set("REF", ref("other.item[2][1..3][idx]")),
            Assignment("C_FILES", nullptr, Type::Declare, Assignment::RequiredModifier),
            set("OUTPUT", str("out"), Assignment::OutputModifier),
        },
        std::vector<ConditionalBlock>{{{ref("mode"), str("debug"), Op::NotEqual}, nested}});
    auto lossy = std::make_shared<ContextTemplate>(std::vector{
        set("QUOTE", str("a\"b")),
        set("RAW_END", makeRawStringValue("f(x)")),
        set("RAW_QUOTE", makeRawStringValue("a)\"b")),
        set("PATH_END", makePathStringValue("/a", "b)")),
        set("BLOCK", std::make_shared<TolmContext>(std::make_shared<Context>())),
        set("NESTED", makeListValue({makeListValue({makeIntValue(1)})})),
        Assignment("APPEND_NOTHING", nullptr, Type::Append, 0),
        Assignment("DECLARED", makeIntValue(1), Type::Declare, 0),
        set("KEPT", makeIntValue(7)),
    });
    registry.tools = {{"gcc", gcc}, {"bare", nullptr}, {"lossy", lossy}};
    QuietLog quiet;
    registry.save();

    TolmRegData data = parseRegistryFile(registry.path);
    ASSERT_EQ(data.projects.size(), 2u);
    EXPECT_EQ(data.projects[0].name + " " + data.projects[0].path.string(), "App /src/app/.tolm_project.txt");
    EXPECT_EQ(data.projects[1].name, "lib-2");
    EXPECT_EQ(data.projects[1].path, std::filesystem::canonical(scratch.path()) / "my lib/.tolm_project.txt");
    ASSERT_EQ(data.tools.size(), 3u);
    EXPECT_EQ(data.tools[0].name + data.tools[1].name + data.tools[2].name, "baregcclossy");
    EXPECT_EQ(describe(data.tools[0].context.get()), "");
    EXPECT_EQ(describe(data.tools[1].context.get()), describe(gcc.get()));
    EXPECT_EQ(describe(data.tools[2].context.get()), "KEPT 1 0 " + literalOf(makeIntValue(7)) + "\n");
}

}  // namespace
