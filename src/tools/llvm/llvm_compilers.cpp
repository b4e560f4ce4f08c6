#include "tools/llvm/llvm_compilers.h"

#include <memory>
#include <optional>

#include "tools/word_lists.h"
#include "types/target_context.h"
#include "types/tolm_list.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* ObjectsIgnored = "OBJS were passed to '{}', but target uses -c.\n";
}  // namespace Messages

bool compilesOnly(const Context& context) { return hasCompileOnlyFlag(variableText(context, "C_FLAGS")); }

// The link kinds every job must see.
constexpr const char* SharedSelectors[] = {"SO", "DLL", "SHARED"};

// The variables a compile-and-link recipe consumes, in command order; none of
// them gets an intermediate.
constexpr const char* LinkInputs[] = {"OBJS", "C_FILES", "CPP_FILES", "LIB", "LD_SCRIPT"};

}  // namespace

RecipeSet LLVMTool::createCompilerRecipes(const TargetContext& target) const
{
    const VariableMap& variables = target.assignments;
    const std::filesystem::path directory = outputDirectoryOf(target);
    RecipeSet set;
    for (const char* setting : {"C_DEFINES", "C_FLAGS", "INCLUDE"}) copyBuiltinVariable(variables, setting, set.context);

    if (compilesOnly(target)) {
        collectObjects(variables, "C_FILES", directory, set.recipes);
        collectObjects(variables, "CPP_FILES", directory, set.recipes);
    } else {
        for (const char* setting : {"LINK_FLAGS", "LIBPATH"}) copyBuiltinVariable(variables, setting, set.context);
        if (linksShared(target))
            for (const char* selector : SharedSelectors) copyBuiltinVariable(variables, selector, set.context);
        CachedRecipe recipe;
        for (const char* input : LinkInputs) deriveVariable(variables, input, recipe.inputs, std::nullopt);
        const std::string outputName = linkedFileName(target.name.target, target);
        addOutputAssignments(recipe.outputs, "BINARY", "BINARY_NAME", directory, outputName);
        if (linksShared(target))
            addOutputAssignments(recipe.outputs, sharedPathVariable(), sharedNameVariable(), directory, outputName);
        set.recipes.push_back(std::move(recipe));
    }
    keepWordsThroughMerge(set, variables, {"C_DEFINES", "LIB", "LINK_FLAGS"});
    return set;
}

std::int64_t LLVMTool::compileOnlyJobLimit(const TargetContext& target) const { return compilesOnly(target) ? -1 : 1; }

std::string LLVMTool::buildClangCommand(const std::string& targetName, const Context& job, bool withCppFiles) const
{
    std::string line = quotedExecutable();
    if (!toolchain().target.text.empty()) line += " --target=" + toolchain().target.text;
    const std::string flags = variableText(job, "C_FLAGS");
    if (!flags.empty()) line += " " + flags;
    line += getVariableString(job, "C_FILES", "", true);
    if (withCppFiles) line += getVariableString(job, "CPP_FILES", "", true);
    line += getVariableStrings(job, "C_DEFINES", "-D", false);
    line += getVariableString(job, "INCLUDE", "-I", true);
    if (hasCompileOnlyFlag(flags)) {
        if (hasVariable(job, "OBJS")) Log::log(Log::Warning, Messages::ObjectsIgnored, targetName);
    } else {
        line += getVariableString(job, "OBJS", "", true);
        line += getVariableString(job, "LD_SCRIPT", "-T", true);
        line += " -fuse-ld=lld";
        if (linksShared(job)) line += " -shared";
        line += " -o " + quotedPath(linkedFileName(targetName, job));
    }
    line += getVariableStrings(job, "LIB", "", true);
    line += getVariableString(job, "LIBPATH", "-L", true);
    line += getVariableStrings(job, "LINK_FLAGS", "-Wl,", true);
    return line;
}

Context LLVMTool::declareCompilerOutputs(const Context& job) const
{
    Context outputs;
    std::vector<TolmValuePtr> objects;
    appendObjectValues(job.assignments, "C_FILES", storedOutputDirectory(), objects);
    appendObjectValues(job.assignments, "CPP_FILES", storedOutputDirectory(), objects);
    outputs.addAssignment(
        Assignment("OBJS", std::make_shared<TolmList>(std::move(objects)), Assignment::AssignType::Set, 0), 0);
    if (compilesOnly(job)) return outputs;

    const std::string outputName = linkedFileName(storedTargetName(), job);
    addOutputVariables(outputs, "BINARY", "BINARY_NAME", storedOutputDirectory(), outputName);
    if (!windows()) addOutputVariables(outputs, "ELF", "ELF_NAME", storedOutputDirectory(), outputName);
    if (linksShared(job))
        addOutputVariables(outputs, sharedPathVariable(), sharedNameVariable(), storedOutputDirectory(), outputName);
    return outputs;
}

bool LLVMTool::linksShared(const Context& context) const
{
    return !compilesOnly(context) && sharedRequested(context);
}

std::string LLVMTool::linkedFileName(const std::string& targetName, const Context& context) const
{
    return outputNameOr(context, linksShared(context) ? sharedLibraryName(targetName) : defaultBinaryName(targetName));
}

template <bool CPlusPlus>
Context LLVMCompiler<CPlusPlus>::createOutputContext(Context& job, int)
{
    return declareCompilerOutputs(job);
}

template <bool CPlusPlus>
MatchResult LLVMCompiler<CPlusPlus>::matchTarget(const Context& target) const
{
    MatchResult result;
    // clang looks at C++ sources only for a target with C sources.
    const bool accepted = CPlusPlus ? isMatchSubject(target.assignments, "CPP_FILES")
                                    : isMatchSubject(target.assignments, "C_FILES") &&
                                          !isMatchSubject(target.assignments, "CPP_FILES");
    if (accepted) result.note = MatchResult::BuildPossible;
    scoreTargetVariables(target.assignments, result);
    return result;
}

template <bool CPlusPlus>
RecipeSet LLVMCompiler<CPlusPlus>::doCreateRecipes(const TargetContext& target) const
{
    return createCompilerRecipes(target);
}

template <bool CPlusPlus>
std::int64_t LLVMCompiler<CPlusPlus>::maxParallelJobs(const TargetContext& target, const RecipeSet&) const
{
    return compileOnlyJobLimit(target);
}

template <bool CPlusPlus>
std::vector<std::string> LLVMCompiler<CPlusPlus>::buildCommandLines(const std::string& targetName, Context& job)
{
    return {buildClangCommand(targetName, job, CPlusPlus)};
}

template class LLVMCompiler<false>;
template class LLVMCompiler<true>;

}  // namespace Tolm
