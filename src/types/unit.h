#pragma once
// A parsed unit file: its name and its targets.

#include <map>
#include <string>

#include "types/target.h"
#include "util/ci_string.h"

namespace Tolm {

struct Unit {
    std::string name;
    std::map<Util::CiString, Target> targets;
    std::string mainTarget;  // the first target added; empty while there is none

    // Adds the target under its own name. A name already present (ignoring
    // case) throws std::invalid_argument "Key already exists: " + the earlier
    // name, leaving the unit and the argument unchanged.
    void addTarget(Target&& target);
};

}  // namespace Tolm
