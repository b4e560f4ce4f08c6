// Unit-file parts of the visitor: the unit, its targets and their
// dependencies.

#include <memory>
#include <variant>
#include <vector>

#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "types/dependency.h"
#include "types/tolm_exceptions.h"
#include "types/unit.h"

antlrcpp::Any TolmVisitorImpl::visitTolmUnit(TolmTopParser::TolmUnitContext* ctx) {
    auto unit = std::make_unique<Tolm::Unit>();
    if (auto* clause = ctx->unit_name()) {
        unitName = clause->IDENTIFIER()->getText();
        unit->name = unitName;
    }
    for (auto* written : ctx->target()) {
        std::unique_ptr<Tolm::Target> target(takeResult<Tolm::Target*>(visitTarget(written)));
        unit->addTarget(std::move(*target));
    }
    return unit.release();
}

antlrcpp::Any TolmVisitorImpl::visitTarget(TolmTopParser::TargetContext* ctx) {
    auto target = std::make_unique<Tolm::Target>();
    target->name = Tolm::QualifiedTargetName{namespaceName, unitName, ctx->IDENTIFIER()->getText()};
    for (auto* parameter : ctx->parameter_name()) target->parameters.push_back(parameter->IDENTIFIER()->getText());
    for (auto* dependency : ctx->dependency())
        target->dependencies.push_back(takeResult<Tolm::Dependency>(visitDependency(dependency)));
    std::unique_ptr<UnitContextData> block(takeResult<UnitContextData*>(visitContext(ctx->context())));
    target->assignments = std::move(block->assignments);
    target->conditions = std::move(block->conditions);
    return target.release();
}

antlrcpp::Any TolmVisitorImpl::visitDirect_dependency(TolmTopParser::Direct_dependencyContext* ctx) {
    // The last name is the target; the one before it the unit; a third, first
    // one the namespace. Missing parts stay empty.
    const std::vector<antlr4::tree::TerminalNode*> names = ctx->IDENTIFIER();
    Tolm::QualifiedTargetName name;
    const size_t count = names.size();
    name.target = names[count - 1]->getText();
    if (count >= 2) name.unit = names[count - 2]->getText();
    if (count == 3) name.ns = names[0]->getText();
    Tolm::Dependency dependency;
    dependency.target = std::move(name);
    return dependency;
}

antlrcpp::Any TolmVisitorImpl::visitDependency_macro(TolmTopParser::Dependency_macroContext* ctx) {
    Tolm::DynamicTarget dynamic;
    dynamic.identifier = takeResult<Tolm::Identifier>(visitIdentifier(ctx->identifier()));
    Tolm::Dependency dependency;
    dependency.target = std::move(dynamic);
    return dependency;
}

antlrcpp::Any TolmVisitorImpl::visitDependency(TolmTopParser::DependencyContext* ctx) {
    auto* named = ctx->dependency_identifier();
    Tolm::Dependency dependency;
    if (auto* direct = named->direct_dependency())
        dependency.target = takeResult<Tolm::Dependency>(visitDirect_dependency(direct)).target;
    else
        dependency.target = takeResult<Tolm::Dependency>(visitDependency_macro(named->dependency_macro())).target;

    const auto parameters = ctx->dependency_parameter();
    for (size_t position = 0; position < parameters.size(); ++position) {
        auto* parameter = parameters[position];
        if (parameter->DOT() == nullptr) {
            dependency.parameters.push_back(takeResult<Tolm::Identifier>(visitIdentifier(parameter->identifier())));
            continue;
        }
        auto* dynamic = std::get_if<Tolm::DynamicTarget>(&dependency.target);
        if (dynamic == nullptr) throw Tolm::TolmException(VisitorMessages::MarkerOnDirect);
        if (position != 0) throw Tolm::TolmException(VisitorMessages::MarkerNotFirst);
        dynamic->sourceParameter = true;
    }
    if (ctx->dependency_modifier() != nullptr) dependency.modifier = 1;
    if (auto* alias = ctx->dependency_alias()) {
        dependency.aliasKind = alias->ALIAS() != nullptr ? 1 : 2;
        dependency.alias = ctx->IDENTIFIER()->getText();
    }
    return dependency;
}
