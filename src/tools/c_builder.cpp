#include "tools/c_builder.h"

#include <exception>
#include <memory>
#include <string_view>
#include <unordered_map>

#include <fmt/format.h>

#include "types/target_context.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/value_casts.h"
#include "types/value_factories.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* NoTarget = "no_target";
constexpr const char* OutputDir = "Output dir: {}\n";
constexpr const char* ObjectClash =
    "Sources '{}' and '{}' would both be compiled to '{}'; rename one of them or put them in separate targets.";
}  // namespace Messages

constexpr const char* ObjectsVariable = "OBJS";

// The variables every C-family recipe set hands on to dependent targets.
constexpr const char* BuiltinVariables[] = {"PROJECT_ROOT", "OUTPUT_NAME", "OUTPUT_DIR", "OUTPUT_DEF_DIR", "PROFILE"};

// An absolute text without empty, "." or ".." components and without a
// trailing separator: absolute() and lexically_normal() give it back as it is.
bool isNormalAbsolute(std::string_view text)
{
    if (text.size() < 2 || text.front() != '/' || text.back() == '/') return false;
    for (std::size_t begin = 1; begin <= text.size();) {
        std::size_t end = text.find('/', begin);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = text.substr(begin, end - begin);
        if (part.empty() || part == "." || part == "..") return false;
        begin = end + 1;
    }
    return true;
}

std::string comparablePath(const std::string& text)
{
    // Sources and objects are nearly always written this way already; the
    // library's path operations cost more than the rest of the recipe.
    if (isNormalAbsolute(text)) return text;
    return std::filesystem::absolute(std::filesystem::path(text)).lexically_normal().string();
}

// The object files named so far for one target and the source each came from.
// Listing one source twice is harmless; two different sources are not.
class ObjectClaims {
public:
    void claim(const std::string& source, const std::string& object)
    {
        const auto [entry, inserted] = claims_.try_emplace(comparablePath(object), source);
        if (inserted || comparablePath(entry->second) == comparablePath(source)) return;
        throw TolmException(fmt::format(Messages::ObjectClash, entry->second, source, object));
    }

    bool empty() const { return claims_.empty(); }

    // Claims the pairs of a recipe entry made before: its sources pair with
    // its derived items by position.
    void claimEntry(const CachedInput& entry)
    {
        const std::vector<TolmValuePtr> sources = flattenValue(entry.input.value);
        const std::vector<TolmValuePtr> derived = flattenValue(entry.intermediate.value);
        for (std::size_t i = 0; i < derived.size(); ++i) {
            // A transform that dropped items breaks the pairing; the variable's
            // name then stands for the source.
            const std::string source = sources.size() == derived.size() ? sources[i]->toString() : entry.input.name;
            claim(source, derived[i]->toString());
        }
    }

private:
    std::unordered_map<std::string, std::string> claims_;
};

// The target as the walk evaluates it next: its conditional blocks applied
// to a copy, the target itself untouched.
std::shared_ptr<TargetContext> withConditionsApplied(const TargetContext& target)
{
    auto evaluated = std::make_shared<TargetContext>(target);
    evaluated->evaluateConditions();
    return evaluated;
}

std::string sourceText(const CachedRecipe& recipe)
{
    return recipe.inputs.empty() || !recipe.inputs.front().input.value
               ? std::string()
               : recipe.inputs.front().input.value->toString();
}

void collectLeaves(const TolmValuePtr& value, std::vector<TolmValuePtr>& leaves)
{
    if (!value) return;
    const auto* list = valueAs<TolmList>(value.get());
    if (!list) {
        leaves.push_back(value);
        return;
    }
    for (const TolmValuePtr& item : list->items()) collectLeaves(item, leaves);
}

// One item, or a list of them (empty when there are none).
TolmValuePtr singleOrList(std::vector<TolmValuePtr> items)
{
    if (items.size() == 1) return std::move(items.front());
    return std::make_shared<TolmList>(std::move(items));
}

}  // namespace

std::vector<TolmValuePtr> flattenValue(const TolmValuePtr& value)
{
    std::vector<TolmValuePtr> leaves;
    collectLeaves(value, leaves);
    return leaves;
}

