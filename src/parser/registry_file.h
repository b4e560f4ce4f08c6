#pragma once

// Reading the registry file ".tolm_registry.txt": an optional "projects"
// block of name and quoted path pairs, then an optional "tools" block of
// named context blocks written like the tools of a project file. The writer
// is TolmRegistry::save.

#include <filesystem>
#include <string>
#include <vector>

#include "types/project.h"

// One registered project.
struct TolmRegProject {
    std::string name;
    // As written, joined onto the registry file's directory when relative.
    std::filesystem::path path;
};

// Everything one registry file holds, in file order, duplicates included.
struct TolmRegData {
    std::vector<TolmRegProject> projects;
    std::vector<Tolm::BuildToolDefinition> tools;
};

// Exact texts of the registry reader's failures.
namespace RegistryFileMessages {
inline constexpr const char* kNotFoundKind = "Registry file";
inline constexpr const char* kNoRegistry = "Unable to parse registry file.";
}  // namespace RegistryFileMessages

// Reads and parses the registry file. Throws Tolm::NotFoundException (kind
// "Registry file") when it cannot be read, Tolm::TolmException when it is a
// FIFO or a device (never read), std::runtime_error with the first syntax
// error (path, line and column first) when it does not parse, and passes on
// the failures of building its content.
TolmRegData parseRegistryFile(const std::filesystem::path& file);
