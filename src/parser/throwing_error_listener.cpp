#include "parser/throwing_error_listener.h"

#include <fmt/format.h>

#include <utility>

ThrowingErrorListener::ThrowingErrorListener(std::filesystem::path sourceFile)
    : source(std::move(sourceFile)) {}

void ThrowingErrorListener::syntaxError(antlr4::Recognizer* /*recognizer*/, antlr4::Token* offendingSymbol,
                                        size_t line, size_t charPositionInLine, const std::string& msg,
                                        std::exception_ptr /*e*/) {
    // Lexer errors have no offending token, so they carry no quoted token part.
    std::string message = fmt::format("{}({},{}): ", source.string(), line, charPositionInLine);
    if (offendingSymbol != nullptr) message += fmt::format("'{}' ", offendingSymbol->getText());
    message += msg;
    messages.push_back(std::move(message));
}
