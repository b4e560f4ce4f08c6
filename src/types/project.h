#pragma once
// A loaded project, owned by the application for the whole run.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "types/build_tool_definition.h"
#include "types/profile.h"
#include "types/project_data.h"
#include "types/project_import.h"
#include "util/ci_string.h"

namespace Tolm {

struct Project;
using ProjectPtr = std::shared_ptr<Project>;

struct Project {
    std::filesystem::path projectFile;  // as its creator gave it
    std::string name;                   // also the project's namespace
    std::vector<ProjectImport> imports;
    std::vector<ProjectPtr> importedProjects;  // filled by import resolution
    std::vector<BuildToolDefinition> buildTools;  // file order, duplicates kept
    std::map<Util::CiString, Profile> profiles;
    std::vector<ProjectUnit> units;
    std::string selectedProfile;  // empty when none

    Project() = default;
    Project(std::filesystem::path file, std::string projectName)
        : projectFile(std::move(file)), name(std::move(projectName))
    {
    }
};

}  // namespace Tolm
