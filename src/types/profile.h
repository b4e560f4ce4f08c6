#pragma once
// A named profile of a project: a block of assignments chosen by name.

#include <memory>
#include <string>

#include "types/context_template.h"

namespace Tolm {

struct Profile {
    std::string name;
    std::shared_ptr<ContextTemplate> context;
};

}  // namespace Tolm
