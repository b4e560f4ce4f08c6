#include "app/dependency_outputs.h"

#include <memory>
#include <utility>

#include <fmt/format.h>

#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/value_casts.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* AliasCollision =
    "Dependency output alias '{}' collides with an existing context variable. Names are case-insensitive; this "
    "may make dependency output ambiguous.\n";
constexpr const char* OutputCollision =
    "Dependency output '{}' collides with an existing context variable. Names are case-insensitive; this may "
    "make dependency output ambiguous.\n";
constexpr const char* OutputMeetsOutput =
    "Dependency output '{}::{}' collides with an existing dependency output. Names are case-insensitive; this "
    "may make dependency output ambiguous.\n";
constexpr const char* OutputMeetsVariable =
    "Dependency output '{}::{}' collides with existing context variable '{}'. Names are case-insensitive; this "
    "may make dependency output ambiguous.\n";
constexpr const char* SecondTry = "Second try adding merged dependency output append {}.\n";
}  // namespace Messages

using Tolm::Assignment;
using Type = Assignment::AssignType;

bool sameUnit(const Tolm::QualifiedTargetName& a, const Tolm::QualifiedTargetName& b) {
    return Util::ciEquals(a.unit, b.unit) && Util::ciEquals(a.ns, b.ns);
}

Assignment appendOf(const std::string& name, const Tolm::ContextPtr& context) {
    return Assignment(name, std::make_shared<Tolm::TolmContext>(context), Type::Append, Assignment::NoModifier);
}

// The nested context a variable holds, or null.
Tolm::ContextPtr contextHeldBy(const Tolm::Context& holder, const std::string& name) {
    auto found = holder.assignments.find(Util::CiString(name));
    if (found == holder.assignments.end()) return nullptr;
    auto* nested = dynamic_cast<const Tolm::TolmContext*>(found->second.value.get());
    return nested ? nested->context : nullptr;
}

// Marks the dependency's files among the value and what holds one, and
// tells whether there was any: a path value, a text that passed one on in
// the dependency (marked there), a list or context value holding either. A
// plain text is no file: a path the receiver makes of it is its own.
bool markReceived(const Tolm::TolmValuePtr& value) {
    if (!value) return false;
    bool file = value->fromDependency || Tolm::valueAs<Tolm::TolmPathString>(value.get());
    if (auto* list = Tolm::valueAs<Tolm::TolmList>(value.get()))
        for (const Tolm::TolmValuePtr& item : list->items()) file = markReceived(item) || file;
    else if (auto* nested = Tolm::valueAs<Tolm::TolmContext>(value.get()); nested && nested->context)
        file = markReceivedOutputs(*nested->context) || file;
    value->fromDependency = file;
    return file;
}

}  // namespace

bool markReceivedOutputs(Tolm::Context& output) {
    bool file = false;
    for (const auto& [key, assignment] : output.assignments) file = markReceived(assignment.value) || file;
    return file;
}

DependencyOutputStore::DependencyOutputStore(Tolm::ContextPtr target, Tolm::QualifiedTargetName targetName)
    : target_(std::move(target)), targetName_(std::move(targetName)) {}

OutputPlace DependencyOutputStore::placeOf(const Tolm::Dependency& dependency,
                                          const Tolm::QualifiedTargetName& dependencyName,
                                          const Tolm::QualifiedTargetName& targetName) {
    if (!dependency.alias.empty()) return {dependency.alias, false};
    if (sameUnit(dependencyName, targetName)) return {dependencyName.target, false};
    return {dependencyName.unit, true};
}

bool DependencyOutputStore::holdsUnitTargets(const std::string& name) const {
    auto found = names_.find(Util::CiString(name));
    return found != names_.end() && found->second;
}

void DependencyOutputStore::remember(const OutputPlace& place) {
    auto [entry, fresh] = names_.try_emplace(Util::CiString(place.name), place.unitTargets);
    if (!fresh) entry->second = entry->second && place.unitTargets;
}

