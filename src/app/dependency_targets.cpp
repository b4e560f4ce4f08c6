#include "app/dependency_targets.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "types/target.h"
#include "types/tolm_exceptions.h"
#include "types/unit.h"
#include "util/ci_string.h"

namespace {

namespace Messages {
constexpr const char* Missing = "{} '{}' not found (dependency '{}' of target '{}').";
constexpr const char* Units = " Units: {}.";
constexpr const char* ProjectUnits = " Units of project '{}': {}.";
constexpr const char* OtherUnits =
    " Units of other projects: {}; a target of another project is written 'project/unit::target'.";
}  // namespace Messages

using Tolm::QualifiedTargetName;
using UnitSpace = Tolm::UnitRegistry::UnitSpace;

// A name as far as it is written or completed: "ns/unit::target",
// "unit::target" or "target".
std::string nameText(const QualifiedTargetName& name) {
    std::string text;
    if (!name.ns.empty()) text += name.ns + "/";
    if (!name.unit.empty()) text += name.unit + "::";
    return text + name.target;
}

// The units of one project, each once: a second name of a unit (the main
// unit is also unit "1") is left out.
std::vector<std::string> unitsOf(const UnitSpace& space) {
    std::vector<std::string> names;
    for (auto entry = space.begin(); entry != space.end(); ++entry) {
        const std::string& key = entry->first.str();
        if (!key.empty() && &Tolm::UnitRegistry::declaredUnitName(space, entry) == &key) names.push_back(key);
    }
    return names;
}

// What exists where the holder's dependency found nothing: the units of the
// holder's project, then those of the other projects as "project/unit".
std::string unitsAround(const Tolm::UnitRegistry& units, const std::string& holderNamespace) {
    std::string text;
    std::vector<std::string> others;
    for (const auto& [ns, space] : units.units) {
        if (Util::ciEquals(ns.str(), holderNamespace)) {
            const std::string own = fmt::format("{}", fmt::join(unitsOf(space), ", "));
            text = ns.empty() ? fmt::format(fmt::runtime(Messages::Units), own)
                              : fmt::format(fmt::runtime(Messages::ProjectUnits), ns.str(), own);
            continue;
        }
        for (const std::string& unit : unitsOf(space)) others.push_back(ns.str() + "/" + unit);
    }
    if (!others.empty()) text += fmt::format(fmt::runtime(Messages::OtherUnits), fmt::join(others, ", "));
    return text;
}

// The target a dependency names (its name completed in `name`); a missing
// project or unit is said with the units there are, a missing target as the
// lookup says it.
const Tolm::Target& targetOf(const Tolm::UnitRegistry& units, const QualifiedTargetName& written,
                             QualifiedTargetName& name, const QualifiedTargetName& holder) {
    try {
        return units.getDeclaredTarget(name);
    } catch (const Tolm::NotFoundException& missing) {
        if (missing.kind() == "Target") throw;
        throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::Missing), missing.kind(), missing.name(),
                                              nameText(written), nameText(holder)) +
                                  unitsAround(units, holder.ns));
    }
}

}  // namespace

void checkStaticDependencies(const Tolm::UnitRegistry& units, const QualifiedTargetName& main) {
    // A target on the path from the main target, and the next of its
    // dependencies to look at: depth first in written order, as the walk
    // goes, without recursion, however deep the chain.
    struct Visit {
        QualifiedTargetName name;
        const Tolm::Target* target;
        std::size_t next = 0;
    };
    QualifiedTargetName start = main;
    const Tolm::Target* first = nullptr;
    try {
        first = &units.getDeclaredTarget(start);
    } catch (const Tolm::NotFoundException&) {
        return;
    }
    std::vector<Visit> stack{{start, first}};
    // A target met again was checked at its first meeting; a loop ends
    // here too, and the walk reports it.
    std::unordered_set<Util::CiString, Util::CiHasher, Util::CiEqualTo> seen{Util::CiString(start.toString())};
    while (!stack.empty()) {
        Visit& top = stack.back();
        if (top.next == top.target->dependencies.size()) {
            stack.pop_back();
            continue;
        }
        const auto* written = std::get_if<QualifiedTargetName>(&top.target->dependencies[top.next++].target);
        if (!written) continue;
        QualifiedTargetName name{written->ns.empty() ? top.name.ns : written->ns,
                                 written->unit.empty() ? top.name.unit : written->unit, written->target};
        const Tolm::Target& target = targetOf(units, *written, name, top.name);
        if (seen.insert(Util::CiString(name.toString())).second) stack.push_back({name, &target});
    }
}

void checkDependencyTargets(const Tolm::UnitRegistry& units, const QualifiedTargetName& holder,
                            const std::vector<PlannedDependency>& dependencies) {
    for (const PlannedDependency& planned : dependencies) {
        QualifiedTargetName name = planned.name;
        targetOf(units, std::get<QualifiedTargetName>(planned.dependency->target), name, holder);
    }
}
