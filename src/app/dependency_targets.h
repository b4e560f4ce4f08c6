#pragma once
// Dependencies that name no target, found before anything is built.
//
// A dependency written as a target name reaches the same target in every
// run: which targets the walk will visit through such names is known from
// the unit files alone, before any command runs. A build that succeeds
// visits every one of them, so refusing the run when one of them names a
// project, unit or target that does not exist stops only a build that would
// fail later, after building what came before. Dynamic dependencies ("@")
// are known only during the walk; each visit checks its expanded list before
// it builds any of them.
//
// The usual slip is a target of an imported project written without its
// project ("zz::libz" for "zz/zz::libz"), so a missing project or unit is
// said with the units of every project of the build.

#include <vector>

#include "app/reference_errors.h"
#include "app/unit_registry.h"
#include "types/qualified_target_name.h"

// Follows the dependencies written as target names from `main`, in the
// walk's order, and throws TolmException for the first one whose project or
// unit does not exist, NotFoundException "Target" for one whose target does
// not. Returns quietly when `main` itself does not resolve: the walk says
// so as it always did.
void checkStaticDependencies(const Tolm::UnitRegistry& units, const Tolm::QualifiedTargetName& main);

// The same check for the planned dependencies of the target `holder` (its
// completed name), in their order.
void checkDependencyTargets(const Tolm::UnitRegistry& units, const Tolm::QualifiedTargetName& holder,
                            const std::vector<PlannedDependency>& dependencies);
