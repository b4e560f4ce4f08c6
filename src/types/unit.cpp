#include "types/unit.h"

#include <stdexcept>

namespace Tolm {

namespace {
const char* const DuplicateTarget = "Key already exists: ";
}

void Unit::addTarget(Target&& target)
{
    std::string key = target.name.target;
    auto existing = targets.find(Util::CiString(key));
    if (existing != targets.end()) throw std::invalid_argument(DuplicateTarget + existing->first.str());
    targets.emplace(Util::CiString(key), std::move(target));
    // The first target added is the unit's main target, whatever follows.
    if (mainTarget.empty()) mainTarget = key;
}

}  // namespace Tolm
