#pragma once

// The per-user registry: the projects registered with "-r", which other
// projects import by name, and the build tools found by "--find-compilers".
// It is read from and written back to ".tolm_registry.txt" in the user's
// configuration directory; the file is always rewritten whole.

#include <filesystem>
#include <map>
#include <memory>

#include "util/ci_string.h"

namespace Tolm {
class ContextTemplate;
struct Project;
}  // namespace Tolm

// Exact texts of the registry object's failures and log lines.
namespace RegistryMessages {
inline constexpr const char* kOpenForWriting = "Unable to open registry file for writing: ";
inline constexpr const char* kWriteFailed = "Unable to write registry file: ";
inline constexpr const char* kUpdated = "Updated file '{}'.\n";
inline constexpr const char* kAlreadyRegistered = "Project already registered\n";
inline constexpr const char* kReplaced = "Project name '{}' was registered for '{}'; it now refers to '{}'.\n";
}  // namespace RegistryMessages

class TolmRegistry {
public:
    // Rewrites the registry file from the three fields. The text goes to a
    // temporary file beside it, which then replaces the file, so a failed
    // write leaves the old content intact. Throws std::runtime_error with
    // kOpenForWriting or kWriteFailed followed by the path's text.
    void save() const;

    // Records the project's file under its name. An entry of the same name
    // (ignoring case) with the same path is left alone and logged as already
    // registered; one with another path gets the new path, with a warning,
    // since projects that import the name now get another project. Throws
    // Tolm::InternalError for a null project.
    void addProject(const std::shared_ptr<Tolm::Project>& project);

    // The registry file.
    std::filesystem::path path;
    // Registered project name to the path of its project file.
    std::map<Util::CiString, std::filesystem::path> projects;
    // Tool name to its definition block; the pointer may be empty.
    std::map<Util::CiString, std::shared_ptr<Tolm::ContextTemplate>> tools;
};