std::string objectPath(const std::string& source, const std::filesystem::path& directory, const std::string& suffix)
{
    // The plain case by hand: an absolute directory and a file name that
    // neither starts with a dot nor is missing. Everything else goes the
    // library's way, which the plain case must agree with.
    const std::string& base = directory.native();
    const std::size_t slash = source.rfind('/');
    const std::string_view name = std::string_view(source).substr(slash == std::string::npos ? 0 : slash + 1);
    if (!base.starts_with('/') || name.empty() || name.front() == '.') {
        std::filesystem::path object = directory / std::filesystem::path(source).filename();
        object.replace_extension(suffix);
        return std::filesystem::absolute(object).string();
    }
    const std::size_t dot = name.rfind('.');
    std::string object = base;
    if (!object.ends_with('/')) object += '/';
    object += name.substr(0, dot);
    if (!suffix.empty() && suffix.front() != '.') object += '.';
    object += suffix;
    return object;
}

std::string instanceSuffix(const TargetContext& target)
{
    const std::string hash = target.instanceHash();
    return hash.empty() ? std::string() : "@" + hash;
}

bool asksForSharedLibrary(const Context& target, std::initializer_list<const char*> selectors)
{
    for (const char* name : selectors) {
        if (!hasVariable(target, name)) continue;
        if (!valueAs<TolmContext>(getVariable(target, name).get())) return true;
    }
    return false;
}

bool namesSources(const Context& target)
{
    for (const char* name : {"C_FILES", "CPP_FILES"})
        if (hasVariable(target, name) && variableModifier(target, name) != Assignment::OutputModifier) return true;
    return false;
}

CBuilder::CBuilder(NameMap matchSubjects, ToolVariableMap toolVariables)
    : Builder(std::move(matchSubjects), std::move(toolVariables))
{
}

void CBuilder::prepareOutput(Context& firstJob, const std::size_t& jobCount)
{
    jobCount_ = jobCount;
    setOutputDirectory(firstJob);
    Log::log(LogLevel::Info, Messages::OutputDir, outputDirectory_.string());
    std::filesystem::create_directories(outputDirectory_);
    onOutputPrepared(firstJob);
}

void CBuilder::finishBuild()
{
    doFinishBuild();
    jobCount_ = 1;
}

MatchResult CBuilder::matchTarget(const Context& target) const
{
    MatchResult result = Builder::matchTarget(target);
    if (leftToAnotherTool(target)) result.note = MatchResult::BuildImpossible;
    return result;
}

RecipeSet CBuilder::createRecipes(const TargetContext& target)
{
    RecipeSet set = doCreateRecipes(target);
    for (const char* name : BuiltinVariables) copyBuiltinVariable(target.assignments, name, set.context);
    set.maxParallelJobs = maxParallelJobs(target, set);
    return set;
}

void CBuilder::chosenFor(const TargetContext& target)
{
    bool asked = readSharedRequest(target);
    if (!asked && !target.conditions.empty()) {
        // A condition that cannot be evaluated fails the walk with its own
        // message right after this; the answer is never read then.
        try {
            asked = readSharedRequest(*withConditionsApplied(target));
        } catch (const std::exception&) {
        }
    }
    sharedRequests_.insert_or_assign(target.instanceName(), asked);
}

bool CBuilder::readSharedRequest(const Context&) const { return false; }

bool CBuilder::sharedRequested(const Context& context) const
{
    if (const auto* target = dynamic_cast<const TargetContext*>(&context)) {
        const auto noted = sharedRequests_.find(target->instanceName());
        if (noted != sharedRequests_.end()) return noted->second;
    }
    return readSharedRequest(context);
}

std::vector<Command> CBuilder::createCommands(Context& job)
{
    std::vector<Command> commands;
    for (std::string& line : buildCommandLines(targetName_, job)) {
        Command command;
        command.commandLine = std::move(line);
        command.workingDirectory = outputDirectory_;
        commands.push_back(std::move(command));
    }
    return commands;
}

