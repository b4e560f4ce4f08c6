#pragma once
// The evaluated context of one target instance: the target's block evaluated
// for one set of parameter values, with the target's name, its dependencies
// and the instance text that tells instances apart.

#include <string>
#include <vector>

#include "types/context.h"
#include "types/dependency.h"
#include "types/qualified_target_name.h"

namespace Tolm {

class Target;

class TargetContext : public Context {
public:
    QualifiedTargetName name;
    std::vector<Dependency> dependencies;
    // What tells this instance apart, made from the parameter values by
    // instanceTextOf (types/instance_hash.h); empty only without parameter
    // values. It is the input of the instance hash and never printed.
    std::string instanceText;

    // The target's block evaluated for the parameter values: the i-th name
    // is set to the i-th value; names or values beyond the shorter list are
    // ignored.
    TargetContext(const QualifiedTargetName& targetName, const std::vector<std::string>& parameterNames,
                  const std::vector<TolmValuePtr>& parameterValues,
                  const std::vector<Assignment>& assignmentList, const std::vector<ConditionalBlock>& blocks,
                  const std::vector<Dependency>& targetDependencies);
    // The same from a target record.
    TargetContext(const Target& target, const std::vector<TolmValuePtr>& parameterValues);
    // A copy of a context under a target's name, for build jobs and cache
    // claims; no dependencies and no instance text until setInstance.
    TargetContext(const Context& context, const QualifiedTargetName& targetName);

    // Gives a context made for a build job the target's name and instance text.
    void setInstance(const QualifiedTargetName& targetName, std::string text);

    // "ns/" when there is a namespace, "unit::" when there is a unit, the
    // target, then "@" and the instance hash when there is an instance text.
    std::string instanceName() const;
    // 16 lower-case hexadecimal digits of the instance text's hash; empty
    // without instance text.
    std::string instanceHash() const;

    // The target's canonical name, then the context's braces and assignments.
    void dump(int level) override;
};

}  // namespace Tolm
