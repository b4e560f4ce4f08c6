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

std::pair<std::map<Util::CiString, UnitRegistry::UnitSpace>::const_iterator, UnitRegistry::UnitSpace::const_iterator>
UnitRegistry::findUnit(std::string& ns, std::string& unitName) const {
    if (ns.empty()) ns = defaultNamespace;
    auto space = units.find(Util::CiString(ns));
    if (space == units.end()) throw NotFoundException("Namespace", ns);
    if (unitName.empty()) unitName = defaultUnit;
    auto unit = space->second.find(Util::CiString(unitName));
    if (unit == space->second.end()) throw NotFoundException("Unit", unitText(ns, unitName));
    return {space, unit};
}

std::shared_ptr<Unit> UnitRegistry::getUnit(std::string& ns, std::string& unitName) const {
    return findUnit(ns, unitName).second->second;
}

const Target& UnitRegistry::lookUp(QualifiedTargetName& name, bool declaredSpelling) const {
    const auto [space, unit] = findUnit(name.ns, name.unit);
    auto target = unit->second->targets.find(Util::CiString(name.target));
    if (target == unit->second->targets.end())
        throw NotFoundException("Target", unitText(name.ns, name.unit) + "::" + name.target);
    if (declaredSpelling)
        name = {space->first.str(), declaredUnitName(space->second, unit), target->first.str()};
    return target->second;
}

const Target& UnitRegistry::getTarget(QualifiedTargetName& name) const { return lookUp(name, false); }

const Target& UnitRegistry::getDeclaredTarget(QualifiedTargetName& name) const { return lookUp(name, true); }

const std::string& UnitRegistry::declaredUnitName(const UnitSpace& space, UnitSpace::const_iterator entry) {
    const std::shared_ptr<Unit>& unit = entry->second;
    if (!unit || Util::ciEquals(entry->first.str(), unit->name)) return entry->first.str();
    for (const auto& [key, other] : space)
        if (other == unit && Util::ciEquals(key.str(), unit->name)) return key.str();
    return entry->first.str();
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
