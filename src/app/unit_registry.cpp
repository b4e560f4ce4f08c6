#include "app/unit_registry.h"

#include <utility>

#include "types/tolm_exceptions.h"

namespace Tolm {

namespace {

std::string unitText(const std::string& ns, const std::string& unitName) {
    return ns.empty() ? unitName : ns + "/" + unitName;
}

using UnitSpace = std::map<Util::CiString, std::shared_ptr<Unit>>;

// The name a unit was added under as itself: a second name of it (the main
// unit's "1") gives way to the one its file declares, where there is one.
const std::string& unitKey(const UnitSpace& space, UnitSpace::const_iterator found) {
    const std::shared_ptr<Unit>& unit = found->second;
    if (!unit || Util::ciEquals(found->first.str(), unit->name)) return found->first.str();
    for (const auto& [key, other] : space)
        if (other == unit && Util::ciEquals(key.str(), unit->name)) return key.str();
    return found->first.str();
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

const Target& UnitRegistry::lookUp(QualifiedTargetName& name, bool declaredSpelling) const {
    if (name.ns.empty()) name.ns = defaultNamespace;
    auto space = units.find(Util::CiString(name.ns));
    if (space == units.end()) throw NotFoundException("Namespace", name.ns);
    if (name.unit.empty()) name.unit = defaultUnit;
    auto unit = space->second.find(Util::CiString(name.unit));
    if (unit == space->second.end()) throw NotFoundException("Unit", unitText(name.ns, name.unit));
    auto target = unit->second->targets.find(Util::CiString(name.target));
    if (target == unit->second->targets.end())
        throw NotFoundException("Target", unitText(name.ns, name.unit) + "::" + name.target);
    if (declaredSpelling) name = {space->first.str(), unitKey(space->second, unit), target->first.str()};
    return target->second;
}

const Target& UnitRegistry::getTarget(QualifiedTargetName& name) const { return lookUp(name, false); }

const Target& UnitRegistry::getDeclaredTarget(QualifiedTargetName& name) const { return lookUp(name, true); }

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
