#pragma once
// One dependency of a target as written in a unit file.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "types/identifier.h"
#include "types/qualified_target_name.h"
#include "types/tolm_value.h"

namespace Tolm {

// A macro dependency ("@"): the variable whose value names the dependencies.
struct DynamicTarget {
    Identifier identifier;
    bool sourceParameter = false;  // the first written parameter was "."
};

struct Dependency {
    std::int32_t modifier = 0;   // 1: written with a leading "+"
    std::int32_t aliasKind = 0;  // 0: no alias, 1: "=>", 2: "+>" (merged alias)
    TolmValuePtr source;         // empty as parsed; the build driver's own
    std::vector<Identifier> parameters;  // in written order, without "."
    std::string alias;           // empty without alias
    std::variant<QualifiedTargetName, DynamicTarget> target;
};

}  // namespace Tolm