std::int64_t CBuilder::maxParallelJobs(const TargetContext&, const RecipeSet&) const { return 1; }

void CBuilder::onOutputPrepared(Context&) {}

void CBuilder::doFinishBuild() {}

std::string CBuilder::objectFileSuffix() const { return ".o"; }

bool CBuilder::leftToAnotherTool(const Context&) const { return false; }

void CBuilder::setOutputDirectory(const Context& recipeContext)
{
    QualifiedTargetName name;
    std::string targetName = Messages::NoTarget;
    std::string suffix;
    if (const auto* target = dynamic_cast<const TargetContext*>(&recipeContext)) {
        name = target->name;
        targetName = name.target;
        suffix = instanceSuffix(*target);
    }
    outputName_ = variableTextOr(recipeContext.assignments, "OUTPUT_NAME", targetName);
    targetName_ = targetName;
    outputDirectory_ = outputDirectory(recipeContext, recipeContext.assignments, name, targetName, suffix);
}

std::filesystem::path CBuilder::outputDirectory(const Context&, const VariableMap& variables,
                                                const QualifiedTargetName& name, const std::string& targetName,
                                                const std::string& instanceSuffix) const
{
    const std::string outputDir = variableText(variables, "OUTPUT_DIR");
    if (!outputDir.empty()) return outputDir;

    const TolmValuePtr root = getVariable(variables, "PROJECT_ROOT");
    // An empty component adds nothing between its neighbours; an absolute one
    // (OUTPUT_DEF_DIR) replaces everything before it.
    std::filesystem::path directory = root ? root->toString() : std::string();
    directory /= variableText(variables, "OUTPUT_DEF_DIR");
    directory /= toolchainId();
    directory /= variableText(variables, "PROFILE");
    directory /= name.ns;
    directory /= name.unit;
    directory /= targetName + instanceSuffix;
    return directory;
}

std::filesystem::path CBuilder::outputDirectoryOf(const TargetContext& target) const
{
    return outputDirectory(target, target.assignments, target.name, target.name.target, instanceSuffix(target));
}

std::vector<CBuilder::ObjectPair> CBuilder::objectPathsForSource(const TolmValuePtr& sources,
                                                                 const std::filesystem::path& directory,
                                                                 bool checkClashes) const
{
    std::vector<ObjectPair> pairs;
    ObjectClaims claims;
    const std::string suffix = objectFileSuffix();
    for (const TolmValuePtr& item : flattenValue(sources)) {
        const std::string source = item->toString();
        std::string objectText = objectPath(source, directory, suffix);
        if (checkClashes) claims.claim(source, objectText);
        pairs.emplace_back(item, makePathStringValue(std::move(objectText)));
    }
    return pairs;
}

void CBuilder::appendObjectValues(const VariableMap& variables, const std::string& sourceName,
                                  const std::filesystem::path& directory, std::vector<TolmValuePtr>& objects) const
{
    if (!hasVariable(variables, sourceName)) return;
    const TolmValuePtr sources = getVariable(variables, sourceName);
    if (!sources) return;
    for (ObjectPair& pair : objectPathsForSource(sources, directory, false)) objects.push_back(std::move(pair.second));
}

std::string CBuilder::outputFileName(const std::string& name)
{
    const std::string fileName = std::filesystem::path(name).filename().string();
    return fileName.empty() ? name : fileName;
}

namespace {

std::pair<TolmValuePtr, TolmValuePtr> outputValues(const std::filesystem::path& directory,
                                                   const std::string& outputName)
{
    return {std::make_shared<TolmPathString>(outputName, directory),
            makeStringValue(CBuilder::outputFileName(outputName))};
}

}  // namespace

void CBuilder::addOutputAssignments(std::vector<Assignment>& outputs, const std::string& pathName,
                                    const std::string& nameName, const std::filesystem::path& directory,
                                    const std::string& outputName)
{
    auto [path, name] = outputValues(directory, outputName);
    outputs.emplace_back(pathName, std::move(path), Assignment::AssignType::Set, Assignment::OutputModifier);
    outputs.emplace_back(nameName, std::move(name), Assignment::AssignType::Set, Assignment::OutputModifier);
}

