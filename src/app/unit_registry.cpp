#include "app/unit_registry.h"

#include <utility>

#include "types/tolm_exceptions.h"

namespace Tolm {

namespace {

std::string unitText(const std::string& ns, const std::string& unitName) {
    return ns.empty() ? unitName : ns + "/" + unitName;
}

}  // namespace

void UnitRegistry::add(const std::string& ns, const std::string& unitName, std::shared_ptr<Unit> unit) {
    units[Util::CiString(ns)][Util::CiString(unitName)] = std::move(unit);
}

std::shared_ptr<Unit> UnitRegistry::getUnit(std::string& ns, std::string& unitName) const {
    if (ns.empty()) ns = defaultNamespace;
    auto space = units.find(Util::CiString(ns));
    if (space == units.end()) throw NotFoundException("Namespace", ns);
    if (unitName.empty()) unitName = defaultUnit;
    auto unit = space->second.find(Util::CiString(unitName));
    if (unit == space->second.end()) throw NotFoundException("Unit", unitText(ns, unitName));
    return unit->second;
}

const Target& UnitRegistry::getTarget(QualifiedTargetName& name) const {
    std::shared_ptr<Unit> unit = getUnit(name.ns, name.unit);
    auto target = unit->targets.find(Util::CiString(name.target));
    if (target == unit->targets.end())
        throw NotFoundException("Target", unitText(name.ns, name.unit) + "::" + name.target);
    return target->second;
}

bool UnitRegistry::hasTarget(const std::string& text) const {
    QualifiedTargetName name = QualifiedTargetName::fromString(text);
    try {
        getTarget(name);
        return true;
    } catch (const NotFoundException&) {
        return false;
    }
}

}  // namespace Tolm
