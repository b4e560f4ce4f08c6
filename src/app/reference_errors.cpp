#include "app/reference_errors.h"

#include <map>
#include <memory>
#include <set>
#include <variant>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "types/tolm_context.h"
#include "types/tolm_identifier.h"
#include "types/tolm_list.h"
#include "util/ci_string.h"

namespace {

namespace Messages {
constexpr const char* UnknownMember = "Variable '{}' not found in target '{}'.";
constexpr const char* DependencyOutputs = " Outputs of dependency '{}': {}.";
constexpr const char* NoDependencyOutputs = " Dependency '{}' has no outputs.";
constexpr const char* UnitTargets = " Targets of unit '{}' it depends on: {}.";
constexpr const char* DependencyNames = " Its dependencies' outputs are under: {}.";
constexpr const char* NoDependencies = " It has no dependency outputs.";
constexpr const char* NameClash =
    " Unit name '{}' of dependency '{}' clashes with variable '{}'; the variable was taken.";
constexpr const char* TargetNameTaken =
    "Dependency '{}' of target '{}' has the name of its variable '{}'{}; rename the target '{}'.";
constexpr const char* AliasTaken = "Alias '{}' of dependency '{}' of target '{}' has the name of its variable '{}'{}; "
                                   "choose another alias.";
constexpr const char* UnitNameTaken = "Unit name '{}' of dependency '{}' of target '{}' has the name of its variable "
                                      "'{}'{}; rename the variable or the unit.";
constexpr const char* OtherSpelling = " (names are case-insensitive)";
}  // namespace Messages

std::string notFound(const std::string& reference, const std::string& displayName) {
    return fmt::format(fmt::runtime(Messages::UnknownMember), reference, displayName);
}

std::string unitTargets(const std::string& unit, const std::vector<std::string>& targets) {
    return fmt::format(fmt::runtime(Messages::UnitTargets), unit, fmt::join(targets, ", "));
}

// What a unit's name will hold once every dependency is in.
struct UnitPlace {
    std::string unit;        // as the first dependency of the unit names it
    std::string dependency;  // that dependency, "unit::target"
    std::map<Util::CiString, std::string> targets;
    bool onlyTargets = true;  // no alias or target of the same unit goes in under the name too
};

using UnitPlaces = std::map<Util::CiString, UnitPlace>;

UnitPlaces unitPlacesOf(const Tolm::QualifiedTargetName& targetName,
                        const std::vector<PlannedDependency>& dependencies) {
    UnitPlaces places;
    std::set<Util::CiString> outputNames;
    for (const PlannedDependency& planned : dependencies) {
        const OutputPlace place = DependencyOutputStore::placeOf(*planned.dependency, planned.name, targetName);
        if (!place.unitTargets) {
            outputNames.insert(Util::CiString(place.name));
            continue;
        }
        auto [entry, fresh] = places.try_emplace(Util::CiString(place.name));
        if (fresh) entry->second = {planned.name.unit, planned.name.unit + "::" + planned.name.target, {}, true};
        entry->second.targets.try_emplace(Util::CiString(planned.name.target), planned.name.target);
    }
    for (auto& [name, place] : places) place.onlyTargets = !outputNames.contains(name);
    return places;
}

void collectIdentifier(const Tolm::Identifier& identifier, std::vector<const Tolm::Identifier*>& references) {
    references.push_back(&identifier);
    // An identifier in an index is looked up before the one that holds it.
    for (const Tolm::Identifier::Segment& segment : identifier.segments)
        for (const Tolm::IndexExpr& index : segment.indexes)
            if (const auto* nested = std::get_if<Tolm::NestedIndex>(&index); nested && *nested)
                collectIdentifier(**nested, references);
}

// Every identifier a value holds, at any depth: resolving the target's
// context resolves them all through the target.
void collectReferences(const Tolm::TolmValuePtr& value, std::vector<const Tolm::Identifier*>& references) {
    if (const auto* identifier = dynamic_cast<const Tolm::TolmIdentifier*>(value.get())) {
        collectIdentifier(identifier->identifier, references);
    } else if (const auto* list = dynamic_cast<const Tolm::TolmList*>(value.get())) {
        for (const Tolm::TolmValuePtr& item : list->items()) collectReferences(item, references);
    } else if (const auto* nested = dynamic_cast<const Tolm::TolmContext*>(value.get()); nested && nested->context) {
        for (const auto& [key, assignment] : nested->context->assignments)
            collectReferences(assignment.value, references);
    }
}

// The context a variable of the target already holds, or null.
const Tolm::TolmContext* contextValueOf(const Tolm::Assignment* own) {
    return own ? dynamic_cast<const Tolm::TolmContext*>(own->value.get()) : nullptr;
}

}  // namespace

std::vector<PlannedDependency> planDependencies(const std::vector<Tolm::Dependency>& dependencies,
                                                const Tolm::QualifiedTargetName& name) {
    std::vector<PlannedDependency> plan;
    for (const Tolm::Dependency& dependency : dependencies) {
        const auto& written = std::get<Tolm::QualifiedTargetName>(dependency.target);
        plan.push_back({&dependency, {written.ns.empty() ? name.ns : written.ns,
                                      written.unit.empty() ? name.unit : written.unit, written.target}});
    }
    return plan;
}

