#pragma once
// The dependencies a target visit walks, each naming one static target.
//
// A dependency written as a target name passes unchanged. A dynamic
// dependency ("@" and a variable) is resolved against the target's evaluated
// context at walk time and expands into zero, one or several static ones:
// a context value gives one per variable (name and value), a list one per
// item, and any other value one per word, where a word may carry its own
// parameter list "name(a, b)" with blanks inside the parentheses.

#include <vector>

#include "types/dependency.h"

namespace Tolm {
class TargetContext;
}

// The target's dependencies, in written order and, within one dynamic
// dependency, in the order of its entries. Throws TolmException "Invalid
// dynamic dependency '<text>': <detail>" for a malformed entry; lookup and
// name-parse failures pass through.
std::vector<Tolm::Dependency> createDependencyList(Tolm::TargetContext& target);
