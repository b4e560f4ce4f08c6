#include "app/lists.h"

#include <string>

#include "tolm_app.h"
#include "types/project.h"
#include "types/unit.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Line = "{}\n";
constexpr const char* NoProject = "No file to list. You need .tolm_project.txt.\n";
}  // namespace Messages

// The main target stands out in green.
constexpr std::uint32_t kMainTargetColour = 32;
constexpr int kNoProjectStatus = -1;

}  // namespace

int printTargetList(const TolmApplication& app) {
    std::string ns = app.project ? app.project->name : std::string();
    std::string unitName = app.listTargetsUnit;
    const std::shared_ptr<Tolm::Unit> unit = app.unitRegistry.getUnit(ns, unitName);
    for (const auto& [name, target] : unit->targets) {
        if (name == Util::CiString(unit->mainTarget))
            Log::printColoured(kMainTargetColour, Messages::Line, name.str());
        else
            Log::log(LogLevel::Info, Messages::Line, name.str());
    }
    return 0;
}

int printUnitList(const TolmApplication& app) {
    if (!app.project) {
        Log::log(LogLevel::Error, Messages::NoProject);
        return kNoProjectStatus;
    }
    for (const Tolm::ProjectUnit& unit : app.project->units) Log::log(LogLevel::Info, Messages::Line, unit.name);
    return 0;
}

int printProfileList(const TolmApplication& app) {
    if (!app.project) {
        Log::log(LogLevel::Error, Messages::NoProject);
        return kNoProjectStatus;
    }
    for (const auto& [name, profile] : app.project->profiles) Log::log(LogLevel::Info, Messages::Line, name.str());
    return 0;
}
