#pragma once

// Runs the visitor on text as the loaders do, for tests that need a mode or
// start rule that no loader offers yet.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "parser/CommonLexer.h"
#include "parser/TolmTopParser.h"
#include "parser/throwing_error_listener.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "types/assignment.h"
#include "types/unit.h"

namespace ParserTest {

// Lexer, parser and visitor of one text; the tree lives as long as this.
struct Parsed {
    explicit Parsed(const std::string& text, std::int32_t mode = TolmVisitorImpl::UnitFileMode,
                    std::filesystem::path base = "/base")
        : input(text), lexer(&input), tokens(&lexer), parser(&tokens), errors("test.txt"),
          visitor(std::move(base), mode, "test.txt") {
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

// One assignment visited in the given mode; any syntax error fails the test.
inline Tolm::Assignment assignmentIn(const std::string& text, std::int32_t mode = TolmVisitorImpl::UnitFileMode,
                                     std::filesystem::path base = "/base") {
    Parsed p(text, mode, std::move(base));
    auto* tree = p.parser.assignment();
    EXPECT_TRUE(p.errors.messages.empty()) << p.errors.messages.front();
    return takeResult<Tolm::Assignment>(p.visitor.visitAssignment(tree));
}

// One block visited in the given mode.
inline std::unique_ptr<TolmVisitorImpl::UnitContextData> blockIn(const std::string& text,
                                                                 std::int32_t mode = TolmVisitorImpl::UnitFileMode) {
    Parsed p(text, mode);
    auto* tree = p.parser.context();
    EXPECT_TRUE(p.errors.messages.empty()) << p.errors.messages.front();
    return std::unique_ptr<TolmVisitorImpl::UnitContextData>(
        takeResult<TolmVisitorImpl::UnitContextData*>(p.visitor.visitContext(tree)));
}

// A whole unit file's text visited as a unit.
inline std::unique_ptr<Tolm::Unit> unitOf(const std::string& text) {
    Parsed p(text);
    auto* tree = p.parser.unitFile();
    EXPECT_TRUE(p.errors.messages.empty()) << p.errors.messages.front();
    return std::unique_ptr<Tolm::Unit>(takeResult<Tolm::Unit*>(p.visitor.visitTolmUnit(tree->tolmUnit())));
}

}  // namespace ParserTest
