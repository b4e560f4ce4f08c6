// Tool selection: every registered matcher is scored against a target and the
// best possible one builds it. A matcher whose required variables (those
// without a default value) the target does not set is never asked. The score
// adds the matcher's own verdicts to a generic one: each target variable the
// matcher knows counts as an exact match when it holds the matcher's default
// value and as a partial match otherwise. Ties go to the first name in
// case-insensitive order, which is the order of the tool map.
//
// The registry's tools stand in for a project that names none: a toolchain
// found once on the machine must not take over from the one a project names.
// So when a tool of the project tree can build the target, the registry's
// tools take no part; the built-in tools always do.

#include <utility>
#include <vector>

#include <fmt/format.h>

#include "tolm_app.h"
#include "tools/matcher.h"
#include "types/target_context.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Note = "{}::match - result.note: {}\n";
constexpr const char* Exact = "{}::match - ExactMatch: key='{}' value='{}'\n";
constexpr const char* NoMatch = "{}::match - NoMatch: key='{}'\n";
constexpr const char* Partial = "{}::match - PartialMatch: key='{}'\n";
constexpr const char* Best = "Best registered tool: {}, score: {}\n";
constexpr const char* PassedOver =
    "Registry tool {} (score {}) passed over: a tool of the project can build this target.\n";
constexpr const char* Header = "Tool selection\n--------------\n";
constexpr const char* Registered = "Registered : {}\n";
constexpr const char* Tool = "Tool       : {}\n";
constexpr const char* Reason = "Reason     :\n";
constexpr const char* Variable = "  - {} {}\n";
constexpr const char* Nothing = "  - no matched variables\n";
}  // namespace Messages

bool setsRequiredVariables(const Tolm::Matcher& matcher, const Tolm::TargetContext& target) {
    for (const auto& [name, requirement] : matcher.required)
        if (!requirement.value && !Tolm::hasVariable(target, name)) return false;
    return true;
}

// Scores the target's variables that the matcher knows and the matcher's own
// verdict left unscored.
void scoreKnownVariables(const Tolm::Matcher& matcher, const Tolm::TargetContext& target, Tolm::MatchResult& result) {
    for (const auto& [name, assignment] : target.assignments) {
        auto known = matcher.variables.find(name);
        if (known == matcher.variables.end()) continue;
        Tolm::VariableMatch& entry = result.scores[name];
        if (entry.kind != Tolm::MatchKind::NoMatch) continue;
        const Tolm::TolmValuePtr& fallback = known->second.value;
        if (assignment.value && fallback && assignment.value->equals(*fallback)) {
            entry.kind = Tolm::MatchKind::ExactMatch;
            Log::log(0, fmt::runtime(Messages::Exact), matcher.name, assignment.name, assignment.value->toString());
        } else if (assignment.modifier == Tolm::Assignment::OutputModifier && !assignment.value) {
            entry.kind = Tolm::MatchKind::NoMatch;
            Log::log(0, fmt::runtime(Messages::NoMatch), matcher.name, assignment.name);
        } else {
            entry.kind = Tolm::MatchKind::PartialMatch;
            Log::log(0, fmt::runtime(Messages::Partial), matcher.name, assignment.name);
        }
    }
}

}  // namespace

Tolm::Matcher* TolmApplication::SelectTool(const Tolm::TargetContext& target) {
    struct Choice {
        Tolm::Matcher* matcher = nullptr;
        int score = -1;
        void offer(Tolm::Matcher* candidate, int candidateScore) {
            if (candidateScore <= score) return;
            matcher = candidate;
            score = candidateScore;
        }
    };
    Choice any;          // among every tool
    Choice notRegistry;  // among the built-in and project tools
    bool projectCanBuild = false;
    std::vector<std::pair<Tolm::Matcher*, int>> registryCandidates;
    for (const auto& [toolName, matcher] : tools) {
        if (!matcher) continue;
        Tolm::MatchResult result;
        if (setsRequiredVariables(*matcher, target)) result = matcher->match(target);
        const bool possible = result.possible();
        Log::log(0, fmt::runtime(Messages::Note), matcher->name, possible ? "BuildPossible" : "BuildImpossible");
        scoreKnownVariables(*matcher, target, result);

        int score = 0;
        for (const auto& [name, entry] : result.scores) {
            switch (entry.kind) {
            case Tolm::MatchKind::ExactMatch: score += exactMatchScore; break;
            case Tolm::MatchKind::PartialMatch: score += partialMatchScore; break;
            case Tolm::MatchKind::NoMatch: score += noMatchScore; break;
            default: break;
            }
        }
        if (!possible) continue;
        any.offer(matcher.get(), score);
        if (registryTools.count(toolName)) {
            registryCandidates.emplace_back(matcher.get(), score);
            continue;
        }
        notRegistry.offer(matcher.get(), score);
        if (projectTools.count(toolName)) projectCanBuild = true;
    }
    const Choice& best = projectCanBuild ? notRegistry : any;
    if (projectCanBuild)
        for (const auto& [matcher, score] : registryCandidates)
            Log::log(3, fmt::runtime(Messages::PassedOver), matcher->name, score);
    if (best.matcher) Log::log(3, fmt::runtime(Messages::Best), best.matcher->name, best.score);
    return best.matcher;
}

void TolmApplication::PrintToolSelection(const Tolm::Matcher& matcher, const Tolm::Builder& builder,
                                         const Tolm::MatchResult& result) const {
    Log::log(3, fmt::runtime(Messages::Header));
    Log::log(3, fmt::runtime(Messages::Registered), matcher.name);
    Log::log(3, fmt::runtime(Messages::Tool), builder.name());
    Log::log(3, fmt::runtime(Messages::Reason));
    bool any = false;
    for (const auto& [name, entry] : result.scores) {
        if (entry.kind == Tolm::MatchKind::NoMatch) continue;
        Log::log(3, fmt::runtime(Messages::Variable), name,
                 entry.kind == Tolm::MatchKind::ExactMatch ? "full match" : "partial match");
        any = true;
    }
    if (!any) Log::log(3, fmt::runtime(Messages::Nothing));
}
