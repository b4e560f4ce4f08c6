#pragma once
// A target of a unit file: its block (a template), name, parameter names and
// dependencies. Evaluated once per instance into a TargetContext.

#include <string>
#include <vector>

#include "types/context_template.h"
#include "types/dependency.h"
#include "types/qualified_target_name.h"

namespace Tolm {

class Target : public ContextTemplate {
public:
    QualifiedTargetName name;
    std::vector<std::string> parameters;     // in source order
    std::vector<Dependency> dependencies;    // in source order
};

}  // namespace Tolm
