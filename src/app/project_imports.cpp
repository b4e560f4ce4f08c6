#include "app/project_imports.h"

#include <map>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "parser/project_file_loader.h"
#include "tolm_app.h"
#include "tolm_registry.h"
#include "types/tolm_exceptions.h"
#include "util/ci_string.h"

namespace {

namespace Messages {
constexpr const char* ProfileKind = "profile";
constexpr const char* RegistryKind = "registry";
constexpr const char* RegisteredProjectKind = "Registered project";
constexpr const char* Cycle = "Import cycle: {}";
constexpr const char* CycleLink = " -> ";
constexpr const char* ProfileClash = "Project '{}' ({}) is imported with profile '{}' and with profile '{}'.";
}  // namespace Messages

using Tolm::Project;
using Tolm::ProjectImport;
using Tolm::ProjectPtr;

// The identity of a project file: absolute, with links and ".." resolved as
// far as the file system allows.
std::string normalisedPath(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    if (error) absolute = file;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
    return (error ? absolute.lexically_normal() : canonical).string();
}

// Resolves the imports of one root project. It lives for one resolution, so
// the chain of projects in progress and the projects already loaded are its
// own state.
class ImportResolver {
public:
    explicit ImportResolver(const TolmRegistry* registry) : registry_(registry) {}

    void resolve(const ProjectPtr& project);

private:
    struct ChainLink {
        std::string path;
        std::string name;
    };
    using LoadedKey = std::pair<std::string, Util::CiString>;

    std::filesystem::path importedFile(const Project& importer, const ProjectImport& import) const;
    ProjectPtr importedProject(const std::filesystem::path& file, const ProjectImport& import);
    [[noreturn]] void throwCycle(const std::string& path) const;

    const TolmRegistry* registry_;
    std::vector<ChainLink> chain_;
    // Every project loaded so far, by file and namespace.
    std::map<LoadedKey, ProjectPtr> loaded_;
    // The name each project file declares, once it was read.
    std::map<std::string, std::string> declaredNames_;
};

void ImportResolver::resolve(const ProjectPtr& project) {
    if (!project) throw Tolm::InternalError();
    project->importedProjects.clear();
    chain_.push_back({normalisedPath(project->projectFile), project->name});

    for (const ProjectImport& import : project->imports) {
        if (!import.sourceProfile.empty()) {
            if (project->profiles.find(Util::CiString(import.sourceProfile)) == project->profiles.end())
                throw Tolm::NotFoundException(Messages::ProfileKind, import.sourceProfile);
            if (!Util::ciEquals(import.sourceProfile, project->selectedProfile)) continue;
        }
        project->importedProjects.push_back(importedProject(importedFile(*project, import), import));
    }
    chain_.pop_back();
}

std::filesystem::path ImportResolver::importedFile(const Project& importer, const ProjectImport& import) const {
    if (import.kind == ProjectImport::Kind::Registry) {
        if (registry_ == nullptr) throw Tolm::NotFoundException(Messages::RegistryKind, "");
        auto found = registry_->projects.find(Util::CiString(import.registryName));
        if (found == registry_->projects.end())
            throw Tolm::NotFoundException(Messages::RegisteredProjectKind, import.registryName);
        return found->second;
    }
    if (import.path.has_root_directory()) return import.path;
    return importer.projectFile.parent_path() / import.path;
}

ProjectPtr ImportResolver::importedProject(const std::filesystem::path& file, const ProjectImport& import) {
    const std::string path = normalisedPath(file);
    for (const ChainLink& link : chain_)
        if (link.path == path) throwCycle(path);

    // A named path import puts the project under the import's name; any
    // other import under the name its file declares.
    auto findLoaded = [&](const std::string& name) -> ProjectPtr {
        auto found = loaded_.find({path, Util::CiString(name)});
        return found == loaded_.end() ? nullptr : found->second;
    };
    ProjectPtr project;
    if (!import.name.empty()) {
        project = findLoaded(import.name);
    } else if (auto declared = declaredNames_.find(path); declared != declaredNames_.end()) {
        project = findLoaded(declared->second);
    }

    if (project) {
        // One shared record can only have one selected profile.
        if (!Util::ciEquals(project->selectedProfile, import.importProfile))
            throw Tolm::TolmException(fmt::format(Messages::ProfileClash, project->name, path,
                                                  project->selectedProfile, import.importProfile));
        return project;
    }

    project = std::make_shared<Project>(file, "");
    loadProjectFile(*project);
    declaredNames_[path] = project->name;
    if (!import.name.empty()) project->name = import.name;

    if (!import.importProfile.empty()) {
        if (project->profiles.find(Util::CiString(import.importProfile)) == project->profiles.end())
            throw Tolm::NotFoundException(Messages::ProfileKind, import.importProfile);
        project->selectedProfile = import.importProfile;
    }
    resolve(project);
    loaded_[{path, Util::CiString(project->name)}] = project;
    return project;
}

void ImportResolver::throwCycle(const std::string& path) const {
    auto linkText = [](const ChainLink& link) { return fmt::format("'{}' ({})", link.name, link.path); };
    std::size_t start = 0;
    while (chain_[start].path != path) ++start;
    std::string text;
    for (std::size_t i = start; i < chain_.size(); ++i) text += linkText(chain_[i]) + Messages::CycleLink;
    text += linkText(chain_[start]);
    throw Tolm::TolmException(fmt::format(Messages::Cycle, text));
}

void visitOnce(const ProjectPtr& project, std::set<const Project*>& seen,
               const std::function<void(const ProjectPtr&)>& visit) {
    if (!project || !seen.insert(project.get()).second) return;
    visit(project);
    for (const ProjectPtr& imported : project->importedProjects) visitOnce(imported, seen, visit);
}

}  // namespace

void forEachProjectOnce(const ProjectPtr& root, const std::function<void(const ProjectPtr&)>& visit) {
    std::set<const Project*> seen;
    visitOnce(root, seen, visit);
}

void TolmApplication::ResolveProjectImports(const ProjectPtr& project) {
    ImportResolver(registry.get()).resolve(project);
}
