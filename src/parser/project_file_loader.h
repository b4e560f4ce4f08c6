#pragma once

// Loading a project file (".tolm_project.txt", or the file an import names)
// into a Tolm::Project record.

#include "types/project.h"

// Exact texts of the project loader's failures and log lines.
namespace ProjectFileMessages {
inline constexpr const char* kLoading = "Loading project file {}\n";
inline constexpr const char* kNotFoundKind = "Project file";
inline constexpr const char* kNoProject = "Unable to parse project file.";
}  // namespace ProjectFileMessages

// Reads project.projectFile and replaces the record's imports, build tools,
// profiles and units with the file's; empties importedProjects; sets the name
// from the file only when the record has none yet. The record changes only
// once the whole file has been read, so a failure leaves it as it was. Throws
// Tolm::NotFoundException (kind "Project file") when the file cannot be read,
// Tolm::TolmException when it is a directory, a FIFO or a device (never read),
// std::runtime_error with the first syntax error (path, line and column first)
// when it does not parse, and passes on the failures of building its content.
void loadProjectFile(Tolm::Project& project);
