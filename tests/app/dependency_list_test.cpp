#include "app/dependency_list.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "parser/visit_helpers.h"
#include "support/test_support.h"
#include "types/target_context.h"

namespace {

using TestSupport::failureOf;
using TestSupport::LogCapture;

// One dependency as a short text: [ns/][unit::]target(params) src=... =>alias / +>alias.
std::string describe(const Tolm::Dependency& dependency) {
    const auto& name = std::get<Tolm::QualifiedTargetName>(dependency.target);
    std::string text = (name.ns.empty() ? "" : name.ns + "/") + (name.unit.empty() ? "" : name.unit + "::") + name.target;
    if (!dependency.parameters.empty()) {
        text += "(";
        for (std::size_t i = 0; i < dependency.parameters.size(); ++i)
            text += (i ? "," : "") + dependency.parameters[i].toString();
        text += ")";
    }
    if (dependency.source) text += " src=" + dependency.source->toString();
    if (dependency.aliasKind == 1) text += " =>" + dependency.alias;
    if (dependency.aliasKind == 2) text += " +>" + dependency.alias;
    if (dependency.modifier == 1) text = "+" + text;
    return text;
}

// The dependency list of target `app` of the unit text, joined with "|", or
// "!" and the failure.
std::string dependenciesOf(const std::string& unitText, std::string* log = nullptr) {
    auto unit = ParserTest::unitOf("unit main\n" + unitText);
    auto target = std::make_shared<Tolm::TargetContext>(unit->targets.at("app"), std::vector<Tolm::TolmValuePtr>{});
    LogCapture capture(5);
    std::string joined;
    const std::string failure = failureOf([&] {
        for (const Tolm::Dependency& dependency : createDependencyList(*target))
            joined += (joined.empty() ? "" : "|") + describe(dependency);
    });
    if (log) *log = capture.text();
    return failure == "no failure" ? joined : "!" + failure;
}

// Static and dynamic dependencies expand in written order, each value type by its own rule; a
// failure is "!" and its message.
TEST(DependencyListTest, ExpandsOrRejects) {
    const struct {
        const char* unit;
        const char* expected;
    } cases[] = {
        {"app: lib u::other ns/v::far {}", "lib|u::other|ns/v::far"},
        {"app: first @deps last { deps = \"a b(x, y)  c\" }", "first|a|b(x,y)|c|last"},
        {"app: @deps { deps = [\"u::a\", \"ns/v::b(p.q)\"] }", "u::a|ns/v::b(p.q)"},
        // A context value: one dependency per variable, in name order; the source marker hands its value on.
        {"app: @deps(.) { deps = { util = \"2\" core = \"1\" } }", "core src=1|util src=2"},
        {"app: @deps(., p) { deps = \"lib\" }", "lib(p) src=lib"},
        {"app: @deps(p) { deps = \"a b\" }", "a(p)|b(p)"},
        {"app: +@deps +> all { deps = [\"a\", \"b\"] }", "+a +>all|+b +>all"},
        {"app: @deps => one { deps = \"a\" }", "a =>one"},
        // A malformed entry names the offending text and the reason; nothing is returned.
        {"app: @deps { deps = \"a) b\" }", "!Invalid dynamic dependency 'a) b': unmatched ')'"},
        {"app: @deps { deps = \"a lib(x,\" }", "!Invalid dynamic dependency 'a lib(x,': unterminated parameter list"},
        {"app: @deps { deps = [\"lib(x)y\"] }", "!Invalid dynamic dependency 'lib(x)y': unterminated parameter list"},
        {"app: @deps => one { deps = [\"a\", \"b\"] }",
         "!Invalid dynamic dependency 'a b': single output alias cannot be used when a macro expands to multiple "
         "dependencies"},
        {"app: @deps(.) { deps = \"lib(x)\" }",
         "!Invalid dynamic dependency 'lib(x)': cannot combine source-parameterized macro with parameters from the "
         "resolved dependency value"},
        {"app: @deps(p) { deps = \"lib(x)\" }",
         "!Invalid dynamic dependency 'lib(x)': cannot combine macro parameters with parameters from the resolved "
         "dependency value"},
        {"app: @deps { deps = \"(x)\" }", "!Invalid dynamic dependency '(x)': empty target name"},
        {"app: @deps { deps = \"lib(x,,y)\" }", "!Invalid dynamic dependency 'lib(x,,y)': empty parameter"},
        {"app: @deps { deps = \"lib(x, 1y)\" }", "!Invalid dynamic dependency 'lib(x, 1y)': invalid parameter '1y'"},
        // The name itself goes through the strict reading.
        {"app: @deps { deps = \"u::\" }", "!Dependency string has empty prefix or target: u::"},
        {"app: @deps { deps = \"/u::t\" }", "!Dependency string has empty ns or unit: /u::t"},
        {"app: @missing {}", "!Assignment 'missing' not found."},
    };
    for (const auto& c : cases) EXPECT_EQ(dependenciesOf(c.unit), c.expected) << c.unit;
}

// An empty dynamic dependency is skipped with a warning; the rest of the list stays.
TEST(DependencyListTest, SkipsEmptyDynamicDependency) {
    for (const char* unit : {"app: @deps lib { deps }", "app: @deps lib { deps = \"  \" }", "app: @deps lib { deps = [] }"}) {
        std::string log;
        EXPECT_EQ(dependenciesOf(unit, &log), "lib") << unit;
        EXPECT_EQ(log, "Dynamic dependency 'deps' is empty and will be skipped.\n") << unit;
    }
}

}  // namespace