void DependencyOutputStore::addOutput(const Tolm::Dependency& dependency,
                                      const Tolm::QualifiedTargetName& dependencyName,
                                      const Tolm::ContextPtr& output) {
    checkCollisions(*target_, targetName_, dependencyName, dependency.alias);
    const OutputPlace place = placeOf(dependency, dependencyName, targetName_);
    remember(place);
    if (!place.unitTargets) {
        target_->addAssignment(appendOf(place.name, output), 0);
        return;
    }
    // Targets of another unit meet under the unit's name, one nested
    // variable per target.
    auto holder = std::make_shared<Tolm::Context>();
    holder->addAssignment(Assignment(dependencyName.target, std::make_shared<Tolm::TolmContext>(output), Type::Set,
                                     Assignment::NoModifier),
                          0);
    target_->addAssignment(appendOf(place.name, holder), 0);
}

void DependencyOutputStore::addMergedAliasOutput(const Tolm::Dependency& dependency,
                                                 const Tolm::QualifiedTargetName& dependencyName,
                                                 const Tolm::ContextPtr& output) {
    if (dependency.alias.empty()) throw Tolm::InternalError();
    remember({dependency.alias, false});
    Tolm::ContextPtr& merged = mergedContexts_[Util::CiString(dependency.alias)];
    if (!merged) {
        checkCollisions(*target_, targetName_, dependencyName, dependency.alias);
        auto fresh = std::make_shared<Tolm::Context>();
        target_->addAssignment(appendOf(dependency.alias, fresh), 0);
        // The target keeps its own copy of what it receives, so later outputs
        // go into the copy it holds; only then does the target see them.
        merged = contextHeldBy(*target_, dependency.alias);
        if (!merged) merged = fresh;
    }
    std::vector<Assignment> refused = merged->addImplicitContext(*output, Type::Append, false, 0);
    if (refused.empty()) return;
    std::vector<Assignment>& pending = pendingAppends_[Util::CiString(dependency.alias)];
    for (Assignment& assignment : refused) pending.push_back(std::move(assignment));
}

void DependencyOutputStore::checkCollisions(const Tolm::Context& target, const Tolm::QualifiedTargetName& targetName,
                                            const Tolm::QualifiedTargetName& dependencyName,
                                            const std::string& alias) {
    if (!alias.empty()) {
        if (Tolm::hasVariable(target, alias)) Log::log(6, fmt::runtime(Messages::AliasCollision), alias);
        return;
    }
    if (sameUnit(dependencyName, targetName)) {
        if (Tolm::hasVariable(target, dependencyName.target))
            Log::log(6, fmt::runtime(Messages::OutputCollision), dependencyName.target);
        return;
    }
    auto found = target.assignments.find(Util::CiString(dependencyName.unit));
    if (found == target.assignments.end()) return;
    if (auto* nested = dynamic_cast<const Tolm::TolmContext*>(found->second.value.get())) {
        if (nested->context && Tolm::hasVariable(*nested->context, dependencyName.target))
            Log::log(6, fmt::runtime(Messages::OutputMeetsOutput), dependencyName.unit, dependencyName.target);
        return;
    }
    Log::log(6, fmt::runtime(Messages::OutputMeetsVariable), dependencyName.unit, dependencyName.target,
             dependencyName.unit);
}

void DependencyOutputStore::retryMergedAppends() {
    for (const auto& [alias, pending] : pendingAppends_) {
        const Tolm::ContextPtr& merged = mergedContexts_.at(alias);
        for (const Assignment& assignment : pending) {
            Log::log(1, fmt::runtime(Messages::SecondTry), assignment.value ? assignment.value->toLiteral() : "");
            merged->addAssignment(assignment, 0);
        }
    }
}

std::vector<std::string> DependencyOutputStore::names() const {
    std::vector<std::string> names;
    for (const auto& [name, onlyTargets] : names_) names.push_back(name.str());
    return names;
}