namespace {

Tolm::TolmException unknownReference(const Tolm::MissingMemberException& missing, const std::string& displayName,
                                     const DependencyOutputStore& outputs) {
    std::string text = notFound(missing.reference(), displayName);
    if (!outputs.holds(missing.base())) return Tolm::TolmException(text);
    if (missing.holder() == missing.base() && outputs.holdsUnitTargets(missing.base()))
        return Tolm::TolmException(text + unitTargets(missing.holder(), missing.available()));
    if (missing.available().empty())
        return Tolm::TolmException(text + fmt::format(fmt::runtime(Messages::NoDependencyOutputs), missing.holder()));
    return Tolm::TolmException(text + fmt::format(fmt::runtime(Messages::DependencyOutputs), missing.holder(),
                                                  fmt::join(missing.available(), ", ")));
}

Tolm::TolmException unknownFirstName(const Tolm::UnknownFirstName& missing, const std::string& displayName,
                                     const DependencyOutputStore& outputs) {
    const std::vector<std::string> names = outputs.names();
    const std::string text = notFound(missing.reference(), displayName);
    if (names.empty()) return Tolm::TolmException(text + Messages::NoDependencies);
    return Tolm::TolmException(text + fmt::format(fmt::runtime(Messages::DependencyNames), fmt::join(names, ", ")));
}

// Whether outputs can be appended to the value: nothing yet, a context, or a
// list (which takes them as one more item). A text, a number or a reference
// not yet resolved refuses them.
bool takesOutputs(const Tolm::TolmValuePtr& value) {
    return !value || dynamic_cast<const Tolm::TolmContext*>(value.get()) ||
           dynamic_cast<const Tolm::TolmList*>(value.get());
}

std::string nameTaken(const PlannedDependency& planned, const OutputPlace& place, const std::string& variable,
                      const std::string& displayName) {
    const std::string& target = planned.name.target;
    const char* spelling = place.name == variable ? "" : Messages::OtherSpelling;
    if (!planned.dependency->alias.empty())
        return fmt::format(fmt::runtime(Messages::AliasTaken), place.name, target, displayName, variable, spelling);
    if (place.unitTargets)
        return fmt::format(fmt::runtime(Messages::UnitNameTaken), place.name, planned.name.unit + "::" + target,
                           displayName, variable, spelling);
    return fmt::format(fmt::runtime(Messages::TargetNameTaken), target, displayName, variable, spelling, target);
}

}  // namespace

void rethrowReferenceFailure(const std::string& displayName, const DependencyOutputStore& outputs) {
    try {
        throw;
    } catch (const Tolm::MissingMemberException& missing) {
        throw unknownReference(missing, displayName, outputs);
    } catch (const Tolm::UnknownFirstName& missing) {
        throw unknownFirstName(missing, displayName, outputs);
    }
}

void checkUnitReferences(const Tolm::TargetContext& target, const std::string& displayName,
                         const std::vector<PlannedDependency>& dependencies) {
    const UnitPlaces places = unitPlacesOf(target.name, dependencies);
    if (places.empty()) return;
    // Outputs appended into the target ("+") may bring any name, so what a
    // unit's name will hold is then known only after the build.
    bool appended = false;
    std::vector<const Tolm::Identifier*> references;
    for (const PlannedDependency& planned : dependencies) {
        appended = appended || planned.dependency->modifier == 1;
        for (const Tolm::Identifier& parameter : planned.dependency->parameters)
            collectIdentifier(parameter, references);
    }
    for (const auto& [key, assignment] : target.assignments) collectReferences(assignment.value, references);

    for (const Tolm::Identifier* reference : references) {
        const auto& segments = reference->segments;
        if (segments.size() < 2 || !segments[0].indexes.empty()) continue;
        auto place = places.find(Util::CiString(segments[0].name));
        if (place == places.end()) continue;
        auto found = target.assignments.find(place->first);
        const Tolm::Assignment* own = found == target.assignments.end() ? nullptr : &found->second;
        const Tolm::TolmContext* held = contextValueOf(own);
        // A value other than a context never becomes one, whatever is
        // appended to it, so nothing can be selected from it by name.
        if (own && own->value && !held)
            throw Tolm::TolmException(notFound(reference->toString(), displayName) +
                                      fmt::format(fmt::runtime(Messages::NameClash), place->second.unit,
                                                  place->second.dependency, own->name));
        if (!place->second.onlyTargets || appended) continue;
        // The outputs join what the variable already holds, which keeps its spelling.
        std::map<Util::CiString, std::string> available;
        if (held && held->context)
            for (const auto& [name, member] : held->context->assignments) available.try_emplace(name, member.name);
        available.insert(place->second.targets.begin(), place->second.targets.end());
        if (available.contains(Util::CiString(segments[1].name))) continue;
        std::vector<std::string> names;
        for (const auto& [name, spelt] : available) names.push_back(spelt);
        throw Tolm::TolmException(notFound(reference->toString(), displayName) + unitTargets(segments[0].name, names));
    }
}

void checkOutputNames(const Tolm::TargetContext& target, const std::string& displayName,
                      const std::vector<PlannedDependency>& dependencies) {
    for (const PlannedDependency& planned : dependencies) {
        const OutputPlace place = DependencyOutputStore::placeOf(*planned.dependency, planned.name, target.name);
        auto found = target.assignments.find(Util::CiString(place.name));
        if (found == target.assignments.end() || takesOutputs(found->second.value)) continue;
        throw Tolm::TolmException(nameTaken(planned, place, found->second.name, displayName));
    }
}
