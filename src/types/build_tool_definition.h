#pragma once
// A named build-tool block of a project file or of the registry file.

#include <memory>
#include <string>

#include "types/context_template.h"

namespace Tolm {

struct BuildToolDefinition {
    std::string name;
    std::shared_ptr<ContextTemplate> context;  // may be null
};

}  // namespace Tolm
