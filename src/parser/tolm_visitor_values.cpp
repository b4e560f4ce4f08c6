// Values, identifiers, assignments, conditions and blocks: the parts of the
// language that every file kind shares.

#include <fmt/format.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "types/context_template.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_list.h"
#include "types/value_factories.h"

namespace {

// The token text without `front` leading and `back` trailing characters
// (the quotes and parentheses of a literal).
std::string innerText(antlr4::tree::TerminalNode* token, size_t front, size_t back) {
    const std::string text = token->getText();
    return text.substr(front, text.size() - front - back);
}

// The variable a value belongs to: the assignment or condition above it.
std::string owningVariable(antlr4::ParserRuleContext* ctx) {
    for (auto* node = ctx; node != nullptr; node = dynamic_cast<antlr4::ParserRuleContext*>(node->parent)) {
        if (auto* assignment = dynamic_cast<TolmTopParser::AssignmentContext*>(node))
            return assignment->IDENTIFIER()->getText();
        if (auto* test = dynamic_cast<TolmTopParser::Bool_exprContext*>(node)) return test->identifier()->getText();
    }
    return {};
}

// The NUMBER token's value as the standard conversion to `Number` (int or
// unsigned long long) reads it. Out of range, the failure keeps its type but
// says where and which number: the standard text only names the conversion.
template <class Number>
Number writtenNumber(const TolmVisitorImpl& visitor, antlr4::tree::TerminalNode* token, const char* outOfRange) {
    const std::string text = token->getText();
    try {
        if constexpr (std::is_same_v<Number, int>) return std::stoi(text);
        else return std::stoull(text);
    } catch (const std::out_of_range&) {
        throw std::out_of_range(visitor.locationOf(token->getSymbol()) + fmt::format(fmt::runtime(outOfRange), text));
    }
}

}  // namespace

TolmVisitorImpl::TolmVisitorImpl(std::filesystem::path base, std::int32_t fileMode, std::filesystem::path source)
    : basePath(std::move(base)), mode(fileMode), sourceFile(std::move(source)) {}

std::string TolmVisitorImpl::locationOf(antlr4::ParserRuleContext* ctx) const {
    return locationOf(ctx->getStart());
}

std::string TolmVisitorImpl::locationOf(const antlr4::Token* token) const {
    return fmt::format("{}({},{}): ", sourceFile.string(), token->getLine(), token->getCharPositionInLine());
}

std::shared_ptr<Tolm::ContextTemplate> TolmVisitorImpl::visitBlock(TolmTopParser::ContextContext* ctx) {
    std::unique_ptr<UnitContextData> data(takeResult<UnitContextData*>(visitContext(ctx)));
    return std::make_shared<Tolm::ContextTemplate>(std::move(data->assignments), std::move(data->conditions));
}

antlrcpp::Any TolmVisitorImpl::visitValueNode(TolmTopParser::ValueNodeContext* ctx) {
    Tolm::TolmValuePtr value;
    if (auto* token = ctx->STRING()) {
        value = Tolm::makeStringValueMoved(innerText(token, 1, 1));
    } else if (auto* token = ctx->RAW_STRING()) {
        value = Tolm::makeRawStringValue(innerText(token, 3, 2));
    } else if (auto* token = ctx->PATH_STRING()) {
        std::string text = innerText(token, 3, 2);
        if (mode == ProjectFileMode) {
            // Project files hand paths on already anchored at the project's
            // directory, so a profile's path names the same file in every
            // unit; it stays a path, so a target given it reads or writes it.
            std::filesystem::path path(text);
            if (!path.has_root_directory()) path = basePath / path;
            value = Tolm::makePathStringValue(path.string());
        } else {
            value = Tolm::makePathStringValue(basePath, std::move(text));
        }
    } else if (auto* identifier = ctx->identifier()) {
        value = std::make_shared<Tolm::TolmIdentifier>(takeResult<Tolm::Identifier>(visitIdentifier(identifier)));
    } else if (auto* token = ctx->NUMBER()) {
        value = Tolm::makeIntValue(writtenNumber<int>(*this, token, VisitorMessages::NumberOutOfRange));
    } else if (auto* list = ctx->list()) {
        value = takeResult<std::shared_ptr<Tolm::TolmList>>(visitList(list));
    } else if (auto* block = ctx->context()) {
        // Project and registry files have no context values; silently leaving
        // the variable without a value would lose the setting.
        if (mode != UnitFileMode)
            throw Tolm::TolmException(
                fmt::format("{}{} '{}'", locationOf(block), VisitorMessages::BlockAsValue, owningVariable(ctx)));
        value = std::make_shared<Tolm::TolmContext>(visitBlock(block)->createContext());
    }
    return value;
}

antlrcpp::Any TolmVisitorImpl::visitList(TolmTopParser::ListContext* ctx) {
    auto list = std::make_shared<Tolm::TolmList>();
    // append flattens a nested list literal and clones anything else.
    for (auto* element : ctx->valueNode()) list->append(*takeResult<Tolm::TolmValuePtr>(visitValueNode(element)));
    return list;
}

