#include "tolm_registry.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <unistd.h>

#include "parser/registry_writer.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

// Writes `text` to a temporary file beside `target`, then renames it over
// `target`. On any failure the temporary file is removed and `target` keeps
// its old content. Throws std::runtime_error with the registry's texts,
// naming `shown`.
void replaceFileContent(const std::filesystem::path& target, const std::string& text,
                        const std::filesystem::path& shown)
{
    // The process id keeps two runs saving at once from sharing one file.
    std::filesystem::path temporary = target;
    temporary += ".tmp." + std::to_string(::getpid());

    std::ofstream out(temporary, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out) throw std::runtime_error(RegistryMessages::kOpenForWriting + shown.string());

    auto fail = [&]() {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw std::runtime_error(RegistryMessages::kWriteFailed + shown.string());
    };

    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
        out.close();
        fail();
    }
    out.close();
    if (!out) fail();

    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) fail();
}

}  // namespace

void TolmRegistry::save() const
{
    // A registry kept elsewhere and linked into the configuration directory
    // stays linked: the rename replaces the file the link points to.
    std::filesystem::path target = path;
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
        std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
        if (!error) target = resolved;
    }
    replaceFileContent(target, registryFileText(*this), path);
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
        found->second = project->projectFile;
        return;
    }
    projects.emplace(project->name, project->projectFile);
}
