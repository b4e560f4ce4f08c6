#include "tools/no_tool.h"

#include "tools/tool_tables.h"
#include "types/target_context.h"
#include "types/variable_access.h"

namespace Tolm {

namespace {

constexpr const char* NoToolVariable = "NO_TOOL";

// The match subjects of every NoToolBuilder.
const NameMap& noToolSubjects()
{
    static const NameMap table = makeAssignmentMap({{NoToolVariable, nullptr}});
    return table;
}

// The matcher's base requirements.
const NameMap& noToolRequirements()
{
    static const NameMap table = makeAssignmentMap({{NoToolVariable, nullptr}});
    return table;
}

}  // namespace

std::unique_ptr<Matcher> NoToolMatcher::clone() const { return std::make_unique<NoToolMatcher>(*this); }

MatchResult NoToolMatcher::match(const TargetContext& target) const
{
    MatchResult result;
    if (!hasVariable(target, NoToolVariable)) return result;
    result.note = MatchResult::BuildPossible;
    result.scores[NoToolVariable] = VariableMatch{MatchKind::ExactMatch, 0};
    return result;
}

std::shared_ptr<Builder> NoToolMatcher::selectBuilder(const TargetContext&)
{
    return std::make_shared<NoToolBuilder>();
}

NoToolBuilder::NoToolBuilder() : Builder(noToolSubjects(), {}) {}

std::string NoToolBuilder::name() const { return "no_tool"; }

void NoToolBuilder::prepareOutput(Context&, const std::size_t&) {}

void NoToolBuilder::finishBuild() {}

Context NoToolBuilder::createOutputContext(Context&, int) { return Context{}; }

RecipeSet NoToolBuilder::createRecipes(const TargetContext&) { return RecipeSet{}; }

std::vector<Command> NoToolBuilder::createCommands(Context&) { return {}; }

void registerNoTool()
{
    noToolSubjects();
    noToolRequirements();
    registerMatcherFactory("no_tool", "NULL", [](Util::CiString name, NameMap variables, NameMap required) -> Matcher* {
        return new NoToolMatcher(name.str(), {}, noToolRequirements(), variables, required);
    });
}

}  // namespace Tolm
