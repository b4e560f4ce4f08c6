#include "parser/throwing_error_listener.h"

#include <gtest/gtest.h>

#include "parser/CommonLexer.h"
#include "parser/TolmTopParser.h"

namespace {

std::vector<std::string> projectErrors(const std::string& text) {
    antlr4::ANTLRInputStream input(text);
    CommonLexer lexer(&input);
    antlr4::CommonTokenStream tokens(&lexer);
    TolmTopParser parser(&tokens);
    ThrowingErrorListener listener("/p/.tolm_project.txt");
    lexer.removeErrorListeners();
    parser.removeErrorListeners();
    lexer.addErrorListener(&listener);
    parser.addErrorListener(&listener);
    parser.projFile();
    return listener.messages;
}

// Parser errors quote the offending token after path, line and zero-based column.
TEST(ThrowingErrorListener, ParserErrorQuotesToken) {
    auto errors = projectErrors("name demo\nunits {\n  core { \"a\" } }\n  }");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "/p/.tolm_project.txt(4,2): '}' extraneous input '}' expecting <EOF>");
}

// Lexer errors have no token to quote.
TEST(ThrowingErrorListener, LexerErrorHasNoTokenPart) {
    auto errors = projectErrors("name demo\n  $");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "/p/.tolm_project.txt(2,2): token recognition error at: '$'");
}

// An error at the end of input quotes the end-of-file token's text.
TEST(ThrowingErrorListener, ErrorAtEndOfInput) {
    auto errors = projectErrors("units {");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0], "/p/.tolm_project.txt(1,7): '<EOF>' mismatched input '<EOF>' expecting {'}', IDENTIFIER}");
}

// Every error is kept, in the order reported.
TEST(ThrowingErrorListener, CollectsAllErrors) {
    auto errors = projectErrors("$ name demo %");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("(1,0)"), std::string::npos);
    EXPECT_NE(errors[1].find("(1,12)"), std::string::npos);
}

}  // namespace
