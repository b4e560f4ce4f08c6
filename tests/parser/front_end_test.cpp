#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

using ParserTest::Parsed;
using Tokens = std::vector<std::string>;

struct LexCase {
    const char* text;
    Tokens tokens;  // "NAME:text" per token, end of file left out
    size_t errors;  // token recognition errors
};

// Each input lexes to exactly its documented tokens and error count; '?=' is displayed escaped.
TEST(CommonLexer, TokenTable) {
    const std::vector<LexCase> cases = {
        {"unit units2 if-then Unit a-b-c a-1",
         {"UNIT_STR:unit", "IDENTIFIER:units2", "IDENTIFIER:if-then", "IDENTIFIER:Unit", "IDENTIFIER:a-b-c",
          "IDENTIFIER:a-1"}, 0},
        {"-12 1-2 +3", {"NUMBER:-12", "NUMBER:1", "NUMBER:-2", "PLUS:+", "NUMBER:3"}, 0},
        {"- 1", {"NUMBER:1"}, 1}, {"-O2", {"NUMBER:2"}, 1},
        {"a::b a:b :::", {"IDENTIFIER:a", "DCOLON:::", "IDENTIFIER:b", "IDENTIFIER:a", "COLON::", "IDENTIFIER:b",
                          "DCOLON:::", "COLON::"}, 0},
        {"?= => +> ? x", {"ASSIGNEMPTY:?=", "ALIAS:=>", "MERGE_ALIAS:+>", "IDENTIFIER:x"}, 1},
        {"\"a\n// b /* c\" \"\"", {"STRING:\"a\n// b /* c\"", "STRING:\"\""}, 0},
        {"x // \"no string\n/* \" */ y", {"IDENTIFIER:x", "IDENTIFIER:y"}, 0},
        {R"--(R"(a)b)" R"()")--", {R"--(RAW_STRING:R"(a)b)")--", R"--(RAW_STRING:R"()")--"}, 0},
        {R"--(R"(x")" P"(src/*.c)")--", {R"--(RAW_STRING:R"(x")")--", R"--(PATH_STRING:P"(src/*.c)")--"}, 0},
        // The first ')"' closes the literal, also after content ending in ')'.
        {R"--(R"(f(x))")--", {R"--(RAW_STRING:R"(f(x))")--"}, 0},
        {"P\"(backup (1))\" cmdline = \"echo\" P\"(y)\"",
         {R"--(PATH_STRING:P"(backup (1))")--", "IDENTIFIER:cmdline", "EQUALS:=", R"--(STRING:"echo")--",
          R"--(PATH_STRING:P"(y)")--"}, 0},
        {R"--(R"(echo $(pwd))" R"(()))" R"())")--",
         {R"--(RAW_STRING:R"(echo $(pwd))")--", R"--(RAW_STRING:R"(()))")--", R"--(RAW_STRING:R"())")--"}, 0},
        {R"--(R"(a))"b)")--", {R"--(RAW_STRING:R"(a))")--", "IDENTIFIER:b", "RBRACKET:)"}, 1},
        {R"(R"abc")", {"IDENTIFIER:R", R"(STRING:"abc")"}, 0},
        {"/* a /* b */ c */", {"IDENTIFIER:c", "SLASH:/"}, 1},
        {"  \t\r\n// only a comment\n/* and\n this */", {}, 0},
        {"a\fb\vc", {"IDENTIFIER:a", "IDENTIFIER:b", "IDENTIFIER:c"}, 2},
        {"/* open", {"SLASH:/", "IDENTIFIER:open"}, 1}, {"R\"(abc", {"IDENTIFIER:R"}, 1},
        {"x = \"abc\ny", {"IDENTIFIER:x", "EQUALS:="}, 1},
    };
    for (const auto& c : cases) {
        Parsed p(c.text);
        Tokens tokens;
        for (auto t = p.lexer.nextToken(); t->getType() != antlr4::Token::EOF; t = p.lexer.nextToken())
            tokens.push_back(std::string(p.lexer.getVocabulary().getSymbolicName(t->getType())) + ":" + t->getText());
        EXPECT_EQ(tokens, c.tokens) << c.text;
        EXPECT_EQ(p.errors.messages.size(), c.errors) << c.text;
    }
    // Error messages show '?=' by its escaped display name.
    Parsed p("");
    EXPECT_EQ(p.parser.getVocabulary().getDisplayName(TolmTopParser::ASSIGNEMPTY), R"('\u003F=')");
}

enum class Rule { Unit, Project, Registry, Assignment };

bool parsesCleanly(Rule rule, const std::string& text) {
    Parsed p(text);
    switch (rule) {
        case Rule::Unit: p.parser.unitFile(); break;
        case Rule::Project: p.parser.projFile(); break;
        case Rule::Registry: p.parser.registryFile(); break;
        case Rule::Assignment: p.parser.assignment(); break;
    }
    return p.errors.messages.empty();
}

// Each start rule accepts and rejects exactly the documented inputs; every section of a project file and
// the section order are checked by the project and registry loader tests.
TEST(TolmTopParser, AcceptRejectTable) {
    using enum Rule;
    const std::vector<std::tuple<Rule, const char*, bool>> cases = {
        {Unit, "", true}, {Registry, "// nothing\n/* at all */", true}, {Registry, "projects { demo }", false},
        {Assignment, "!a", true}, {Assignment, "name = 1", false},
        {Unit, R"--(t: { x = a[1:-1] y = a[-2] z = a[R"(ab.*)"] w = a[y.z][0] })--", true},
        {Unit, "t: { x = [1, 2,] }", false}, {Unit, "t: { x = a[a:b] }", false},
        {Unit, "t: { if { X = 1 } }", false}, {Unit, "t: { if a >= 1 { } }", false},
        {Unit, "app() : {}", false}, {Unit, "app:", false}, {Unit, "unit: {}", false},
        {Unit, "t: ns/app {}", false}, {Unit, "t: lib:: {}", false}, {Unit, "t: dep() {}", false},
        {Unit, "t: dep => name {}", false}, {Unit, "a: {} trailing", false},
    };
    for (const auto& [rule, text, valid] : cases) EXPECT_EQ(parsesCleanly(rule, text), valid) << text;
}

}  // namespace
