#pragma once
// Where a built dependency's outputs land in the depending target's context.
//
// A dependency's output context enters the target as a context value under
// one name, always appended ("+="), so several dependencies may meet under
// one name: the alias when one is written; the dependency's target name when
// it lives in the same unit and namespace; otherwise the unit's name, holding
// one nested variable per target of that unit. Dependencies written with a
// merged alias ("+>") pour all their output variables into one shared context
// under the alias. Name collisions are warnings only; a variable under the
// name that cannot take outputs at all (a text, say) the walk refuses before
// any dependency is built (checkOutputNames).
//
// Before they go in, the files among the outputs are marked as received
// (markReceivedOutputs), so that wherever the target's variables carry them,
// they are known as the dependency's, not files the target writes
// (output_owners.h).

#include <map>
#include <string>
#include <vector>

#include "types/assignment.h"
#include "types/context.h"
#include "types/dependency.h"
#include "types/qualified_target_name.h"
#include "util/ci_string.h"

// The name a dependency's outputs go in under, and whether that name holds
// the targets of the dependency's unit (each holding its outputs) rather than
// the outputs themselves.
struct OutputPlace {
    std::string name;
    bool unitTargets = false;
};

// Marks the files of a dependency's output context, at any depth, as
// received from a dependency, with the lists, context values and texts that
// pass one on; any other value (a text naming a file the receiver may make)
// is left unmarked. Tells whether there was a file. `output` must be the
// depending target's own copy: the values are changed in place.
bool markReceivedOutputs(Tolm::Context& output);

// One per target visit.
class DependencyOutputStore {
public:
    DependencyOutputStore(Tolm::ContextPtr target, Tolm::QualifiedTargetName targetName);

    // Where the outputs of `dependency`, completed to `dependencyName`, go in
    // for the target `targetName`.
    static OutputPlace placeOf(const Tolm::Dependency& dependency, const Tolm::QualifiedTargetName& dependencyName,
                               const Tolm::QualifiedTargetName& targetName);

    // For a dependency without alias or with a plain alias. `dependencyName`
    // is the child's name as the walk completed it.
    void addOutput(const Tolm::Dependency& dependency, const Tolm::QualifiedTargetName& dependencyName,
                   const Tolm::ContextPtr& output);
    // For a dependency with a merged alias. An output variable the merged
    // context refuses now is tried once more by retryMergedAppends.
    void addMergedAliasOutput(const Tolm::Dependency& dependency, const Tolm::QualifiedTargetName& dependencyName,
                              const Tolm::ContextPtr& output);
    // Logs a level-6 warning when the output's name is already taken.
    static void checkCollisions(const Tolm::Context& target, const Tolm::QualifiedTargetName& targetName,
                                const Tolm::QualifiedTargetName& dependencyName, const std::string& alias);
    // Called once after the target's variables are resolved; failures now
    // propagate.
    void retryMergedAppends();
    // Whether a dependency's outputs went in under the name.
    bool holds(const std::string& name) const { return names_.count(Util::CiString(name)) != 0; }
    // The names outputs went in under, in name order.
    std::vector<std::string> names() const;
    // Whether the name holds only targets of other units, never outputs.
    bool holdsUnitTargets(const std::string& name) const;

private:
    Tolm::ContextPtr target_;
    Tolm::QualifiedTargetName targetName_;
    // The context each merged alias collects into; it is the very context
    // the target's variable of that name holds.
    std::map<Util::CiString, Tolm::ContextPtr> mergedContexts_;
    std::map<Util::CiString, std::vector<Tolm::Assignment>> pendingAppends_;
    // The names the outputs went in under; true while a name has held only
    // unit targets.
    std::map<Util::CiString, bool> names_;

    void remember(const OutputPlace& place);
};
