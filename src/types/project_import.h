#pragma once
// One entry of a project file's import section.

#include <cstdint>
#include <filesystem>
#include <string>

namespace Tolm {

struct ProjectImport {
    enum class Kind : std::uint32_t {
        Path = 0,      // by file path
        Registry = 1,  // a registered project, by name
    };

    Kind kind = Kind::Path;
    std::filesystem::path path;  // path imports: as written, quotes removed
    std::string registryName;    // registry imports: the registered name
    std::string name;            // path imports: the optional name after the path
    std::string sourceProfile;   // importing project's profile it applies under; empty: always
    std::string importProfile;   // profile to select in the imported project; empty: none
};

}  // namespace Tolm
