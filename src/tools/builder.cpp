#include "tools/builder.h"

#include <utility>

#include "types/tolm_list.h"
#include "util/log.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* SkippedOutputSubject = "Skipping '{}' as match subject: output variable\n";
}

bool isOutput(const Assignment& assignment) { return assignment.modifier == Assignment::OutputModifier; }

// How a target's value fits a reference value. A reference without value
// (every table of the program) is met exactly by a declaration without value
// and partly by any value.
MatchKind compareValues(const TolmValuePtr& targetValue, const TolmValuePtr& reference)
{
    if (!reference) return targetValue ? MatchKind::PartialMatch : MatchKind::ExactMatch;
    if (!targetValue) return MatchKind::PartialMatch;
    return Util::ciEquals(targetValue->toString(), reference->toString()) ? MatchKind::ExactMatch
                                                                          : MatchKind::PartialMatch;
}

std::int32_t weightOf(const ToolVariable& variable, MatchKind kind)
{
    switch (kind) {
    case MatchKind::PartialMatch:
        return variable.partialMatchWeight;
    case MatchKind::ExactMatch:
        return variable.exactMatchWeight;
    default:
        return variable.noMatchWeight;
    }
}

}  // namespace

Builder::Builder(NameMap matchSubjects, ToolVariableMap toolVariables)
    : matchSubjects_(std::move(matchSubjects)), toolVariables_(std::move(toolVariables)) {}

std::string Builder::name() const { return "builder"; }

MatchResult Builder::matchTarget(const Context& target) const
{
    MatchResult result;
    bool everySubjectSet = true;
    // The first subject that fails ends the check.
    for (const auto& [subject, unused] : matchSubjects_) {
        if (!isMatchSubject(target.assignments, subject)) {
            everySubjectSet = false;
            break;
        }
    }
    if (everySubjectSet) result.note = MatchResult::BuildPossible;
    scoreTargetVariables(target.assignments, result);
    return result;
}

void Builder::scoreTargetVariables(const Context::AssignmentMap& targetVariables, MatchResult& result) const
{
    for (const auto& [name, assignment] : targetVariables) {
        VariableMatch match;
        auto subject = matchSubjects_.find(name);
        if (subject != matchSubjects_.end()) {
            match.kind = compareValues(assignment.value, subject->second.value);
            // An output declared without value produces the subject rather
            // than feeding it, so the Builder does not claim it.
            match.claimed = (isOutput(assignment) && !assignment.value) ? 0 : 1;
        } else if (!isOutput(assignment)) {
            auto known = toolVariables_.find(name);
            if (known != toolVariables_.end()) match.kind = compareValues(assignment.value, known->second.defaultValue);
        }
        result.scores.insert_or_assign(name, match);
    }
}

int Builder::scoreMatch(const Context& target, const MatchResult& result) const
{
    int score = 0;
    for (const auto& [name, variable] : toolVariables_) {
        auto assignment = target.assignments.find(name);
        if (assignment == target.assignments.end() || isOutput(assignment->second)) continue;
        auto scored = result.scores.find(name);
        if (scored == result.scores.end()) continue;
        score += weightOf(variable, scored->second.kind);
    }
    return score;
}

bool isMatchSubject(const Context::AssignmentMap& targetVariables, const std::string& name)
{
    auto assignment = targetVariables.find(name);
    if (assignment == targetVariables.end()) return false;
    if (isOutput(assignment->second)) {
        Log::log(4, Messages::SkippedOutputSubject, name);
        return false;
    }
    return true;
}

bool valueMatchesString(const TolmValuePtr& value, const std::string& text)
{
    if (!value) return false;
    if (const auto* list = dynamic_cast<const TolmList*>(value.get())) {
        for (const TolmValuePtr& item : list->items())
            if (valueMatchesString(item, text)) return true;
        return false;
    }
    return Util::ciEquals(value->toString(), text);
}

}  // namespace Tolm
