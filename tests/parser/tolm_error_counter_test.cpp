#include "parser/tolm_error_counter.h"

#include <gtest/gtest.h>

#include "parser/visit_helpers.h"

namespace {

// A silenced counter only counts; an unsilenced one also prints one named line per error.
TEST(TolmErrorCounter, CountsAndPrints) {
    for (bool silenced : {true, false}) {
        ParserTest::Parsed p("= 1");
        TolmErrorCounter counter("cli", silenced);
        p.parser.removeErrorListeners();
        p.parser.addErrorListener(&counter);
        testing::internal::CaptureStderr();
        p.parser.assignment();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  silenced ? "" : "cli: line 1:0 mismatched input '=' expecting {'^', '!', IDENTIFIER}\n");
        EXPECT_EQ(counter.count, 1);
    }
}

}  // namespace
