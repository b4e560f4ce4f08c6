#include "tolm_registry.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <typeinfo>

#include "parser/registry_file.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"

namespace {

using namespace Tolm;
using namespace TestSupport;
using Op = Condition::OperatorType;

std::size_t entriesIn(const std::filesystem::path& directory)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

// The file's exact bytes: sections only when they have entries, names in
// case-insensitive order as stored, an empty line between the sections, an
// empty tool as its two lines; entries the reader would refuse are left out
// with a warning.
TEST(TolmRegistrySave, ByteLayout)
{
    auto gcc = std::make_shared<ContextTemplate>(
        std::vector{set("toolchain_type", str("gnu-gcc")), append("CC", makeIntValue(12))});
    const std::string gccLines = "  gcc-12 {\n    toolchain_type = \"gnu-gcc\"\n    CC += 12\n  }\n";
    auto latin = std::make_shared<ContextTemplate>(std::vector{set("A", str("caf\xE9")), set("B", raw("\xFF"))});
    auto here = std::make_shared<ContextTemplate>(std::vector{set("P", makePathStringValue(".", "bin"))});
    const std::vector<std::tuple<TolmRegistry, std::string, std::string>> cases = {
        {{"", {}, {}}, "", ""},
        {{"", {{"lib", "/src/lib/p.txt"}, {"App", "/src/App/p.txt"}}, {}},
         "projects {\n  App \"/src/App/p.txt\"\n  lib \"/src/lib/p.txt\"\n}\n", ""},
        {{"", {{"app", "/src/app/p.txt"}}, {{"gcc-12", gcc}, {"empty", nullptr}}},
         "projects {\n  app \"/src/app/p.txt\"\n}\n\ntools {\n  empty {\n  }\n" + gccLines + "}\n", ""},
        {{"", {{"tools", "/a/p.txt"}, {"quoted", "/a\"b/p.txt"}}, {{"has space", nullptr}, {"", nullptr}}}, "",
         "project 'quoted' left out: its path '/a\"b/p.txt' holds a double quote"},
        // Bytes that are not UTF-8 would make the whole file unreadable.
        {{"", {{"latin", "/caf\xE9/p.txt"}}, {{"t", latin}}}, "tools {\n  t {\n  }\n}\n",
         "project 'latin' left out: its path is not valid UTF-8"},
        // A path based at the current directory is written absolute, not relative to the registry.
        {{"", {}, {{"t", here}}}, "tools {\n  t {\n    P = P\"(" + std::filesystem::current_path().string() + "/./bin)\"\n  }\n}\n",
         ""},
    };
    for (auto [registry, expected, warning] : cases) {
        ScratchDir scratch;
        registry.path = scratch.write(".tolm_registry.txt", "projects {\n  old \"/x\"\n}\n");
        LogCapture log(5);
        registry.save();
        EXPECT_EQ(contentOf(registry.path), expected);
        EXPECT_EQ(entriesIn(scratch.path()), 1u) << "temporary file left behind";
        const std::string printed = log.text();
        EXPECT_NE(printed.find(warning), std::string::npos) << printed;
        EXPECT_NE(printed.find("Updated file '" + registry.path.string() + "'.\n"), std::string::npos) << printed;
    }
}

// A failed save names the registry file, keeps the old file and leaves no
// temporary file behind; a registry file linked from elsewhere stays a link.
TEST(TolmRegistrySave, FailuresAndLinks)
{
    LogCapture quiet(5);
    ScratchDir scratch;
    TolmRegistry unopenable{scratch.write("plain", "x") / ".tolm_registry.txt", {}, {}};
    EXPECT_EQ(failureOf<std::runtime_error>([&] { unopenable.save(); }),
              "Unable to open registry file for writing: " + unopenable.path.string());
    // A directory where the file should be cannot be replaced.
    TolmRegistry blocked{scratch.path() / ".tolm_registry.txt", {{"app", "/a/p.txt"}}, {}};
    std::filesystem::create_directories(blocked.path / "inside");
    EXPECT_EQ(failureOf<std::runtime_error>([&] { blocked.save(); }),
              "Unable to write registry file: " + blocked.path.string());
    EXPECT_TRUE(std::filesystem::is_directory(blocked.path / "inside"));
    EXPECT_EQ(entriesIn(scratch.path()), 2u);

    std::filesystem::remove_all(blocked.path);
    auto real = scratch.write("dotfiles/registry.txt", "");
    std::filesystem::create_symlink(real, blocked.path);
    blocked.save();
    EXPECT_TRUE(std::filesystem::is_symlink(blocked.path));
    EXPECT_EQ(contentOf(real), "projects {\n  app \"/a/p.txt\"\n}\n");
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
// registry's canonical directory; values and conditions with no written form
// are left out.
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
            // Content ending in ')' closes with the ')"' after it.
            set("RAW_END", makeRawStringValue("echo $(pwd)")),
            set("PATH_END", makePathStringValue("/a", "backup (1)")),
            set("toolchain_path", makePathStringValue("/usr", "bin")),
            set("version", makeIntValue(-12)),
            append("LIST", makeListValue({str("a"), num(3), makePathStringValue("/p", "q")})),
            set("EMPTY", makeListValue({})),
            set("REF", ref("other.item[2][1..3][idx]")),
            Assignment("C_FILES", nullptr, Type::Declare, Assignment::RequiredModifier),
            set("OUTPUT", str("out"), Assignment::OutputModifier),
        },
        std::vector<ConditionalBlock>{
            {{ref("mode"), str("debug"), Op::NotEqual}, nested},
            {{ref("mode"), str("release"), Op::Equal},
             std::make_shared<ContextTemplate>(std::vector{set("O", num(2))})},
            {{ref("LEVEL"), num(3), Op::Less}, std::make_shared<ContextTemplate>()}});
    auto lossy = std::make_shared<ContextTemplate>(std::vector{
        set("QUOTE", str("a\"b")),
        set("RAW_QUOTE", makeRawStringValue("a)\"b")),
        set("PATH_QUOTE", makePathStringValue("/a", "b)\"")),
        set("BLOCK", std::make_shared<TolmContext>(std::make_shared<Context>())),
        set("NESTED", makeListValue({makeListValue({makeIntValue(1)})})),
        Assignment("APPEND_NOTHING", nullptr, Type::Append, 0),
        Assignment("DECLARED", makeIntValue(1), Type::Declare, 0),
        set("KEPT", makeIntValue(7)),
    }, std::vector<ConditionalBlock>{{{str("not a name"), nullptr, Op::Exists}, std::make_shared<ContextTemplate>()}});
    registry.tools = {{"gcc", gcc}, {"bare", nullptr}, {"lossy", lossy}};
    LogCapture quiet(8);
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
