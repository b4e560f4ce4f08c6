#pragma once
// Failed references said in full.
//
// A reference that names nothing says the target being built, the reference
// as written and what exists where it failed: the outputs of the dependency
// it reached, or the targets of the unit it names. What a dependency outputs
// is known only once it is built, but which targets a unit's name will hold,
// and whether the target's own variable takes that name (or cannot take any
// outputs at all), are known from the dependency list alone. The walk checks
// those before it builds any dependency, so such a slip costs no build; it
// fails only where the later lookup or merge would fail too, so no build
// that succeeds is stopped.

#include <string>
#include <vector>

#include "app/dependency_outputs.h"
#include "types/dependency.h"
#include "types/qualified_target_name.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/unknown_first_name.h"

// A dependency as the walk visits it: as listed, with its name completed.
struct PlannedDependency {
    const Tolm::Dependency* dependency;
    Tolm::QualifiedTargetName name;
};

// The listed dependencies (each naming a static target) of the target
// `name`, an empty namespace or unit completed with the target's.
std::vector<PlannedDependency> planDependencies(const std::vector<Tolm::Dependency>& dependencies,
                                                const Tolm::QualifiedTargetName& name);

// Call from a catch block: a lookup failure of a reference in the target
// `displayName` ("unit::target") is thrown again said in full, with what
// exists where it failed (the dependency's outputs, the unit's targets, or
// the names the dependencies' outputs went in under so far); any other
// exception travels on unchanged.
[[noreturn]] void rethrowReferenceFailure(const std::string& displayName, const DependencyOutputStore& outputs);

// Throws Tolm::TolmException for the first reference of the target (the
// dependencies' parameters, then the variables' values) that cannot resolve
// whatever the dependencies give: a unit's name followed by a target it will
// not hold, or by anything when the target's own variable, not a context
// value, takes that name. Call before any dependency is built.
void checkUnitReferences(const Tolm::TargetContext& target, const std::string& displayName,
                         const std::vector<PlannedDependency>& dependencies);

// Throws Tolm::TolmException for the first dependency whose outputs would go
// in under a variable of the target that cannot take them (a text, a number
// or a reference: `p: objs { OBJS = objs.objs }`), naming the dependency and
// the variable. A variable without a value, a context or a list takes them,
// with a collision warning only. Call before any dependency is built.
void checkOutputNames(const Tolm::TargetContext& target, const std::string& displayName,
                      const std::vector<PlannedDependency>& dependencies);
