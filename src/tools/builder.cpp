#include "tools/builder.h"

#include <utility>

namespace Tolm {

Builder::Builder(NameMap matchSubjects, ToolVariableMap toolVariables)
    : matchSubjects_(std::move(matchSubjects)), toolVariables_(std::move(toolVariables)) {}

std::string Builder::name() const { return "builder"; }

}  // namespace Tolm
