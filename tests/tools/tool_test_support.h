#pragma once
// Targets and tool maps for the tool tests, written as the assignment lines
// of a unit file or a tool definition.

#include <memory>
#include <string>
#include <vector>

#include "parser/parse_assignment.h"
#include "tools/builder.h"
#include "types/target_context.h"

namespace ToolTestSupport {

// Path literals are based here.
inline const char* const ProjectRoot = "/proj";

// A target context holding the lines' assignments, e.g. `^APP = P"app"`.
inline std::shared_ptr<Tolm::TargetContext> targetOf(const std::vector<std::string>& lines)
{
    std::vector<Tolm::Assignment> assignments;
    for (const std::string& line : lines) assignments.push_back(parseAssignment(line, ProjectRoot));
    return std::make_shared<Tolm::TargetContext>(Tolm::QualifiedTargetName{"", "unit", "target"},
                                                 std::vector<std::string>{}, std::vector<Tolm::TolmValuePtr>{},
                                                 assignments, std::vector<Tolm::ConditionalBlock>{},
                                                 std::vector<Tolm::Dependency>{});
}

// The lines as a map, e.g. the maps a tool definition supplies.
inline Tolm::NameMap mapOf(const std::vector<Tolm::Assignment>& assignments)
{
    Tolm::NameMap map;
    for (const Tolm::Assignment& assignment : assignments) map.insert_or_assign(assignment.name, assignment);
    return map;
}

// "^" or "!" for the modifier, then the assignment as written.
inline std::string written(const Tolm::Assignment& assignment)
{
    const char* modifier = assignment.modifier == Tolm::Assignment::OutputModifier     ? "^"
                           : assignment.modifier == Tolm::Assignment::RequiredModifier ? "!"
                                                                                        : "";
    return modifier + assignment.toString();
}

// Every entry `written`, in map order, joined by "; ".
inline std::string written(const Tolm::NameMap& map)
{
    std::string text;
    for (const auto& [key, assignment] : map) text += (text.empty() ? "" : "; ") + written(assignment);
    return text;
}

}  // namespace ToolTestSupport
