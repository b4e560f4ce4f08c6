#pragma once

// The one parse-tree visitor of every file kind of the language. It turns a
// tree that parsed without syntax errors into model objects: values,
// assignments, context blocks, units with their targets, and (defined in
// their own source files) project and registry records.
//
// Results travel in antlrcpp::Any; take them out with takeResult (visit_result.h).
// visitTolmUnit, visitTarget and visitContext hand over raw pointers
// (Tolm::Unit*, Tolm::Target*, UnitContextData*) that the receiver owns.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "parser/TolmTopParserBaseVisitor.h"
#include "types/assignment.h"
#include "types/condition.h"

namespace Tolm {
class ContextTemplate;
}

// The visitor's own failure texts.
namespace VisitorMessages {
inline constexpr const char* MustNotAllowed = "'!' assignment modifier is not allowed in this context.";
inline constexpr const char* MarkerOnDirect =
    "The source parameter marker '.' can only be used with a dynamic dependency.";
inline constexpr const char* MarkerNotFirst = "The source parameter marker '.' must be the first dependency parameter.";
inline constexpr const char* RegexIndex = "regex index is not supported";
// With the number as written: a value is a 32-bit integer, an index 64 bits.
inline constexpr const char* NumberOutOfRange = "number {} is out of range for a 32-bit integer";
inline constexpr const char* IndexOutOfRange = "index {} is out of range for a 64-bit integer";
// Followed by the variable's name in quotes.
inline constexpr const char* BlockAsValue = "a block cannot be used as a value here, in the value of";
}  // namespace VisitorMessages

class TolmVisitorImpl : public TolmTopParserBaseVisitor {
public:
    // Values of `mode`.
    static constexpr std::int32_t UnitFileMode = 0;  // also single assignments
    static constexpr std::int32_t ProjectFileMode = 1;
    static constexpr std::int32_t RegistryFileMode = 2;

    // The assignments and conditional blocks of one block, assignments first.
    struct UnitContextData {
        std::vector<Tolm::Assignment> assignments;
        std::vector<Tolm::ConditionalBlock> conditions;
    };

    TolmVisitorImpl() = default;
    TolmVisitorImpl(std::filesystem::path base, std::int32_t fileMode, std::filesystem::path source = {});

    // Values, identifiers, assignments, conditions and blocks.
    antlrcpp::Any visitBool_operator(TolmTopParser::Bool_operatorContext* ctx) override;
    antlrcpp::Any visitCondition(TolmTopParser::ConditionContext* ctx) override;
    antlrcpp::Any visitContext(TolmTopParser::ContextContext* ctx) override;
    antlrcpp::Any visitIdentifier(TolmTopParser::IdentifierContext* ctx) override;
    antlrcpp::Any visitSegment(TolmTopParser::SegmentContext* ctx) override;
    antlrcpp::Any visitIndexExpr(TolmTopParser::IndexExprContext* ctx) override;
    antlrcpp::Any visitValueNode(TolmTopParser::ValueNodeContext* ctx) override;
    antlrcpp::Any visitList(TolmTopParser::ListContext* ctx) override;
    antlrcpp::Any visitAssignment(TolmTopParser::AssignmentContext* ctx) override;
    antlrcpp::Any visitAssign_operator(TolmTopParser::Assign_operatorContext* ctx) override;

    // Unit files: units, targets and dependencies.
    antlrcpp::Any visitTolmUnit(TolmTopParser::TolmUnitContext* ctx) override;
    antlrcpp::Any visitTarget(TolmTopParser::TargetContext* ctx) override;
    antlrcpp::Any visitDependency(TolmTopParser::DependencyContext* ctx) override;
    antlrcpp::Any visitDirect_dependency(TolmTopParser::Direct_dependencyContext* ctx) override;
    antlrcpp::Any visitDependency_macro(TolmTopParser::Dependency_macroContext* ctx) override;

    // Project and registry files (tolm_visitor_project.cpp and neighbours).
    antlrcpp::Any visitTolmRegistry(TolmTopParser::TolmRegistryContext* ctx) override;
    antlrcpp::Any visitProject(TolmTopParser::ProjectContext* ctx) override;
    antlrcpp::Any visitProjects(TolmTopParser::ProjectsContext* ctx) override;
    antlrcpp::Any visitBuild_tool(TolmTopParser::Build_toolContext* ctx) override;
    antlrcpp::Any visitBuild_tools(TolmTopParser::Build_toolsContext* ctx) override;
    antlrcpp::Any visitTolmProject(TolmTopParser::TolmProjectContext* ctx) override;
    antlrcpp::Any visitProj_path_import(TolmTopParser::Proj_path_importContext* ctx) override;
    antlrcpp::Any visitProj_registry_import(TolmTopParser::Proj_registry_importContext* ctx) override;
    antlrcpp::Any visitProj_import(TolmTopParser::Proj_importContext* ctx) override;
    antlrcpp::Any visitProj_import_section(TolmTopParser::Proj_import_sectionContext* ctx) override;
    antlrcpp::Any visitProfile(TolmTopParser::ProfileContext* ctx) override;

    // A new shared template holding the block's assignments and conditions.
    std::shared_ptr<Tolm::ContextTemplate> visitBlock(TolmTopParser::ContextContext* ctx);

    // "file(line,column): " of the node's first token, for the visitor's own errors.
    std::string locationOf(antlr4::ParserRuleContext* ctx) const;
    std::string locationOf(const antlr4::Token* token) const;

    // Directory against which path literals are taken.
    std::filesystem::path basePath;
    // Namespace and unit written into the qualified name of every target.
    std::string namespaceName;
    std::string unitName;
    // Which file kind is read: UnitFileMode, ProjectFileMode or RegistryFileMode.
    std::int32_t mode = UnitFileMode;
    // While true "!" is accepted in any mode (set around tool blocks).
    bool allowMustModifier = false;
    // The file being read, named in the visitor's own errors; may be empty.
    std::filesystem::path sourceFile;
};
