#pragma once

// The generated lexer and parser set up over one text. Every loader parses
// through one of these; each installs the error listeners it needs. The
// members own everything a parse tree points into, so a tree lives exactly
// as long as the pipeline that made it.

#include <string_view>

#include "antlr4-runtime.h"
#include "parser/CommonLexer.h"
#include "parser/TolmTopParser.h"

struct ParsePipeline {
    explicit ParsePipeline(std::string_view text)
        : input(text.data(), text.size()), lexer(&input), tokens(&lexer), parser(&tokens) {}
    ParsePipeline(const ParsePipeline&) = delete;
    ParsePipeline& operator=(const ParsePipeline&) = delete;

    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    TolmTopParser parser;
};
