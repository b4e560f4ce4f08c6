#pragma once

// Counts the syntax errors of one parse. Unless silenced it also writes each
// error as one line to standard error, prefixed with the counter's name.

#include <cstdint>
#include <string>

#include "antlr4-runtime.h"

class TolmErrorCounter : public antlr4::BaseErrorListener {
public:
    TolmErrorCounter(const char* counterName, bool silenced);

    void syntaxError(antlr4::Recognizer* recognizer, antlr4::Token* offendingSymbol, size_t line,
                     size_t charPositionInLine, const std::string& msg, std::exception_ptr e) override;

    // Printed in front of every error line; not owned.
    const char* name;
    // True: count only, print nothing.
    bool silence;
    // Errors reported so far.
    int32_t count = 0;
};
