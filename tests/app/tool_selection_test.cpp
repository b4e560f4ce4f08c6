#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "support/test_support.h"
#include "tolm_app.h"
#include "tools/matcher.h"
#include "tools/tool_test_support.h"

namespace {

using namespace TestSupport;
using ToolTestSupport::mapOf;
using ToolTestSupport::targetOf;

// A tool whose own verdict the test sets.
class FakeMatcher : public Tolm::Matcher {
public:
    FakeMatcher(std::string name, Tolm::NameMap variables, Tolm::NameMap required, Tolm::MatchResult verdict)
        : Tolm::Matcher(std::move(name), std::move(variables), std::move(required), {}, {}),
          verdict(std::move(verdict)) {}
    std::unique_ptr<Tolm::Matcher> clone() const override { return std::make_unique<FakeMatcher>(*this); }
    Tolm::MatchResult match(const Tolm::TargetContext&) const override { return verdict; }
    std::shared_ptr<Tolm::Builder> selectBuilder(const Tolm::TargetContext&) override { return nullptr; }

    Tolm::MatchResult verdict;
};

Tolm::MatchResult possible(std::map<Util::CiString, Tolm::VariableMatch> scores = {}) {
    Tolm::MatchResult result;
    result.scores = std::move(scores);
    result.note = Tolm::MatchResult::BuildPossible;
    return result;
}

std::shared_ptr<FakeMatcher> tool(const std::string& name, std::vector<Tolm::Assignment> variables,
                                  Tolm::MatchResult verdict = possible(), std::vector<Tolm::Assignment> required = {}) {
    return std::make_shared<FakeMatcher>(name, mapOf(variables), mapOf(required), std::move(verdict));
}

// The name of the chosen tool, or "none".
std::string chosen(TolmApplication& app, const std::vector<std::string>& target) {
    Tolm::Matcher* best = app.SelectTool(*targetOf(target));
    return best ? best->name : "none";
}

// Highest score wins; ties go to the first name ignoring case; impossible tools never win. While a
// project tool can build the target the registry's take no part, but built-in tools still do.
TEST(ToolSelectionTest, ChoosesByScore) {
    const Tolm::VariableMatch exact{Tolm::MatchKind::ExactMatch, 0};
    const struct {
        std::vector<std::shared_ptr<FakeMatcher>> tools;
        std::vector<std::string> target;
        const char* expected;
        std::set<Util::CiString> registryTools = {}, projectTools = {};
    } cases[] = {
        {{tool("beta", {declare("A")}), tool("Alpha", {declare("A")})}, {"A = \"1\""}, "Alpha"},
        // Two partial matches tie with one exact match (its default value); the earlier name wins.
        {{tool("b", {declare("A"), declare("B")}), tool("c", {set("X", str("x"))})},
         {"A = \"1\"", "B = \"2\"", "X = \"x\""}, "b"},
        {{tool("c", {declare("A"), declare("B")}), tool("b", {set("X", str("x"))})},
         {"A = \"1\"", "B = \"2\"", "X = \"X\""}, "b"},
        {{tool("a", {declare("A")}), tool("b", {declare("A"), declare("B")})}, {"A = \"1\"", "B = \"2\""}, "b"},
        // Variables the tool does not know add nothing; an output without value scores no match.
        {{tool("a", {declare("A")}), tool("b", {declare("Z")})}, {"A = \"1\"", "B = \"2\"", "C = \"3\""}, "a"},
        {{tool("a", {declare("OUT")}), tool("b", {})}, {"^OUT"}, "a"},
        // The tool's own verdict counts and is not overridden.
        {{tool("a", {declare("A")}), tool("b", {}, possible({{"Q", exact}}))}, {"A = \"1\""}, "b"},
        {{tool("a", {}), tool("b", {declare("A")}, Tolm::MatchResult{})}, {"A = \"1\""}, "a"},
        {{tool("a", {}, Tolm::MatchResult{})}, {"A = \"1\""}, "none"},
        {{}, {"A = \"1\""}, "none"},
        // A required variable without value must be set; one with a value need not be.
        {{tool("a", {}, possible(), {declare("cmdline")}), tool("b", {}, possible(), {set("X", str("1"))})},
         {"A = \"1\""}, "b"},
        {{tool("lua/gnu", {declare("A")}), tool("reg", {set("A", str("1"))})}, {"A = \"1\""}, "lua/gnu", {"reg"},
         {"lua/gnu"}},
        {{tool("lua/gnu", {declare("A")}, Tolm::MatchResult{}), tool("reg", {set("A", str("1"))})}, {"A = \"1\""},
         "reg", {"reg"}, {"lua/gnu"}},
        {{tool("basic", {set("C", str("c"))}), tool("lua/gnu", {declare("A")}), tool("reg", {set("A", str("1"))})},
         {"A = \"1\"", "C = \"c\""}, "basic", {"reg"}, {"lua/gnu"}},
    };
    for (const auto& c : cases) {
        TolmApplication app;
        for (const auto& matcher : c.tools) app.tools[matcher->name] = matcher;
        app.tools["empty"] = nullptr;
        app.registryTools = c.registryTools;
        app.projectTools = c.projectTools;
        EXPECT_EQ(chosen(app, c.target), c.expected) << (c.target.empty() ? "" : c.target[0]);
    }
}

}  // namespace
