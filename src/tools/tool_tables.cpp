#include "tools/tool_tables.h"

#include <utility>

namespace Tolm {

NameMap makeAssignmentMap(std::initializer_list<NamedValue> records)
{
    NameMap map;
    for (const NamedValue& record : records)
        map.try_emplace(record.name, record.name, record.value, Assignment::AssignType::Set, Assignment::NoModifier);
    return map;
}

ToolVariableEntry makeToolVariableEntry(std::string name, TolmValuePtr value)
{
    return ToolVariableEntry{std::move(name), ToolVariable{std::move(value), 0, 1, 2}};
}

ToolVariableEntry makeToolVariableEntry(std::string name, ToolVariable variable)
{
    return ToolVariableEntry{std::move(name), std::move(variable)};
}

ToolVariableMap makeToolVariableMap(std::initializer_list<ToolVariableEntry> entries)
{
    ToolVariableMap map;
    for (const ToolVariableEntry& entry : entries) map.try_emplace(entry.name, entry.variable);
    return map;
}

ToolVariableEntry standardVariable(std::string name)
{
    return makeToolVariableEntry(std::move(name), nullptr);
}

ToolVariableEntry selectorVariable(std::string name)
{
    return makeToolVariableEntry(std::move(name), ToolVariable{nullptr, 0, 0, 5});
}

}  // namespace Tolm
