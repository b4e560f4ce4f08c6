#include "tools/matcher.h"

#include <utility>

#include "types/target_context.h"

namespace Tolm {

Matcher::Matcher(std::string name, NameMap variables, NameMap required, const NameMap& extraVariables,
                 const NameMap& extraRequired)
    : name(std::move(name)), variables(std::move(variables)), required(std::move(required))
{
    // A definition that gives a base requirement a value keeps it required:
    // the target must still set it for the tool to apply.
    for (const auto& [key, assignment] : extraVariables) {
        auto requirement = this->required.find(key);
        if (requirement != this->required.end())
            requirement->second = assignment;
        else
            this->variables.insert_or_assign(key, assignment);
    }
    // A "!" assignment turns a variable into a requirement.
    for (const auto& [key, assignment] : extraRequired) {
        this->variables.erase(key);
        this->required.insert_or_assign(key, assignment);
    }
}

MatchResult Matcher::match(const TargetContext&) const { return MatchResult{}; }

std::shared_ptr<Builder> chooseTool(const std::vector<std::shared_ptr<Builder>>& tools, const TargetContext& target)
{
    std::shared_ptr<Builder> chosen;
    int best = -1;
    for (const std::shared_ptr<Builder>& tool : tools) {
        const MatchResult result = tool->matchTarget(target);
        if (!result.possible()) continue;
        const int score = tool->scoreMatch(target, result);
        if (score > best) {
            best = score;
            chosen = tool;
        }
    }
    if (chosen) chosen->chosenFor(target);
    return chosen;
}

Matcher* Matcher::create(const Util::CiString& type, const std::string& name, NameMap variables, NameMap required)
{
    const MatcherRegistry& registry = matcherRegistry();
    auto entry = registry.find(type);
    if (entry == registry.end() || !entry->second) return nullptr;
    return entry->second(Util::CiString(name), std::move(variables), std::move(required));
}

}  // namespace Tolm
