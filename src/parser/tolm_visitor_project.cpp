// The visitor's operations for project files and the registry file: the
// project's name, imports, tool blocks, units and profiles, and the
// registry's projects and tools.

#include <string>
#include <utility>
#include <vector>

#include "parser/registry_file.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "types/context_template.h"
#include "types/project.h"
#include "util/ci_string.h"

namespace {

// The text of a STRING token without its enclosing double quotes.
std::string unquoted(antlr4::tree::TerminalNode* token)
{
    std::string text = token->getText();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

// Fills the profile texts both import kinds share.
void readImportProfiles(Tolm::ProjectImport& import, TolmTopParser::Proj_source_profileContext* source,
                        TolmTopParser::Proj_import_profileContext* imported)
{
    if (source != nullptr) import.sourceProfile = source->IDENTIFIER()->getText();
    if (imported != nullptr) import.importProfile = imported->IDENTIFIER()->getText();
}

// Adds a unit entry, or appends its files to the entry of the same name
// (ignoring case), which keeps its place and its first spelling.
void mergeUnit(std::vector<Tolm::ProjectUnit>& units, TolmTopParser::UnitContext* ctx)
{
    std::string name = ctx->IDENTIFIER()->getText();
    std::vector<std::filesystem::path> files;
    for (auto* token : ctx->STRING()) files.emplace_back(unquoted(token));

    for (auto& unit : units) {
        if (!Util::ciEquals(unit.name, name)) continue;
        unit.files.insert(unit.files.end(), files.begin(), files.end());
        return;
    }
    units.push_back(Tolm::ProjectUnit{std::move(name), std::move(files)});
}

}  // namespace

antlrcpp::Any TolmVisitorImpl::visitTolmProject(TolmTopParser::TolmProjectContext* ctx)
{
    Tolm::ProjectData data;
    if (auto* name = ctx->proj_name()) data.name = name->IDENTIFIER()->getText();
    if (auto* section = ctx->proj_import_section()) {
        data.imports = takeResult<std::vector<Tolm::ProjectImport>>(visitProj_import_section(section));
    }
    if (auto* tools = ctx->build_tools()) {
        data.buildTools = takeResult<std::vector<Tolm::BuildToolDefinition>>(visitBuild_tools(tools));
    }
    if (auto* units = ctx->units()) {
        for (auto* unit : units->unit()) mergeUnit(data.units, unit);
    }
    if (auto* profiles = ctx->profiles()) {
        for (auto* profile : profiles->profile()) {
            data.profiles.push_back(takeResult<Tolm::Profile>(visitProfile(profile)));
        }
    }
    return data;
}

antlrcpp::Any TolmVisitorImpl::visitProj_import_section(TolmTopParser::Proj_import_sectionContext* ctx)
{
    std::vector<Tolm::ProjectImport> imports;
    for (auto* import : ctx->proj_import()) {
        imports.push_back(takeResult<Tolm::ProjectImport>(visitProj_import(import)));
    }
    return imports;
}

antlrcpp::Any TolmVisitorImpl::visitProj_import(TolmTopParser::Proj_importContext* ctx)
{
    if (auto* byPath = ctx->proj_path_import()) return visitProj_path_import(byPath);
    return visitProj_registry_import(ctx->proj_registry_import());
}

antlrcpp::Any TolmVisitorImpl::visitProj_path_import(TolmTopParser::Proj_path_importContext* ctx)
{
    Tolm::ProjectImport import;
    import.kind = Tolm::ProjectImport::Kind::Path;
    import.path = unquoted(ctx->STRING());
    if (auto* name = ctx->IDENTIFIER()) import.name = name->getText();
    readImportProfiles(import, ctx->proj_source_profile(), ctx->proj_import_profile());
    return import;
}

antlrcpp::Any TolmVisitorImpl::visitProj_registry_import(TolmTopParser::Proj_registry_importContext* ctx)
{
    Tolm::ProjectImport import;
    import.kind = Tolm::ProjectImport::Kind::Registry;
    import.registryName = ctx->IDENTIFIER()->getText();
    readImportProfiles(import, ctx->proj_source_profile(), ctx->proj_import_profile());
    return import;
}

antlrcpp::Any TolmVisitorImpl::visitProfile(TolmTopParser::ProfileContext* ctx)
{
    // '!' stays forbidden here: only tool blocks may require variables.
    return Tolm::Profile{ctx->IDENTIFIER()->getText(), visitBlock(ctx->context())};
}

antlrcpp::Any TolmVisitorImpl::visitBuild_tools(TolmTopParser::Build_toolsContext* ctx)
{
    std::vector<Tolm::BuildToolDefinition> tools;
    auto blocks = ctx->build_tool();
    tools.reserve(blocks.size());
    for (auto* tool : blocks) tools.push_back(takeResult<Tolm::BuildToolDefinition>(visitBuild_tool(tool)));
    return tools;
}

antlrcpp::Any TolmVisitorImpl::visitBuild_tool(TolmTopParser::Build_toolContext* ctx)
{
    // A tool block may mark the variables a target must set ('!'); the flag
    // is put back however the block's visit ends.
    struct Restore {
        bool& flag;
        bool saved;
        ~Restore() { flag = saved; }
    } restore{allowMustModifier, allowMustModifier};
    allowMustModifier = true;
    return Tolm::BuildToolDefinition{ctx->IDENTIFIER()->getText(), visitBlock(ctx->context())};
}

antlrcpp::Any TolmVisitorImpl::visitTolmRegistry(TolmTopParser::TolmRegistryContext* ctx)
{
    TolmRegData data;
    if (auto* projects = ctx->projects()) {
        data.projects = takeResult<std::vector<TolmRegProject>>(visitProjects(projects));
    }
    if (auto* tools = ctx->build_tools()) {
        data.tools = takeResult<std::vector<Tolm::BuildToolDefinition>>(visitBuild_tools(tools));
    }
    return data;
}

antlrcpp::Any TolmVisitorImpl::visitProjects(TolmTopParser::ProjectsContext* ctx)
{
    std::vector<TolmRegProject> projects;
    auto entries = ctx->project();
    projects.reserve(entries.size());
    for (auto* entry : entries) projects.push_back(takeResult<TolmRegProject>(visitProject(entry)));
    return projects;
}

antlrcpp::Any TolmVisitorImpl::visitProject(TolmTopParser::ProjectContext* ctx)
{
    std::string text = ctx->uri()->getText();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    std::filesystem::path path(text);
    // A relative path is taken against the registry file's own directory.
    if (!path.has_root_directory()) path = basePath / path;
    return TolmRegProject{ctx->IDENTIFIER()->getText(), std::move(path)};
}
