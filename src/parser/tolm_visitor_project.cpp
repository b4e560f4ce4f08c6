// Project-file and registry-file parts of the visitor. Until they are built,
// reading those files fails plainly instead of yielding empty records.

#include "parser/tolm_visitor.h"
#include "types/tolm_exceptions.h"

namespace {

[[noreturn]] void notAvailable(const char* what) {
    throw Tolm::TolmException(std::string(what) + " is not available");
}

}  // namespace

antlrcpp::Any TolmVisitorImpl::visitTolmRegistry(TolmTopParser::TolmRegistryContext*) { notAvailable("Reading the registry file"); }
antlrcpp::Any TolmVisitorImpl::visitProject(TolmTopParser::ProjectContext*) { notAvailable("Reading the registry file"); }
antlrcpp::Any TolmVisitorImpl::visitProjects(TolmTopParser::ProjectsContext*) { notAvailable("Reading the registry file"); }
antlrcpp::Any TolmVisitorImpl::visitBuild_tool(TolmTopParser::Build_toolContext*) { notAvailable("Reading tool blocks"); }
antlrcpp::Any TolmVisitorImpl::visitBuild_tools(TolmTopParser::Build_toolsContext*) { notAvailable("Reading tool blocks"); }
antlrcpp::Any TolmVisitorImpl::visitTolmProject(TolmTopParser::TolmProjectContext*) { notAvailable("Reading the project file"); }
antlrcpp::Any TolmVisitorImpl::visitProj_path_import(TolmTopParser::Proj_path_importContext*) { notAvailable("Reading project imports"); }
antlrcpp::Any TolmVisitorImpl::visitProj_registry_import(TolmTopParser::Proj_registry_importContext*) { notAvailable("Reading project imports"); }
antlrcpp::Any TolmVisitorImpl::visitProj_import(TolmTopParser::Proj_importContext*) { notAvailable("Reading project imports"); }
antlrcpp::Any TolmVisitorImpl::visitProj_import_section(TolmTopParser::Proj_import_sectionContext*) { notAvailable("Reading project imports"); }
antlrcpp::Any TolmVisitorImpl::visitProfile(TolmTopParser::ProfileContext*) { notAvailable("Reading profiles"); }
