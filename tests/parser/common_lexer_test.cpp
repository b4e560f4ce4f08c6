#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

using Tokens = std::vector<std::string>;

struct LexCase {
    const char* text;
    Tokens tokens;  // "NAME:text" per token, end of file left out
    size_t errors;  // token recognition errors
};

// Each input lexes to exactly its documented tokens and error count; '?=' is displayed escaped.
TEST(CommonLexer, TokenTable) {
    const std::vector<LexCase> cases = {
        {"unit if import units profiles projects tools name",
         {"UNIT_STR:unit", "IF_STR:if", "IMPORT_STR:import", "UNITS_STR:units", "PROFILES_STR:profiles",
          "PROJECTS_STR:projects", "TOOLS_STR:tools", "NAME_STR:name"}, 0},
        {"units2 name_x if-then Unit a-b-c a-1",
         {"IDENTIFIER:units2", "IDENTIFIER:name_x", "IDENTIFIER:if-then", "IDENTIFIER:Unit", "IDENTIFIER:a-b-c",
          "IDENTIFIER:a-1"}, 0},
        {"-12 1-2 +3", {"NUMBER:-12", "NUMBER:1", "NUMBER:-2", "PLUS:+", "NUMBER:3"}, 0},
        {"x=-1", {"IDENTIFIER:x", "EQUALS:=", "NUMBER:-1"}, 0}, {"- 1", {"NUMBER:1"}, 1}, {"-O2", {"NUMBER:2"}, 1},
        {"a::b a:b :::", {"IDENTIFIER:a", "DCOLON:::", "IDENTIFIER:b", "IDENTIFIER:a", "COLON::", "IDENTIFIER:b",
                          "DCOLON:::", "COLON::"}, 0},
        {"= != += ?= => +> < > ! ^ @ ? x",
         {"EQUALS:=", "NEQUALS:!=", "APPEND:+=", "ASSIGNEMPTY:?=", "ALIAS:=>", "MERGE_ALIAS:+>", "LESSER:<",
          "GREATER:>", "MUST:!", "UP:^", "AT:@", "IDENTIFIER:x"}, 1},
        {"\"a\n// b /* c\" \"\"", {"STRING:\"a\n// b /* c\"", "STRING:\"\""}, 0},
        {"x // \"no string\n/* \" */ y", {"IDENTIFIER:x", "IDENTIFIER:y"}, 0},
        {R"--(R"(a)b)" R"()")--", {R"--(RAW_STRING:R"(a)b)")--", R"--(RAW_STRING:R"()")--"}, 0},
        {R"--(R"(x")" P"(src/*.c)")--", {R"--(RAW_STRING:R"(x")")--", R"--(PATH_STRING:P"(src/*.c)")--"}, 0},
        // Content ending in ')' swallows the closing pair and finds none later.
        {R"--(R"(f(x))")--", {"IDENTIFIER:R", R"--(STRING:"(f(x))")--"}, 0},
        {R"(R"abc")", {"IDENTIFIER:R", R"(STRING:"abc")"}, 0},
        {"/* a /* b */ c */", {"IDENTIFIER:c", "SLASH:/"}, 1},
        {"  \t\r\n// only a comment\n/* and\n this */", {}, 0},
        {"a\fb\vc", {"IDENTIFIER:a", "IDENTIFIER:b", "IDENTIFIER:c"}, 2},
        {"/* open", {"SLASH:/", "IDENTIFIER:open"}, 1}, {"R\"(abc", {"IDENTIFIER:R"}, 1},
        {"x = \"abc\ny", {"IDENTIFIER:x", "EQUALS:="}, 1},
    };
    for (const auto& c : cases) {
        ParserTest::Parsed p(c.text);
        Tokens tokens;
        for (auto t = p.lexer.nextToken(); t->getType() != antlr4::Token::EOF; t = p.lexer.nextToken())
            tokens.push_back(std::string(p.lexer.getVocabulary().getSymbolicName(t->getType())) + ":" + t->getText());
        EXPECT_EQ(tokens, c.tokens) << c.text;
        EXPECT_EQ(p.errors.messages.size(), c.errors) << c.text;
    }
    // Error messages show '?=' by its escaped display name.
    ParserTest::Parsed p("");
    EXPECT_EQ(p.parser.getVocabulary().getDisplayName(TolmTopParser::ASSIGNEMPTY), R"('\u003F=')");
}

}  // namespace
