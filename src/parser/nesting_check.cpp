#include "parser/nesting_check.h"

#include <vector>

#include <fmt/format.h>

#include "parser/CommonLexer.h"
#include "types/identifier.h"

namespace {

// The closing token type that matches an opening one, or 0 for other tokens.
size_t closerOf(size_t type) {
    switch (type) {
    case CommonLexer::LBRACE: return CommonLexer::RBRACE;
    case CommonLexer::LSQUARE: return CommonLexer::RSQUARE;
    case CommonLexer::LBRACKET: return CommonLexer::RBRACKET;
    default: return 0;
    }
}

}  // namespace

std::optional<std::string> excessiveNesting(antlr4::CommonTokenStream& tokens, const std::string& source) {
    tokens.fill();
    // The closers still expected, innermost last. A closer of another kind
    // closes nothing: the parser's error recovery may skip it and nest on,
    // so only a matching one counts as leaving a level.
    std::vector<size_t> expected;
    for (const antlr4::Token* token : tokens.getTokens()) {
        const size_t type = token->getType();
        if (const size_t closer = closerOf(type)) {
            expected.push_back(closer);
            if (expected.size() > Tolm::MaxNestingDepth)
                return fmt::format("{}({},{}): {}", source, token->getLine(), token->getCharPositionInLine(),
                                   Tolm::IdentifierMessages::NestingTooDeep);
        } else if (!expected.empty() && type == expected.back()) {
            expected.pop_back();
        }
    }
    return std::nullopt;
}
