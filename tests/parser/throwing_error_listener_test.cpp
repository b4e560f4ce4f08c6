#include "parser/throwing_error_listener.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

// Messages carry path, one-based line, zero-based column, the quoted token
// for parser errors only, and the runtime's text; every error is kept in order.
TEST(ThrowingErrorListener, MessageFormat) {
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"name demo\nunits {\n  core { \"a\" } }\n  }", {"test.txt(4,2): '}' extraneous input '}' expecting <EOF>"}},
        {"name demo\n  $", {"test.txt(2,2): token recognition error at: '$'"}},
        {"units {", {"test.txt(1,7): '<EOF>' mismatched input '<EOF>' expecting {'}', IDENTIFIER}"}},
        {"profiles { p { a 1 } }", {"test.txt(1,17): '1' extraneous input '1' expecting {LINE_COMMENT, "
                                    "BLOCK_COMMENT, '}', '^', '!', 'if', IDENTIFIER}"}},
        {"$ name demo %",
         {"test.txt(1,0): token recognition error at: '$'", "test.txt(1,12): token recognition error at: '%'"}},
    };
    for (const auto& [text, messages] : cases) {
        ParserTest::Parsed p(text);
        p.parser.projFile();
        EXPECT_EQ(p.errors.messages, messages) << text;
    }
}

}  // namespace
