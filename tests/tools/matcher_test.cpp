#include "tools/matcher.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/test_support.h"
#include "tools/command_tool.h"
#include "tools/no_tool.h"
#include "tools/tool_tables.h"
#include "tools/tool_test_support.h"

using namespace TestSupport;
using namespace ToolTestSupport;

namespace {

constexpr std::uint32_t Required = Tolm::Assignment::RequiredModifier;

// A matcher of no registered type, to see the merge alone.
class PlainMatcher : public Tolm::Matcher {
public:
    using Matcher::Matcher;
    std::unique_ptr<Matcher> clone() const override { return std::make_unique<PlainMatcher>(*this); }
    std::shared_ptr<Tolm::Builder> selectBuilder(const Tolm::TargetContext&) override { return nullptr; }
};

std::unique_ptr<Tolm::Matcher> created(const char* type, Tolm::NameMap variables = {}, Tolm::NameMap required = {})
{
    return std::unique_ptr<Tolm::Matcher>(Tolm::Matcher::create(type, "tool", std::move(variables), std::move(required)));
}

}  // namespace

// A definition's assignments join the base variables, replace a base
// requirement in place (it stays required), and "!" moves a name from the
// variables to the requirements.
TEST(MatcherTest, MergesDefinitionMapsIntoBaseMaps)
{
    const struct {
        std::vector<Tolm::Assignment> variables;
        std::vector<Tolm::Assignment> required;
        std::string expectedVariables;
        std::string expectedRequired;
    } cases[] = {
        {{set("CWD", str("out"))}, {}, R"(CWD = "out")", "cmdline = "},
        {{}, {set("cmdline", str("make"), Required)}, "cwd = ", R"(!cmdline = "make")"},
        {{}, {set("cwd", nullptr, Required)}, "", "cmdline = ; !cwd = "},
        {{set("FLAGS", str("-g"))}, {set("flags", nullptr, Required)}, "cwd = ", "cmdline = ; !flags = "},
        {{set("FLAGS", str("-g")), set("CMDLINE", str("make"))}, {}, R"(cwd = ; FLAGS = "-g")", R"(CMDLINE = "make")"},
    };
    for (const auto& c : cases) {
        PlainMatcher matcher("tool", mapOf({set("cwd", nullptr)}), mapOf({set("cmdline", nullptr)}),
                             mapOf(c.variables), mapOf(c.required));
        EXPECT_EQ(written(matcher.variables), c.expectedVariables) << c.expectedRequired;
        EXPECT_EQ(written(matcher.required), c.expectedRequired) << c.expectedVariables;
    }
}

// Both built-in types are registered in this binary as in the program, under
// names that ignore case, with their base maps merged with the definition's.
TEST(MatcherRegistryTest, BuiltInTypesAreRegistered)
{
    EXPECT_EQ(Tolm::matcherRegistry().count("command"), 1u);
    EXPECT_EQ(Tolm::matcherRegistry().count("no_tool"), 1u);

    auto command = created("COMMAND", mapOf({set("cwd", str("build"))}));
    EXPECT_NE(dynamic_cast<Tolm::BasicMatcher*>(command.get()), nullptr);
    EXPECT_EQ(written(command->variables), R"(cwd = "build")");
    EXPECT_EQ(written(command->required), "cmdline = ");

    auto noTool = created("No_Tool");
    EXPECT_NE(dynamic_cast<Tolm::NoToolMatcher*>(noTool.get()), nullptr);
    EXPECT_EQ(written(noTool->required), "NO_TOOL = ");
}

// Lookups by type: an unknown type or an empty factory gives no matcher, a
// later registration replaces an earlier one, an empty factory takes the
// fallback's, and a factory's failure reaches the caller.
TEST(MatcherRegistryTest, RegistrationAndLookup)
{
    auto namedAfter = [](const char* marker) {
        return [marker](Util::CiString, Tolm::NameMap, Tolm::NameMap) -> Tolm::Matcher* {
            return new PlainMatcher(marker, {}, {}, {}, {});
        };
    };
    EXPECT_EQ(created("no-such-type"), nullptr);

    Tolm::registerMatcherFactory("test-twice", "NULL", namedAfter("first"));
    Tolm::registerMatcherFactory("TEST-TWICE", "NULL", namedAfter("second"));
    EXPECT_EQ(created("test-twice")->name, "second");

    Tolm::registerMatcherFactory("test-empty", "test-no-fallback", Tolm::MatcherFactory{});
    EXPECT_EQ(created("test-empty"), nullptr);

    Tolm::registerMatcherFactory("test-fallback", "NULL", namedAfter("fallback"));
    Tolm::registerMatcherFactory("test-borrowing", "Test-Fallback", Tolm::MatcherFactory{});
    EXPECT_EQ(created("test-borrowing")->name, "fallback");

    Tolm::registerMatcherFactory("test-throwing", "NULL", [](Util::CiString, Tolm::NameMap, Tolm::NameMap) -> Tolm::Matcher* {
        throw std::runtime_error("no toolchain");
    });
    EXPECT_EQ(failureOf<std::runtime_error>([] { created("test-throwing"); }), "no toolchain");
}

// A name listed twice in a tool's table keeps its first entry, whatever its case.
TEST(ToolTablesTest, FirstEntryOfANameWins)
{
    EXPECT_EQ(written(Tolm::makeAssignmentMap({{"C_FILES", nullptr}, {"c_files", str("x")}, {"LIB", nullptr}})),
              "C_FILES = ; LIB = ");
    const Tolm::ToolVariableMap variables = Tolm::makeToolVariableMap({
        Tolm::makeToolVariableEntry("STD", Tolm::ToolVariable{nullptr, 0, 0, 5}),
        Tolm::makeToolVariableEntry("std", nullptr),
    });
    EXPECT_EQ(variables.at("Std").exactMatchWeight, 5);
}
