#include "parser/tolm_error_counter.h"

#include <fmt/format.h>

#include <cstdio>

TolmErrorCounter::TolmErrorCounter(const char* counterName, bool silenced)
    : name(counterName), silence(silenced) {}

void TolmErrorCounter::syntaxError(antlr4::Recognizer* /*recognizer*/, antlr4::Token* /*offendingSymbol*/,
                                   size_t line, size_t charPositionInLine, const std::string& msg,
                                   std::exception_ptr /*e*/) {
    ++count;
    if (silence) return;
    fmt::print(stderr, "{}: line {}:{} {}\n", name, line, charPositionInLine, msg);
    std::fflush(stderr);
}