antlrcpp::Any TolmVisitorImpl::visitAssignment(TolmTopParser::AssignmentContext* ctx) {
    std::uint32_t modifier = Tolm::Assignment::NoModifier;
    if (auto* written = ctx->assignment_modifier()) {
        if (written->UP() != nullptr) {
            modifier = Tolm::Assignment::OutputModifier;
        } else {
            if (mode != RegistryFileMode && !allowMustModifier) throw std::runtime_error(VisitorMessages::MustNotAllowed);
            modifier = Tolm::Assignment::RequiredModifier;
        }
    }
    Tolm::TolmValuePtr value;
    if (auto* node = ctx->valueNode()) value = takeResult<Tolm::TolmValuePtr>(visitValueNode(node));
    auto type = Tolm::Assignment::AssignType::Declare;
    if (auto* op = ctx->assign_operator()) type = takeResult<Tolm::Assignment::AssignType>(visitAssign_operator(op));
    return Tolm::Assignment(ctx->IDENTIFIER()->getText(), std::move(value), type, modifier);
}

antlrcpp::Any TolmVisitorImpl::visitAssign_operator(TolmTopParser::Assign_operatorContext* ctx) {
    using Type = Tolm::Assignment::AssignType;
    if (ctx->EQUALS() != nullptr) return Type::Set;
    if (ctx->APPEND() != nullptr) return Type::Append;
    if (ctx->ASSIGNEMPTY() != nullptr) return Type::SetIfEmpty;
    return nullptr;
}

antlrcpp::Any TolmVisitorImpl::visitBool_operator(TolmTopParser::Bool_operatorContext* ctx) {
    using Op = Tolm::Condition::OperatorType;
    if (ctx->EQUALS() != nullptr) return Op::Equal;
    if (ctx->NEQUALS() != nullptr) return Op::NotEqual;
    if (ctx->GREATER() != nullptr) return Op::Greater;
    if (ctx->LESSER() != nullptr) return Op::Less;
    return nullptr;
}

antlrcpp::Any TolmVisitorImpl::visitCondition(TolmTopParser::ConditionContext* ctx) {
    auto* test = ctx->bool_expr();
    Tolm::Condition condition;
    condition.left = std::make_shared<Tolm::TolmIdentifier>(takeResult<Tolm::Identifier>(visitIdentifier(test->identifier())));
    if (auto* right = test->valueNode()) {
        condition.right = takeResult<Tolm::TolmValuePtr>(visitValueNode(right));
        condition.op = takeResult<Tolm::Condition::OperatorType>(visitBool_operator(test->bool_operator()));
    } else {
        condition.op = Tolm::Condition::OperatorType::Exists;
    }
    return condition;
}

antlrcpp::Any TolmVisitorImpl::visitContext(TolmTopParser::ContextContext* ctx) {
    auto data = std::make_unique<UnitContextData>();
    // All assignments of a block come before its conditional blocks, whatever
    // the order in the text.
    for (auto* assignment : ctx->assignment())
        data->assignments.push_back(takeResult<Tolm::Assignment>(visitAssignment(assignment)));
    for (auto* guarded : ctx->cond_context()) {
        auto condition = takeResult<Tolm::Condition>(visitCondition(guarded->condition()));
        data->conditions.emplace_back(std::move(condition), visitBlock(guarded->context()));
    }
    return data.release();
}

antlrcpp::Any TolmVisitorImpl::visitIdentifier(TolmTopParser::IdentifierContext* ctx) {
    Tolm::Identifier identifier;
    for (auto* segment : ctx->segment())
        identifier.segments.push_back(takeResult<Tolm::Identifier::Segment>(visitSegment(segment)));
    return identifier;
}

antlrcpp::Any TolmVisitorImpl::visitSegment(TolmTopParser::SegmentContext* ctx) {
    Tolm::Identifier::Segment segment;
    segment.name = ctx->IDENTIFIER()->getText();
    for (auto* index : ctx->index()) segment.indexes.push_back(takeResult<Tolm::IndexExpr>(visitIndexExpr(index->indexExpr())));
    return segment;
}

antlrcpp::Any TolmVisitorImpl::visitIndexExpr(TolmTopParser::IndexExprContext* ctx) {
    // Numbers go through the unsigned conversion so that a written -1 keeps
    // its bits and reads back as -1.
    auto number = [this](antlr4::tree::TerminalNode* token) {
        return static_cast<std::int64_t>(writtenNumber<unsigned long long>(*this, token, VisitorMessages::IndexOutOfRange));
    };
    if (auto* token = ctx->NUMBER()) return Tolm::IndexExpr(number(token));
    if (auto* nested = ctx->identifier())
        return Tolm::IndexExpr(std::make_shared<Tolm::Identifier>(takeResult<Tolm::Identifier>(visitIdentifier(nested))));
    if (auto* range = ctx->range()) return Tolm::IndexExpr(Tolm::IndexRange{number(range->NUMBER(0)), number(range->NUMBER(1))});
    // A pattern index has no meaning in the model; taking it as index 0 would
    // silently select the wrong element.
    throw Tolm::TolmException(locationOf(ctx) + VisitorMessages::RegexIndex);
}
