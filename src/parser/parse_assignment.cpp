#include "parser/parse_assignment.h"

#include <memory>
#include <stdexcept>

#include "parser/nesting_check.h"
#include "parser/parse_pipeline.h"
#include "parser/tolm_error_counter.h"
#include "parser/tolm_visitor.h"
#include "parser/utf8_check.h"
#include "parser/visit_result.h"
#include "types/tolm_identifier.h"
#include "types/value_factories.h"

namespace {

constexpr const char* kCounterName = "assignment";

}  // namespace

Tolm::Assignment parseAssignment(std::string_view text, const std::filesystem::path& basePath, bool quiet) {
    Tolm::requireValidUtf8(text);
    ParsePipeline parse(text);

    TolmErrorCounter parserErrors(kCounterName, true);
    parse.parser.removeErrorListeners();
    parse.parser.addErrorListener(&parserErrors);
    // The lexer keeps its console listener, but a character that forms no
    // token must still fail: skipping it would change the value
    // (`CFLAGS = -O2` would read as 2).
    TolmErrorCounter lexerErrors(kCounterName, true);
    if (quiet) parse.lexer.removeErrorListeners();
    parse.lexer.addErrorListener(&lexerErrors);

    if (auto failure = excessiveNesting(parse.tokens, kCounterName)) throw std::runtime_error(*failure);
    auto* tree = parse.parser.assignment();
    // The rule stops after one assignment; anything after it is an error too,
    // not silently dropped.
    const bool trailingText = parse.tokens.LA(1) != antlr4::Token::EOF;
    if (parse.parser.getNumberOfSyntaxErrors() != 0 || parserErrors.count > 0 || lexerErrors.count > 0 || trailingText)
        throw std::runtime_error(kAssignmentSyntaxError);

    TolmVisitorImpl visitor(basePath, TolmVisitorImpl::UnitFileMode, kCounterName);
    auto assignment = takeResult<Tolm::Assignment>(visitor.visitAssignment(tree));
    if (assignment.value && std::dynamic_pointer_cast<Tolm::TolmIdentifier>(assignment.value))
        assignment.replaceValue(Tolm::makeStringValue(assignment.value->toString()));
    return assignment;
}
