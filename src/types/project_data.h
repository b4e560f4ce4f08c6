#pragma once
// The parse result of one project file; it lives only while the file loads.

#include <filesystem>
#include <string>
#include <vector>

#include "types/build_tool_definition.h"
#include "types/profile.h"
#include "types/project_import.h"

namespace Tolm {

// One entry of a units section.
struct ProjectUnit {
    std::string name;
    std::vector<std::filesystem::path> files;  // as written, in order
};

struct ProjectData {
    std::string name;  // the name clause; empty when the file has none
    std::vector<ProjectImport> imports;
    std::vector<BuildToolDefinition> buildTools;
    std::vector<ProjectUnit> units;
    std::vector<Profile> profiles;  // in file order
};

}  // namespace Tolm
