#include "parser/project_file_loader.h"

#include <map>
#include <stdexcept>
#include <utility>

#include "parser/checked_parse.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "util/log.h"

namespace {

Tolm::ProjectData readProjectData(const std::filesystem::path& file)
{
    const std::string text = readSourceFile(file, ProjectFileMessages::kNotFoundKind);

    CheckedParse parse(text, file);
    parse.refuseDeepNesting();
    TolmTopParser::ProjFileContext* tree = parse.parser.projFile();
    parse.throwFirstError();
    if (tree == nullptr || tree->tolmProject() == nullptr) {
        throw std::runtime_error(ProjectFileMessages::kNoProject);
    }

    TolmVisitorImpl visitor(sourceBaseDirectory(file), TolmVisitorImpl::ProjectFileMode, file);
    antlrcpp::Any result = visitor.visitTolmProject(tree->tolmProject());
    return takeResult<Tolm::ProjectData>(std::move(result));
}

}  // namespace

void loadProjectFile(Tolm::Project& project)
{
    Log::log(LogLevel::Trace, fmt::runtime(ProjectFileMessages::kLoading), project.projectFile.string());
    Tolm::ProjectData data = readProjectData(project.projectFile);

    // A later profile of the same name replaces the earlier one's value; the
    // key keeps the spelling it was first written with.
    std::map<Util::CiString, Tolm::Profile> profiles;
    for (auto& profile : data.profiles) {
        Util::CiString key(profile.name);
        auto found = profiles.find(key);
        if (found != profiles.end()) {
            found->second = std::move(profile);
        } else {
            profiles.emplace(std::move(key), std::move(profile));
        }
    }

    if (project.name.empty()) project.name = std::move(data.name);
    project.imports = std::move(data.imports);
    project.importedProjects.clear();
    project.buildTools = std::move(data.buildTools);
    project.profiles = std::move(profiles);
    project.units = std::move(data.units);
}
