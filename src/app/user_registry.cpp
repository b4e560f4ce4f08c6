// The user registry as the run uses it: loaded near the start of every run
// (a problem with it is only a warning, since most runs merely read it), and
// written back by "-r" and "--find-compilers", each change under the
// registry lock (app/run_locks.h). A registry that could not be loaded is
// never written back: its maps would be empty or partial, and the save would
// silently throw away every project and tool the file held.

#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "app/run_locks.h"
#include "parser/registry_file.h"
#include "tolm_app.h"
#include "tolm_registry.h"
#include "tools/probe.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Failure = "{}\n";
constexpr const char* LoadFailed = "Unable to load registry file: {}\n";
constexpr const char* ProjectKind = "project";
constexpr const char* FileKind = "file";
constexpr const char* NoRegistry = "The user registry is not available: {}";
constexpr const char* Unreadable = "Registry file '{}' could not be loaded, so it is left unchanged.";
}  // namespace Messages

constexpr const char* kRegistryFileName = ".tolm_registry.txt";

std::filesystem::path registryFile() {
    return configDirectory() / kRegistryFileName;
}

// Creates an empty registry file; false when that fails.
bool createEmptyFile(const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::app);
    return static_cast<bool>(out);
}

// A later entry of the same name (ignoring case) replaces the earlier one,
// its spelling included.
template <typename Map, typename Value>
void storeReplacing(Map& map, const std::string& name, Value value) {
    map.erase(Util::CiString(name));
    map.emplace(Util::CiString(name), std::move(value));
}

}  // namespace

void TolmApplication::LoadRegistry() {
    registryLoadFailure.clear();
    try {
        const std::filesystem::path file = registryFile();
        registry = std::make_shared<TolmRegistry>();
        registry->path = file;
        if (!std::filesystem::exists(file)) {
            createEmptyFile(file);
            return;
        }
        TolmRegData data = parseRegistryFile(file);
        registry->projects.clear();
        for (TolmRegProject& entry : data.projects) storeReplacing(registry->projects, entry.name, entry.path);
        registry->tools.clear();
        for (Tolm::BuildToolDefinition& tool : data.tools) storeReplacing(registry->tools, tool.name, tool.context);
    } catch (const Tolm::TolmException& error) {
        registryLoadFailure = error.message();
        Log::log(LogLevel::Warning, Messages::Failure, registryLoadFailure);
    } catch (const std::exception& error) {
        registryLoadFailure = error.what();
        Log::log(LogLevel::Warning, Messages::LoadFailed, registryLoadFailure);
    }
}

void TolmApplication::RequireWritableRegistry() const {
    if (!registry) throw Tolm::TolmException(fmt::format(Messages::NoRegistry, registryLoadFailure));
    if (!registryLoadFailure.empty())
        throw Tolm::TolmException(fmt::format(Messages::Unreadable, registry->path.string()));
}

void TolmApplication::RegisterProject() {
    if (!project) throw Tolm::NotFoundException(Messages::ProjectKind, "");
    RequireWritableRegistry();
    const std::filesystem::path file = registryFile();
    if (!std::filesystem::exists(file) && !createEmptyFile(file))
        throw Tolm::NotFoundException(Messages::FileKind, file.string());
    UpdateRegistry([this](TolmRegistry& changed) { changed.addProject(project); });
}

void TolmApplication::UpdateRegistry(const std::function<void(TolmRegistry&)>& change) {
    const RegistryLock lock(registry->path);
    // Another run may have changed the file since this one read it.
    LoadRegistry();
    RequireWritableRegistry();
    change(*registry);
    registry->save();
}
