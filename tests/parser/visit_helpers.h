#pragma once

// Runs the lexer, parser and visitor on inline text the way the loaders do,
// with every lexer and parser error collected instead of printed.

#include <filesystem>
#include <memory>
#include <string>

#include "parser/CommonLexer.h"
#include "parser/TolmTopParser.h"
#include "parser/throwing_error_listener.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "support/test_support.h"
#include "types/tolm_int.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/unit.h"

namespace ParserTest {

// Lexer, parser and visitor of one text, errors going to `errors` under the
// file name "test.txt"; the tree lives as long as this.
struct Parsed {
    explicit Parsed(const std::string& text, std::int32_t mode = TolmVisitorImpl::UnitFileMode)
        : input(text), lexer(&input), tokens(&lexer), parser(&tokens), errors("test.txt"),
          visitor("/base", mode, "test.txt") {
        lexer.removeErrorListeners();
        parser.removeErrorListeners();
        lexer.addErrorListener(&errors);
        parser.addErrorListener(&errors);
    }

    antlr4::ANTLRInputStream input;
    CommonLexer lexer;
    antlr4::CommonTokenStream tokens;
    TolmTopParser parser;
    ThrowingErrorListener errors;
    TolmVisitorImpl visitor;
};

// One assignment visited in the given mode; a syntax error fails the test.
inline Tolm::Assignment assignmentIn(const std::string& text, std::int32_t mode = TolmVisitorImpl::UnitFileMode) {
    Parsed p(text, mode);
    auto* tree = p.parser.assignment();
    EXPECT_TRUE(p.errors.messages.empty()) << text;
    return takeResult<Tolm::Assignment>(p.visitor.visitAssignment(tree));
}

// A whole unit file's text visited as a unit.
inline std::unique_ptr<Tolm::Unit> unitOf(const std::string& text) {
    Parsed p(text);
    auto* tree = p.parser.unitFile();
    EXPECT_TRUE(p.errors.messages.empty()) << text;
    return std::unique_ptr<Tolm::Unit>(takeResult<Tolm::Unit*>(p.visitor.visitTolmUnit(tree->tolmUnit())));
}

// The kind of a value as a short word, path strings told apart from strings.
inline std::string kindOf(const Tolm::TolmValuePtr& value) {
    if (!value) return "null";
    if (std::dynamic_pointer_cast<Tolm::TolmPathString>(value)) return "path";
    if (std::dynamic_pointer_cast<Tolm::TolmRawString>(value)) return "raw";
    if (std::dynamic_pointer_cast<Tolm::TolmIdentifier>(value)) return "identifier";
    if (std::dynamic_pointer_cast<Tolm::TolmInt>(value)) return "int";
    if (std::dynamic_pointer_cast<Tolm::TolmList>(value)) return "list";
    if (std::dynamic_pointer_cast<Tolm::TolmContext>(value)) return "context";
    return value->typeName() == "TolmString" ? "string" : value->typeName();
}

using TestSupport::failureOf;

}  // namespace ParserTest