void CBuilder::addOutputVariables(Context& context, const std::string& pathName, const std::string& nameName,
                                  const std::filesystem::path& directory, const std::string& outputName)
{
    auto [path, name] = outputValues(directory, outputName);
    context.addAssignment(Assignment(pathName, std::move(path), Assignment::AssignType::Set, 0), 0);
    context.addAssignment(Assignment(nameName, std::move(name), Assignment::AssignType::Set, 0), 0);
}

void CBuilder::copyBuiltinVariable(const VariableMap& variables, const std::string& name,
                                   std::vector<Assignment>& outputs)
{
    if (!hasVariable(variables, name)) return;
    const TolmValuePtr value = getVariable(variables, name);
    if (value)
        outputs.emplace_back(name, value->clone(), Assignment::AssignType::Set, variableModifier(variables, name));
    else
        outputs.emplace_back(name, nullptr, Assignment::AssignType::Declare, variableModifier(variables, name));
}

void CBuilder::deriveVariable(const VariableMap& variables, const std::string& sourceName,
                              std::vector<CachedInput>& inputs, const std::optional<DerivedVariable>& derived)
{
    if (!hasVariable(variables, sourceName)) return;
    const TolmValuePtr value = getVariable(variables, sourceName);
    if (!value) return;

    std::vector<TolmValuePtr> items;
    for (const TolmValuePtr& item : flattenValue(value)) items.push_back(item->clone());
    const std::uint32_t modifier = variableModifier(variables, sourceName);

    CachedInput entry;
    if (derived) {
        // The derived items of earlier entries count too: C and C++ sources
        // of one target derive their objects into the same variable.
        ObjectClaims claims;
        for (const CachedInput& earlier : inputs)
            if (earlier.hasIntermediate() && Util::ciEquals(earlier.intermediate.name, derived->name))
                claims.claimEntry(earlier);
        std::vector<TolmValuePtr> results;
        for (const TolmValuePtr& item : items) {
            TolmValuePtr result = derived->transform(item);
            if (!result) continue;
            claims.claim(item->toString(), result->toString());
            results.push_back(std::move(result));
        }
        if (!results.empty())
            entry.intermediate =
                Assignment(derived->name, singleOrList(std::move(results)), Assignment::AssignType::Set, modifier);
    }
    entry.input = Assignment(sourceName, singleOrList(std::move(items)), Assignment::AssignType::Set, modifier);
    inputs.push_back(std::move(entry));
}

void CBuilder::collectObjects(const VariableMap& variables, const std::string& sourceName,
                              const std::filesystem::path& directory, std::vector<CachedRecipe>& recipes) const
{
    if (!hasVariable(variables, sourceName)) return;
    const TolmValuePtr value = getVariable(variables, sourceName);
    if (!value) return;

    // Objects of the recipes made before, e.g. C++ sources after C sources.
    ObjectClaims claims;
    for (const CachedRecipe& recipe : recipes)
        for (const Assignment& output : recipe.outputs)
            if (output.value && Util::ciEquals(output.name, ObjectsVariable))
                claims.claim(sourceText(recipe), output.value->toString());
    // The new pairs clash with none of each other (objectPathsForSource saw to
    // that), so without earlier objects there is nothing left to check.
    const bool checkClaims = !claims.empty();

    const std::uint32_t modifier = variableModifier(variables, sourceName);
    std::vector<ObjectPair> pairs = objectPathsForSource(value, directory);
    recipes.reserve(recipes.size() + pairs.size());
    for (auto& [item, object] : pairs) {
        if (!item || !object) continue;
        if (checkClaims) claims.claim(item->toString(), object->toString());
        CachedRecipe recipe;
        CachedInput entry;
        entry.input = Assignment(sourceName, item->clone(), Assignment::AssignType::Set, modifier);
        recipe.inputs.push_back(std::move(entry));
        recipe.outputs.emplace_back(ObjectsVariable, std::move(object), Assignment::AssignType::Set,
                                    Assignment::OutputModifier);
        recipes.push_back(std::move(recipe));
    }
}

}  // namespace Tolm
