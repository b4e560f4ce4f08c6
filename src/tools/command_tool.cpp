#include "tools/command_tool.h"

#include <utility>

#include "tools/tool_tables.h"
#include "types/target_context.h"
#include "types/tolm_base_string.h"
#include "types/tolm_list.h"
#include "types/value_factories.h"
#include "types/variable_access.h"

namespace Tolm {

namespace {

constexpr const char* CommandVariable = "cmdline";
constexpr const char* WorkingDirectoryVariable = "cwd";
constexpr const char* ResultVariable = "result";

// The matcher's base variables.
const NameMap& commandVariables()
{
    static const NameMap table = makeAssignmentMap({{WorkingDirectoryVariable, nullptr}});
    return table;
}

// The matcher's base requirements: a target without `cmdline` never gets
// this tool.
const NameMap& commandRequirements()
{
    static const NameMap table = makeAssignmentMap({{CommandVariable, nullptr}});
    return table;
}

Assignment clonedSet(const Assignment& entry, std::uint32_t modifier)
{
    return Assignment(entry.name, entry.value->clone(), Assignment::AssignType::Set, modifier);
}

}  // namespace

std::unique_ptr<Matcher> BasicMatcher::clone() const { return std::make_unique<BasicMatcher>(*this); }

MatchResult BasicMatcher::match(const TargetContext&) const
{
    MatchResult result;
    result.note = MatchResult::BuildPossible;
    return result;
}

std::shared_ptr<Builder> BasicMatcher::selectBuilder(const TargetContext&)
{
    return std::make_shared<BasicBuilder>(CommandVariable);
}

BasicBuilder::BasicBuilder(std::string commandVariable)
    : Builder(makeAssignmentMap({{commandVariable, nullptr}}), {}), commandVariable(std::move(commandVariable))
{
}

std::string BasicBuilder::name() const { return commandVariable; }

void BasicBuilder::prepareOutput(Context&, const std::size_t&) {}

void BasicBuilder::finishBuild() {}

Context BasicBuilder::createOutputContext(Context&, int exitCode)
{
    this->exitCode = exitCode;
    Context output;
    output.addAssignment(
        Assignment(ResultVariable, makeIntValue(exitCode), Assignment::AssignType::Set, Assignment::NoModifier), 0);
    return output;
}

RecipeSet BasicBuilder::createRecipes(const TargetContext& target)
{
    CachedRecipe recipe;
    std::vector<Assignment> context;
    for (const auto& [key, entry] : target.assignments) {
        if (!entry.value) continue;
        if (entry.modifier == Assignment::OutputModifier)
            recipe.outputs.push_back(clonedSet(entry, Assignment::OutputModifier));
        else if (Util::ciEquals(key, commandVariable) || Util::ciEquals(key, WorkingDirectoryVariable))
            context.push_back(clonedSet(entry, entry.modifier));
        else
            recipe.inputs.push_back(CachedInput{clonedSet(entry, entry.modifier), Assignment{}, false});
    }

    RecipeSet set;
    if (recipe.outputs.empty()) return set;
    set.recipes.push_back(std::move(recipe));
    set.context = std::move(context);
    return set;
}

std::vector<Command> BasicBuilder::createCommands(Context& job)
{
    const TolmValuePtr value = getVariable(job, commandVariable);
    const std::string directory = variableText(job, WorkingDirectoryVariable);

    std::vector<std::string> lines;
    // Raw texts count as texts too: R"(...)" is the natural way to write a
    // shell line full of quotes, and skipping it would report a build that
    // ran nothing as a success.
    if (dynamic_cast<const TolmBaseString*>(value.get())) {
        lines.push_back(value->toString());
    } else if (const auto* list = dynamic_cast<const TolmList*>(value.get())) {
        for (const TolmValuePtr& item : list->items()) lines.push_back(item->toString());
    }

    std::vector<Command> commands;
    for (std::string& line : lines) {
        Command command;
        command.commandLine = std::move(line);
        command.workingDirectory = directory;
        command.kind = commandKind;
        commands.push_back(std::move(command));
    }
    return commands;
}

void registerCommandTool()
{
    // The tables exist before the factory that copies them can run.
    commandVariables();
    commandRequirements();
    registerMatcherFactory("command", "NULL", [](Util::CiString name, NameMap variables, NameMap required) -> Matcher* {
        return new BasicMatcher(name.str(), commandVariables(), commandRequirements(), variables, required);
    });
}

}  // namespace Tolm
