#include "tools/gnu/gnu_compilers.h"

#include <memory>
#include <optional>
#include <utility>

#include "tools/word_lists.h"
#include "types/target_context.h"
#include "types/tolm_list.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* ObjsWithCompileOnly = "OBJS were passed to '{}', but target uses -c.\n";
}  // namespace Messages

bool compileOnly(const Context& context) { return gnuHasCompileOnlyFlag(variableText(context, "C_FLAGS")); }

}  // namespace

GNUCompiler::GNUCompiler(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
                         std::filesystem::path executable, bool compilesCpp)
    : GNUTool(std::move(matchSubjects), std::move(toolVariables), std::move(toolchain), std::move(executable)),
      compilesCpp_(compilesCpp)
{
}

MatchResult GNUCompiler::matchTarget(const Context& target) const
{
    MatchResult result;
    std::vector<const char*> subjects{"C_FILES", "OBJS"};
    if (compilesCpp_) subjects.insert(subjects.begin(), "CPP_FILES");
    for (const char* subject : subjects) {
        if (isMatchSubject(target.assignments, subject)) {
            result.note = MatchResult::BuildPossible;
            break;
        }
    }
    // Objects alone that make a shared object are the linker's.
    if (gnuAsksForSharedObject(target) && !namesSources(target)) result.note = MatchResult::BuildImpossible;
    scoreTargetVariables(target.assignments, result);
    return result;
}

std::int64_t GNUCompiler::maxParallelJobs(const TargetContext& target, const RecipeSet&) const
{
    return compileOnly(target) ? -1 : 1;
}

RecipeSet GNUCompiler::doCreateRecipes(const TargetContext& target) const
{
    const VariableMap& variables = target.assignments;
    const std::filesystem::path directory = outputDirectoryOf(target);
    RecipeSet set;
    for (const char* name : {"C_DEFINES", "C_FLAGS", "INCLUDE"}) copyBuiltinVariable(variables, name, set.context);

    if (compileOnly(target)) {
        collectObjects(variables, "C_FILES", directory, set.recipes);
        collectObjects(variables, "CPP_FILES", directory, set.recipes);
    } else {
        copyBuiltinVariable(variables, "LINK_FLAGS", set.context);
        copyBuiltinVariable(variables, "LIBPATH", set.context);
        // Every job must see the link kind.
        if (linksShared(target))
            for (const char* name : {"SO", "SHARED"}) copyBuiltinVariable(variables, name, set.context);
        CachedRecipe recipe;
        for (const char* name : {"OBJS", "C_FILES", "CPP_FILES", "LIB", "LD_SCRIPT"})
            deriveVariable(variables, name, recipe.inputs, std::nullopt);
        const std::string outputName =
            linkedFileName(variableTextOr(variables, "OUTPUT_NAME", target.name.target), target.name.target, target);
        addOutputAssignments(recipe.outputs, "BINARY", "BINARY_NAME", directory, outputName);
        if (linksShared(target)) addOutputAssignments(recipe.outputs, "SO", "SO_NAME", directory, outputName);
        set.recipes.push_back(std::move(recipe));
    }
    keepWordsThroughMerge(set, variables, {"C_DEFINES", "LIB", "LINK_FLAGS"});
    return set;
}

std::vector<std::string> GNUCompiler::buildCommandLines(const std::string& targetName, Context& job)
{
    std::string line = quotedExecutable();
    const std::string flags = variableText(job, "C_FLAGS");
    if (!flags.empty()) line += " " + flags;
    line += getVariableString(job, "C_FILES", "", true);
    if (compilesCpp_) line += getVariableString(job, "CPP_FILES", "", true);
    line += getVariableStrings(job, "C_DEFINES", "-D", false);
    line += getVariableString(job, "INCLUDE", "-I", true);
    if (gnuHasCompileOnlyFlag(flags)) {
        if (hasVariable(job, "OBJS")) Log::log(LogLevel::Warning, Messages::ObjsWithCompileOnly, targetName);
    } else {
        line += getVariableString(job, "OBJS", "", true);
        line += getVariableString(job, "LD_SCRIPT", "-T", true);
        if (linksShared(job)) line += " -shared";
        line += " -o " + quotedPath(linkedFileName(storedOutputName(), targetName, job));
    }
    line += getVariableStrings(job, "LIB", "", true);
    line += getVariableString(job, "LIBPATH", "-Wl,-L", true);
    line += getVariableStrings(job, "LINK_FLAGS", "-Wl,", true);
    return {std::move(line)};
}

Context GNUCompiler::createOutputContext(Context& job, int)
{
    Context outputs;
    const std::filesystem::path& directory = storedOutputDirectory();
    std::vector<TolmValuePtr> objects;
    appendObjectValues(job.assignments, "C_FILES", directory, objects);
    if (compilesCpp_) appendObjectValues(job.assignments, "CPP_FILES", directory, objects);
    outputs.addAssignment(
        Assignment("objs", std::make_shared<TolmList>(std::move(objects)), Assignment::AssignType::Set, 0), 0);
    if (!compileOnly(job)) {
        const std::string outputName = linkedFileName(storedOutputName(), storedTargetName(), job);
        if (linksShared(job)) addOutputVariables(outputs, "so", "so_name", directory, outputName);
        addOutputVariables(outputs, "elf", "elf_name", directory, outputName);
        addOutputVariables(outputs, "binary", "binary_name", directory, outputName);
    }
    return outputs;
}

bool GNUCompiler::linksShared(const Context& context) const
{
    return !compileOnly(context) && sharedRequested(context);
}

std::string GNUCompiler::linkedFileName(const std::string& outputName, const std::string& targetName,
                                        const Context& context) const
{
    return linksShared(context) ? fileNameOr(outputName, targetName, ".so") : outputNameOr(outputName, targetName);
}

GNU_GCC::GNU_GCC(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
                 std::filesystem::path executable)
    : GNUCompiler(std::move(matchSubjects), std::move(toolVariables), std::move(toolchain), std::move(executable),
                  false)
{
}

GNU_GPP::GNU_GPP(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
                 std::filesystem::path executable)
    : GNUCompiler(std::move(matchSubjects), std::move(toolVariables), std::move(toolchain), std::move(executable),
                  true)
{
}

}  // namespace Tolm
