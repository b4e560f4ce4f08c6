#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

enum class Rule { Unit, Project, Registry, Assignment };

bool parsesCleanly(Rule rule, const std::string& text) {
    ParserTest::Parsed p(text);
    switch (rule) {
        case Rule::Unit: p.parser.unitFile(); break;
        case Rule::Project: p.parser.projFile(); break;
        case Rule::Registry: p.parser.registryFile(); break;
        case Rule::Assignment: p.parser.assignment(); break;
    }
    return p.errors.messages.empty();
}

// Each start rule accepts and rejects exactly the documented inputs.
TEST(TolmTopParser, AcceptRejectTable) {
    using enum Rule;
    const std::vector<std::tuple<Rule, const char*, bool>> cases = {
        {Unit, "", true}, {Project, "  \n", true}, {Registry, "// nothing\n/* at all */", true},
        {Project, R"(name demo
import { "../lib" lib (release); base; dbg: other(debug); }
tools { gcc { toolchain_path = "/usr/bin" } }
units { core { "a/tolm.txt" "b/tolm.txt" } }
profiles { release { OPT = "-O2" } })", true},
        {Project, "units { } tools { }", false}, {Project, "import { } import { }", false},
        {Project, R"(units { core { "a/tolm.txt", "b/tolm.txt" } })", false},
        {Registry, R"(projects { demo "/home/u/demo" } tools { gcc { !cc = "gcc" } })", true},
        {Registry, "tools { } projects { }", false}, {Registry, "projects { demo }", false},
        {Assignment, "a", true}, {Assignment, "^a", true}, {Assignment, "!a", true}, {Assignment, "a ?= 1", true},
        {Assignment, "x = 1 y = 2", true},  // the rule itself stops after one assignment
        {Assignment, "", false}, {Assignment, "= 1", false}, {Assignment, "name = 1", false},
        {Unit, R"--(t: { x = [] y = [[1], {a = 1}] z = ["a", R"(b)", P"(c)", d.e[0], -4] })--", true},
        {Unit, "t: { x = [1, 2,] }", false}, {Unit, "t: { x = [,] }", false},
        {Unit, R"--(t: { x = a[1:-1] y = a[-2] z = a[R"(ab.*)"] w = a[y.z][0] })--", true},
        {Unit, "t: { x = a[a:b] }", false},
        {Unit, R"(t: { if DEBUG { X = 1 } if os != "linux" { } if a.b = {} { } })", true},
        {Unit, "t: { if { X = 1 } }", false}, {Unit, "t: { if a >= 1 { } }", false},
        {Unit, "unit core\napp: {}\nlib(a, b): app {}", true},
        {Unit, "app() : {}", false}, {Unit, "app:", false}, {Unit, "unit: {}", false},
        {Unit, "t: ns/lib::app lib::app app @list.item {}", true},
        {Unit, "t: +dep => out @m(.) +> out2 d(x, y.z) {}", true},
        {Unit, "t: ns/app {}", false}, {Unit, "t: lib:: {}", false}, {Unit, "t: dep() {}", false},
        {Unit, "t: dep => name {}", false}, {Unit, "a: {} trailing", false},
    };
    for (const auto& [rule, text, valid] : cases) EXPECT_EQ(parsesCleanly(rule, text), valid) << text;
}

}  // namespace
