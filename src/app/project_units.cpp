// Loading the units of a run: the units the project and its imports list,
// or, without a project, the one unit file ("tolm.txt" or the "-f" file), or
// in command mode one empty unit. Loading also fixes the default main
// target: the first target of the main unit.

#include <memory>
#include <stdexcept>
#include <string>

#include "app/project_imports.h"
#include "parser/project_file_loader.h"
#include "parser/unit_file_loader.h"
#include "tolm_app.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "types/unit.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* NoUnits = "' does not list any units.";
constexpr const char* NoFiles = "' does not list any tolm files.";
constexpr const char* WrongUnit = "Unit file '{}' declares unit '{}', but project entry expects unit '{}'.";
constexpr const char* MergeFailed = "Unable to merge unit '{}' from file '{}': {}";
constexpr const char* LoadedFiles = "Loaded unit '{}' from {} file(s)\n";
constexpr const char* AlreadyLoaded = "UnitFile '{}' already loaded.\n";
constexpr const char* Loaded = "Loaded unit '{}'\n";
}  // namespace Messages

// The main unit is also reachable as unit "1", so "-l 1" lists it.
constexpr const char* kMainUnitAlias = "1";
constexpr const char* kCommandUnit = "cmdline";

// Adds every target of `unit` to `merged`.
void mergeUnit(Tolm::Unit& merged, Tolm::Unit&& unit, const std::string& entryName,
               const std::filesystem::path& file) {
    for (auto& [name, target] : unit.targets) {
        try {
            merged.addTarget(std::move(target));
        } catch (const std::invalid_argument& error) {
            throw Tolm::TolmException(fmt::format(Messages::MergeFailed, entryName, file.string(), error.what()));
        }
    }
}

}  // namespace

std::shared_ptr<Tolm::Unit> TolmApplication::LoadUnitFile(const std::filesystem::path& unitFile) {
    return loadUnitFile(unitFile.has_root_directory() ? unitFile : projectRoot / unitFile);
}

std::string TolmApplication::FirstUnitName(const Tolm::ProjectPtr& project) {
    return project->units.empty() ? std::string() : project->units.front().name;
}

void TolmApplication::LoadRootProject() {
    FindProjectFile({});
    if (projectFile.empty()) return;
    project = std::make_shared<Tolm::Project>(projectFile, "");
    loadProjectFile(*project);
    unitRegistry.defaultUnit = FirstUnitName(project);
    unitRegistry.defaultNamespace = project->name;
    LoadProjectUnits(project);
    SetProfile();
    ResolveProjectImports(project);
}

// Each unit entry may list several files; the targets of the later files
// join the unit of the first.
void TolmApplication::LoadProjectUnits(const Tolm::ProjectPtr& loaded) {
    const bool isRoot = loaded == project;
    if (isRoot && rootUnitsLoaded) return;
    if (loaded->units.empty() || loaded->units.front().name.empty())
        throw Tolm::TolmException("Project '" + loaded->name + Messages::NoUnits);

    const std::filesystem::path base = loaded->projectFile.parent_path();
    for (const Tolm::ProjectUnit& entry : loaded->units) {
        if (entry.files.empty()) throw Tolm::TolmException("Project unit '" + entry.name + Messages::NoFiles);
        std::shared_ptr<Tolm::Unit> merged;
        for (const std::filesystem::path& written : entry.files) {
            const std::filesystem::path file = written.has_root_directory() ? written : base / written;
            std::shared_ptr<Tolm::Unit> unit = LoadUnitFile(file);
            if (!Util::ciEquals(unit->name, entry.name))
                throw Tolm::TolmException(fmt::format(Messages::WrongUnit, file.string(), unit->name, entry.name));
            if (merged)
                mergeUnit(*merged, std::move(*unit), entry.name, file);
            else
                merged = std::move(unit);
            loadedUnitFiles[file] = entry.name;
        }
        unitRegistry.add(loaded->name, entry.name, merged);
        Log::log(LogLevel::Verbose, Messages::LoadedFiles, entry.name, entry.files.size());
    }

    if (!isRoot) return;
    std::string ns = loaded->name;
    std::string unitName = FirstUnitName(loaded);
    unitRegistry.add(loaded->name, kMainUnitAlias, unitRegistry.getUnit(ns, unitName));
    rootUnitsLoaded = true;
}

void TolmApplication::LoadProjectTreeUnits(const Tolm::ProjectPtr& root) {
    forEachProjectOnce(root, [this](const Tolm::ProjectPtr& each) { LoadProjectUnits(each); });
}

void TolmApplication::LoadUnits() {
    if (project) {
        LoadProjectTreeUnits(project);
        std::string ns = project->name;
        std::string unitName = FirstUnitName(project);
        const std::string target = unitRegistry.getUnit(ns, unitName)->mainTarget;
        mainTarget = {project->name, FirstUnitName(project), target};
        return;
    }

    if (commandMode) {
        auto unit = std::make_shared<Tolm::Unit>();
        unit->name = kCommandUnit;
        unitRegistry.add("", "", unit);
        mainTarget = {"", "", kCommandUnit};
        return;
    }

    std::shared_ptr<Tolm::Unit> unit;
    std::string unitName;
    if (auto known = loadedUnitFiles.find(defaultUnitFile); known != loadedUnitFiles.end()) {
        Log::log(LogLevel::Warning, Messages::AlreadyLoaded, defaultUnitFile.string());
        std::string ns;
        unitName = known->second;
        unit = unitRegistry.getUnit(ns, unitName);
    } else {
        unit = LoadUnitFile(defaultUnitFile);
        if (unit->name.empty()) unit->name = std::to_string(unitCounter++);
        unitName = unit->name;
        unitRegistry.add("", unitName, unit);
        loadedUnitFiles[defaultUnitFile] = unitName;
        Log::log(LogLevel::Verbose, Messages::Loaded, unitName);
    }
    unitRegistry.add("", kMainUnitAlias, unit);
    mainTarget = {"", unitName, unit->mainTarget};
    unitRegistry.defaultUnit = unitName;
}
