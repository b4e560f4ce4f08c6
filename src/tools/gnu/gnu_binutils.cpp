#include "tools/gnu/gnu_binutils.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "tools/word_lists.h"
#include "types/tolm_exceptions.h"
#include "types/target_context.h"
#include "types/variable_access.h"

namespace Tolm {

namespace fs = std::filesystem;

namespace {

// The output name as the target gives it; an absent one is the target's name.
std::string recipeOutputName(const TargetContext& target)
{
    return variableTextOr(target, "OUTPUT_NAME", target.name.target);
}

const char* linkExtension(bool shared, const Context& context)
{
    if (shared) return ".so";
    return hasVariable(context, "KO") ? ".ko" : ".elf";
}

// One recipe of the named variables, without derived variables.
CachedRecipe recipeOf(const TargetContext& target, std::initializer_list<const char*> names)
{
    CachedRecipe recipe;
    for (const char* name : names) CBuilder::deriveVariable(target.assignments, name, recipe.inputs, std::nullopt);
    return recipe;
}

}  // namespace

MatchResult GNU_AR::matchTarget(const Context& target) const
{
    MatchResult result = GNUTool::matchTarget(target);
    const auto outputName = target.assignments.find("OUTPUT_NAME");
    if (outputName == target.assignments.end()) return result;
    const Assignment& assignment = outputName->second;
    if (assignment.modifier == Assignment::OutputModifier || !assignment.value) return result;
    if (Util::ciEquals(fs::path(assignment.value->toString()).extension().string(), ".a"))
        result.scores["OUTPUT_NAME"].kind = MatchKind::ExactMatch;
    return result;
}

// A shared object is the linker's, whatever else the target says.
bool GNU_AR::leftToAnotherTool(const Context& target) const
{
    return gnuAsksForSharedObject(target);
}

RecipeSet GNU_AR::doCreateRecipes(const TargetContext& target) const
{
    CachedRecipe recipe = recipeOf(target, {"OBJS"});
    addOutputAssignments(recipe.outputs, "LIB", "LIB_NAME", outputDirectoryOf(target),
                         fileNameOr(recipeOutputName(target), target.name.target, ".a"));
    RecipeSet set;
    set.recipes.push_back(std::move(recipe));
    return set;
}

// ar adds to an existing archive, so objects of sources removed since the last
// build would stay in it: every build starts from no archive at all.
void GNU_AR::onOutputPrepared(Context&)
{
    const fs::path archive = storedOutputDirectory() / fileNameOr(storedOutputName(), storedTargetName(), ".a");
    std::error_code error;
    fs::remove(archive, error);
    if (error)
        throw TolmException(fmt::format("Cannot remove the old archive '{}': {}", archive.string(), error.message()));
}

std::vector<std::string> GNU_AR::buildCommandLines(const std::string& targetName, Context& job)
{
    const std::string archive = quotedPath(fileNameOr(storedOutputName(), targetName, ".a"));
    return {quotedExecutable() + " rcs " + archive + getVariableString(job, "OBJS", "", true)};
}

Context GNU_AR::createOutputContext(Context&, int)
{
    Context outputs;
    addOutputVariables(outputs, "lib", "lib_name", storedOutputDirectory(),
                       fileNameOr(storedOutputName(), storedTargetName(), ".a"));
    return outputs;
}

bool GNU_LD::leftToAnotherTool(const Context& target) const
{
    return gnuAsksForSharedObject(target) && namesSources(target);
}

RecipeSet GNU_LD::doCreateRecipes(const TargetContext& target) const
{
    const bool shared = sharedRequested(target);
    RecipeSet set;
    // Every job must see the link kind.
    if (shared)
        for (const char* name : {"SO", "SHARED"}) copyBuiltinVariable(target.assignments, name, set.context);
    copyBuiltinVariable(target.assignments, "KO", set.context);

    CachedRecipe recipe = recipeOf(target, {"OBJS", "LIB", "LIBPATH", "LINK_FLAGS", "LD_SCRIPT"});
    const fs::path directory = outputDirectoryOf(target);
    const std::string output = fileNameOr(recipeOutputName(target), target.name.target, linkExtension(shared, target));
    addOutputAssignments(recipe.outputs, "BINARY", "BINARY_NAME", directory, output);
    if (shared) addOutputAssignments(recipe.outputs, "SO", "SO_NAME", directory, output);
    set.recipes.push_back(std::move(recipe));
    keepWordsThroughMerge(set, target.assignments, {"LIB", "LINK_FLAGS"});
    return set;
}

std::vector<std::string> GNU_LD::buildCommandLines(const std::string& targetName, Context& job)
{
    const bool shared = sharedRequested(job);
    std::string line = quotedExecutable();
    line += getVariableString(job, "OBJS", "", true);
    line += getVariableStrings(job, "LIB", "", true);
    line += getVariableString(job, "LIBPATH", "-L", true);
    line += getVariableStrings(job, "LINK_FLAGS", "", true);
    line += getVariableString(job, "LD_SCRIPT", "-T", true);
    if (shared) line += " -shared ";
    line += " -o " + quotedPath(fileNameOr(storedOutputName(), targetName, linkExtension(shared, job)));
    return {std::move(line)};
}

Context GNU_LD::createOutputContext(Context& job, int)
{
    Context outputs;
    const bool shared = sharedRequested(job);
    const std::string output = fileNameOr(storedOutputName(), storedTargetName(), linkExtension(shared, job));
    if (shared) addOutputVariables(outputs, "so", "so_name", storedOutputDirectory(), output);
    addOutputVariables(outputs, "binary", "binary_name", storedOutputDirectory(), output);
    return outputs;
}

bool GNU_OBJCOPY::leftToAnotherTool(const Context& target) const
{
    return gnuAsksForSharedObject(target);
}

RecipeSet GNU_OBJCOPY::doCreateRecipes(const TargetContext& target) const
{
    CachedRecipe recipe = recipeOf(target, {"INPUT", "OBJCOPY_FLAGS"});
    addOutputAssignments(recipe.outputs, "OUTPUT", "OUTPUT_NAME", outputDirectoryOf(target),
                         recipeOutputName(target));
    RecipeSet set;
    set.recipes.push_back(std::move(recipe));
    keepWordsThroughMerge(set, target.assignments, {"OBJCOPY_FLAGS"});
    return set;
}

std::vector<std::string> GNU_OBJCOPY::buildCommandLines(const std::string&, Context& job)
{
    return {quotedExecutable() + getVariableStrings(job, "OBJCOPY_FLAGS", "", false) +
            getVariableString(job, "INPUT", "", true) + " " + quotedPath(storedOutputName())};
}

Context GNU_OBJCOPY::createOutputContext(Context&, int)
{
    Context outputs;
    addOutputVariables(outputs, "output", "output_name", storedOutputDirectory(), storedOutputName());
    return outputs;
}

}  // namespace Tolm
