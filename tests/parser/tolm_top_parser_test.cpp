#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "parser/CommonLexer.h"
#include "parser/TolmTopParser.h"
#include "parser/throwing_error_listener.h"

namespace {

using StartRule = std::function<antlr4::ParserRuleContext*(TolmTopParser&)>;

// Every lexer and parser error of parsing `text` from `rule`.
std::vector<std::string> errorsOf(const std::string& text, const StartRule& rule) {
    antlr4::ANTLRInputStream input(text);
    CommonLexer lexer(&input);
    antlr4::CommonTokenStream tokens(&lexer);
    TolmTopParser parser(&tokens);
    ThrowingErrorListener listener("f");
    lexer.removeErrorListeners();
    parser.removeErrorListeners();
    lexer.addErrorListener(&listener);
    parser.addErrorListener(&listener);
    rule(parser);
    return listener.messages;
}

bool unitOk(const std::string& text) {
    return errorsOf(text, [](TolmTopParser& p) { return p.unitFile(); }).empty();
}
bool projectOk(const std::string& text) {
    return errorsOf(text, [](TolmTopParser& p) { return p.projFile(); }).empty();
}
bool registryOk(const std::string& text) {
    return errorsOf(text, [](TolmTopParser& p) { return p.registryFile(); }).empty();
}
bool assignmentOk(const std::string& text) {
    return errorsOf(text, [](TolmTopParser& p) { return p.assignment(); }).empty();
}
// A value inside a unit file's target block.
bool valueOk(const std::string& value) { return unitOk("t: { x = " + value + " }"); }

// Empty files and files of only comments are valid of every kind.
TEST(TolmTopParser, EmptyFilesAreValid) {
    for (const char* text : {"", "  \n", "// nothing\n/* at all */"}) {
        EXPECT_TRUE(unitOk(text)) << text;
        EXPECT_TRUE(projectOk(text)) << text;
        EXPECT_TRUE(registryOk(text)) << text;
    }
}

// Project sections come in a fixed order, each at most once.
TEST(TolmTopParser, ProjectSectionOrder) {
    EXPECT_TRUE(projectOk(R"(
name demo
import { "../lib" lib (release); base; dbg: other(debug); }
tools { gcc { toolchain_path = "/usr/bin" } }
units { core { "a/tolm.txt" "b/tolm.txt" } }
profiles { release { OPT = "-O2" } }
)"));
    EXPECT_FALSE(projectOk("units { } tools { }"));
    EXPECT_FALSE(projectOk("import { } import { }"));
    EXPECT_FALSE(projectOk(R"(units { core { "a/tolm.txt", "b/tolm.txt" } })"));
}

// Value literals: lists without trailing commas, nested lists and blocks.
TEST(TolmTopParser, Values) {
    EXPECT_TRUE(valueOk("[]"));
    EXPECT_TRUE(valueOk("[[1], {a = 1}]"));
    EXPECT_TRUE(valueOk(R"--([ "a", R"(b)", P"(c)", d.e[0], -4 ])--"));
    EXPECT_FALSE(valueOk("[1, 2,]"));
    EXPECT_FALSE(valueOk("[,]"));
}

// Indexes are numbers, number ranges, raw strings or identifiers.
TEST(TolmTopParser, Indexes) {
    EXPECT_TRUE(valueOk("x[1:-1]"));
    EXPECT_TRUE(valueOk("x[-2]"));
    EXPECT_TRUE(valueOk(R"--(x[R"(ab.*)"])--"));
    EXPECT_TRUE(valueOk("x[y.z][0]"));
    EXPECT_FALSE(valueOk("x[a:b]"));
}

// Single assignments: modifiers, operators and declarations.
TEST(TolmTopParser, Assignments) {
    EXPECT_TRUE(assignmentOk("a"));
    EXPECT_TRUE(assignmentOk("^a"));
    EXPECT_TRUE(assignmentOk("!a"));
    EXPECT_TRUE(assignmentOk("a ?= 1"));
    EXPECT_TRUE(assignmentOk("a += [1]"));
    EXPECT_FALSE(assignmentOk(""));
    EXPECT_FALSE(assignmentOk("= 1"));
    // The rule stops after one assignment; what follows is left to the caller.
    EXPECT_TRUE(assignmentOk("x = 1 y = 2"));
}

// Conditions, also with a block as the compared value.
TEST(TolmTopParser, Conditions) {
    EXPECT_TRUE(unitOk("t: { if DEBUG { X = 1 } if os != \"linux\" { Y = 2 } if a.b = {} { } }"));
    EXPECT_FALSE(unitOk("t: { if { X = 1 } }"));
    EXPECT_FALSE(unitOk("t: { if a >= 1 { } }"));
}

// Targets need their block; parameter lists are never empty.
TEST(TolmTopParser, Targets) {
    EXPECT_TRUE(unitOk("unit core\napp: {}\nlib(a, b): app {}"));
    EXPECT_FALSE(unitOk("app() : {}"));
    EXPECT_FALSE(unitOk("app:"));
    EXPECT_FALSE(unitOk("unit: {}"));
}

// Dependency forms: direct, qualified, macro, parameters and aliases.
TEST(TolmTopParser, Dependencies) {
    EXPECT_TRUE(unitOk("t: ns/lib::app lib::app app {}"));
    EXPECT_TRUE(unitOk("t: @list.item {}"));
    EXPECT_TRUE(unitOk("t: +dep => out @m(.) +> out2 d(x, y.z) {}"));
    EXPECT_FALSE(unitOk("t: ns/app {}"));
    EXPECT_FALSE(unitOk("t: lib:: {}"));
    EXPECT_FALSE(unitOk("t: dep() {}"));
    EXPECT_FALSE(unitOk("t: dep => name {}"));
}

// Registry files: projects with quoted paths, then tools.
TEST(TolmTopParser, Registry) {
    EXPECT_TRUE(registryOk(R"(projects { demo "/home/u/demo" } tools { gcc { !cc = "gcc" } })"));
    EXPECT_FALSE(registryOk(R"(tools { } projects { })"));
    EXPECT_FALSE(registryOk(R"(projects { demo } )"));
}

// Error messages name '?=' by its escaped display name, in lexer and parser alike.
TEST(TolmTopParser, AssignEmptyDisplayName) {
    antlr4::ANTLRInputStream input("");
    CommonLexer lexer(&input);
    antlr4::CommonTokenStream tokens(&lexer);
    TolmTopParser parser(&tokens);
    EXPECT_EQ(parser.getVocabulary().getDisplayName(TolmTopParser::ASSIGNEMPTY), R"('\u003F=')");
    EXPECT_EQ(lexer.getVocabulary().getDisplayName(CommonLexer::ASSIGNEMPTY), R"('\u003F=')");
    EXPECT_EQ(parser.getVocabulary().getDisplayName(TolmTopParser::APPEND), "'+='");
}

}  // namespace
