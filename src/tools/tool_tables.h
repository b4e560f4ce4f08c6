#pragma once
// The static tables a tool registration builds: name maps (variables without
// values, used as a matcher's base maps and a Builder's match subjects) and
// variable tables (the variables a Builder understands, with the weights each
// match kind scores).
//
// Tables are written as initialiser lists; a name listed twice keeps its
// first entry, so a later duplicate cannot silently change a weight.

#include <initializer_list>
#include <string>

#include "tools/builder.h"
#include "types/context.h"

namespace Tolm {

struct ToolVariableEntry {
    std::string name;
    ToolVariable variable;
};

// Every record becomes {name, value, Set, no modifier}.
NameMap makeAssignmentMap(std::initializer_list<NamedValue> records);

// The standard entry: the default value and the weights 0, 1 and 2.
ToolVariableEntry makeToolVariableEntry(std::string name, TolmValuePtr value);
// An entry with its own weights.
ToolVariableEntry makeToolVariableEntry(std::string name, ToolVariable variable);

// A variable without a default and with the standard weights.
ToolVariableEntry standardVariable(std::string name);
// A selector: it counts only when declared without a value, and then
// decisively (weights 0, 0 and 5).
ToolVariableEntry selectorVariable(std::string name);

ToolVariableMap makeToolVariableMap(std::initializer_list<ToolVariableEntry> entries);

}  // namespace Tolm
