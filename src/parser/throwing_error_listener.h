#pragma once

// Collects every lexer and parser error of one parse as a message that starts
// with the file's path, line and column; the loader throws the first one after
// the parse, so the user sees where the file went wrong.

#include <filesystem>
#include <string>
#include <vector>

#include "antlr4-runtime.h"

class ThrowingErrorListener : public antlr4::BaseErrorListener {
public:
    explicit ThrowingErrorListener(std::filesystem::path sourceFile);

    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    // One message per reported error, in the order reported.
    std::vector<std::string> messages;
    // The file being parsed; its full text begins every message.
    std::filesystem::path source;
};
