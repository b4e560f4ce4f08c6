#include "tolm_registry.h"

#include <stdexcept>

#include "parser/registry_writer.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/file_replace.h"
#include "util/log.h"

void TolmRegistry::save() const
{
    // A registry kept elsewhere and linked into the configuration directory
    // stays linked: the file the link points to is replaced.
    switch (Util::replaceFileContent(path, registryFileText(*this))) {
    case Util::ReplaceResult::Replaced: break;
    case Util::ReplaceResult::CannotOpen:
        throw std::runtime_error(RegistryMessages::kOpenForWriting + path.string());
    case Util::ReplaceResult::CannotWrite:
        throw std::runtime_error(RegistryMessages::kWriteFailed + path.string());
    }
    Log::log(LogLevel::Info, fmt::runtime(RegistryMessages::kUpdated), path.string());
}

void TolmRegistry::addProject(const std::shared_ptr<Tolm::Project>& project)
{
    if (!project) throw Tolm::InternalError();
    auto found = projects.find(Util::CiString(project->name));
    if (found != projects.end() && found->second == project->projectFile) {
        Log::log(LogLevel::Warning, fmt::runtime(RegistryMessages::kAlreadyRegistered));
        return;
    }
    if (found != projects.end()) {
        Log::log(LogLevel::Warning, fmt::runtime(RegistryMessages::kReplaced), found->first.str(),
                 found->second.string(), project->projectFile.string());
        found->second = project->projectFile;
        return;
    }
    projects.emplace(project->name, project->projectFile);
}
