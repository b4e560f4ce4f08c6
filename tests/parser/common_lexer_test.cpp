#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/CommonLexer.h"
#include "parser/throwing_error_listener.h"

namespace {

struct Lexed {
    // "NAME:text" per token, end of file left out.
    std::vector<std::string> tokens;
    std::vector<std::string> errors;
};

Lexed lex(const std::string& text) {
    antlr4::ANTLRInputStream input(text);
    CommonLexer lexer(&input);
    ThrowingErrorListener listener("in");
    lexer.removeErrorListeners();
    lexer.addErrorListener(&listener);
    Lexed out;
    for (auto token = lexer.nextToken(); token->getType() != antlr4::Token::EOF; token = lexer.nextToken())
        out.tokens.push_back(std::string(lexer.getVocabulary().getSymbolicName(token->getType())) + ":" +
                             token->getText());
    out.errors = listener.messages;
    return out;
}

using Tokens = std::vector<std::string>;

// Keywords are case-sensitive whole words; anything longer is an identifier.
TEST(CommonLexer, KeywordsVersusIdentifiers) {
    EXPECT_EQ(lex("unit if import units profiles projects tools name").tokens,
              (Tokens{"UNIT_STR:unit", "IF_STR:if", "IMPORT_STR:import", "UNITS_STR:units",
                      "PROFILES_STR:profiles", "PROJECTS_STR:projects", "TOOLS_STR:tools", "NAME_STR:name"}));
    EXPECT_EQ(lex("units2 name_x if-then Unit a-b-c").tokens,
              (Tokens{"IDENTIFIER:units2", "IDENTIFIER:name_x", "IDENTIFIER:if-then", "IDENTIFIER:Unit",
                      "IDENTIFIER:a-b-c"}));
}

// A minus belongs to the number after it; alone it matches nothing.
TEST(CommonLexer, NumbersWithSigns) {
    EXPECT_EQ(lex("-12").tokens, (Tokens{"NUMBER:-12"}));
    EXPECT_EQ(lex("1-2").tokens, (Tokens{"NUMBER:1", "NUMBER:-2"}));
    Lexed loose = lex("- 1");
    EXPECT_EQ(loose.tokens, (Tokens{"NUMBER:1"}));
    ASSERT_EQ(loose.errors.size(), 1u);
    EXPECT_EQ(loose.errors[0], "in(1,0): token recognition error at: '- '");
    EXPECT_EQ(lex("+3").tokens, (Tokens{"PLUS:+", "NUMBER:3"}));
}

// Colons: two make one DCOLON, a third stands alone.
TEST(CommonLexer, Colons) {
    EXPECT_EQ(lex("a::b").tokens, (Tokens{"IDENTIFIER:a", "DCOLON:::", "IDENTIFIER:b"}));
    EXPECT_EQ(lex("a:b").tokens, (Tokens{"IDENTIFIER:a", "COLON::", "IDENTIFIER:b"}));
    EXPECT_EQ(lex(":::").tokens, (Tokens{"DCOLON:::", "COLON::"}));
}

// Strings span lines and hide comment markers; comments hide quotes.
TEST(CommonLexer, StringsAndComments) {
    EXPECT_EQ(lex("\"a\n// b /* c\"").tokens, (Tokens{"STRING:\"a\n// b /* c\""}));
    EXPECT_EQ(lex("x // \"not a string\n/* \" */ y").tokens, (Tokens{"IDENTIFIER:x", "IDENTIFIER:y"}));
    EXPECT_EQ(lex("\"\"").tokens, (Tokens{"STRING:\"\""}));
}

// Block comments do not nest: the first */ ends them.
TEST(CommonLexer, BlockCommentsDoNotNest) {
    Lexed out = lex("/* a /* b */ c */");
    EXPECT_EQ(out.tokens, (Tokens{"IDENTIFIER:c", "SLASH:/"}));
    EXPECT_EQ(out.errors.size(), 1u);
}

// Raw and path strings end at the first )" and keep quotes and parentheses.
TEST(CommonLexer, RawAndPathStrings) {
    EXPECT_EQ(lex(R"--(R"(a)b)")--").tokens, (Tokens{R"--(RAW_STRING:R"(a)b)")--"}));
    EXPECT_EQ(lex(R"--(R"()")--").tokens, (Tokens{R"--(RAW_STRING:R"()")--"}));
    EXPECT_EQ(lex(R"--(R"(x")")--").tokens, (Tokens{R"--(RAW_STRING:R"(x")")--"}));
    EXPECT_EQ(lex(R"--(P"(src/*.c)")--").tokens, (Tokens{R"--(PATH_STRING:P"(src/*.c)")--"}));
    // A content ending in ')' swallows the closing pair and finds none later.
    EXPECT_EQ(lex(R"--(R"(f(x))")--").tokens, (Tokens{"IDENTIFIER:R", R"--(STRING:"(f(x))")--"}));
}

// Only blanks, tabs and line breaks are whitespace; other odd characters are errors.
TEST(CommonLexer, UnmatchedCharacters) {
    EXPECT_TRUE(lex("  \t\r\n// only a comment\n/* and\n this */").tokens.empty());
    EXPECT_EQ(lex("a\fb").errors.size(), 1u);
    Lexed odd = lex("a $ b");
    EXPECT_EQ(odd.tokens, (Tokens{"IDENTIFIER:a", "IDENTIFIER:b"}));
    ASSERT_EQ(odd.errors.size(), 1u);
    EXPECT_EQ(odd.errors[0], "in(1,2): token recognition error at: '$'");
}

// Unterminated literals fall back to shorter tokens; a lone quote swallows the rest.
TEST(CommonLexer, UnterminatedLiterals) {
    EXPECT_EQ(lex("/* open").tokens, (Tokens{"SLASH:/", "IDENTIFIER:open"}));
    Lexed raw = lex("R\"(abc");
    EXPECT_EQ(raw.tokens, (Tokens{"IDENTIFIER:R"}));
    EXPECT_EQ(raw.errors.size(), 1u);
    Lexed quote = lex("x = \"abc\ny");
    EXPECT_EQ(quote.tokens, (Tokens{"IDENTIFIER:x", "EQUALS:="}));
    EXPECT_EQ(quote.errors.size(), 1u);
}

// Operators are matched longest first.
TEST(CommonLexer, Operators) {
    EXPECT_EQ(lex("= != += ?= => +> < > ! ^ @").tokens,
              (Tokens{"EQUALS:=", "NEQUALS:!=", "APPEND:+=", "ASSIGNEMPTY:?=", "ALIAS:=>", "MERGE_ALIAS:+>",
                      "LESSER:<", "GREATER:>", "MUST:!", "UP:^", "AT:@"}));
}

}  // namespace
