#include "parser/tolm_error_counter.h"

#include <gtest/gtest.h>

#include "parser/CommonLexer.h"
#include "parser/TolmTopParser.h"

namespace {

void parseAssignmentWith(TolmErrorCounter& counter, const std::string& text) {
    antlr4::ANTLRInputStream input(text);
    CommonLexer lexer(&input);
    antlr4::CommonTokenStream tokens(&lexer);
    TolmTopParser parser(&tokens);
    parser.removeErrorListeners();
    parser.addErrorListener(&counter);
    parser.assignment();
}

// A silenced counter counts but prints nothing.
TEST(TolmErrorCounter, SilencedCountsOnly) {
    TolmErrorCounter counter("assignment", true);
    testing::internal::CaptureStderr();
    parseAssignmentWith(counter, "= 1");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(counter.count, 1);
}

// An unsilenced counter prints one line per error with its name.
TEST(TolmErrorCounter, PrintsOneLinePerError) {
    TolmErrorCounter counter("cli", false);
    testing::internal::CaptureStderr();
    parseAssignmentWith(counter, "= 1");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cli: line 1:0 mismatched input '=' expecting {'^', '!', IDENTIFIER}\n");
    EXPECT_EQ(counter.count, 1);
}

}  // namespace
