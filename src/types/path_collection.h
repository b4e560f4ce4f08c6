#pragma once
// The file-system paths a value names. The build cache asks this of the
// values of a target's assignments to learn which files they stand for.

#include <filesystem>
#include <vector>

#include "types/tolm_value.h"

namespace Tolm {

// Appends to `out`, in order, the full path of every path value the value
// holds: the value itself, or the items of a list at any depth. Plain texts,
// raw texts, integers, identifiers, contexts and null add nothing.
void collectPathsFromValue(const TolmValuePtr& value, std::vector<std::filesystem::path>& out);

}  // namespace Tolm
