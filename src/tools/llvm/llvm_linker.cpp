#include "tools/llvm/llvm_linker.h"

#include <optional>

#include "tools/llvm/llvm_archiver.h"
#include "tools/word_lists.h"
#include "types/target_context.h"
#include "types/variable_access.h"

namespace Tolm {

namespace {

// The variables a link consumes, in command order.
constexpr const char* LinkInputs[] = {"OBJS", "LIB", "LIBPATH", "LINK_FLAGS", "LD_SCRIPT"};
// The link kinds every job must see: the shared ones only for a shared link.
constexpr const char* SharedKinds[] = {"SO", "DLL", "SHARED"};

}  // namespace

std::string LLVM_LD::linkOutputFileName(const std::string& base, const Context& context) const
{
    if (hasVariable(context, "KO")) return withDefaultExtension(base, ".ko");
    if (sharedRequested(context)) return sharedLibraryName(base);
    return withDefaultExtension(base, windows() ? ".exe" : ".elf");
}

Context LLVM_LD::createOutputContext(Context& job, int)
{
    Context outputs;
    const std::string outputName = outputNameOr(job, linkOutputFileName(storedTargetName(), job));
    addOutputVariables(outputs, "BINARY", "BINARY_NAME", storedOutputDirectory(), outputName);
    if (sharedRequested(job))
        addOutputVariables(outputs, sharedPathVariable(), sharedNameVariable(), storedOutputDirectory(), outputName);
    return outputs;
}

bool LLVM_LD::leftToAnotherTool(const Context& target) const
{
    const bool shared = llvmAsksForSharedLibrary(target);
    // Sources of a shared library are compiled and linked by the compiler.
    return shared ? namesSources(target) : isStaticLibraryTarget(target);
}

RecipeSet LLVM_LD::doCreateRecipes(const TargetContext& target) const
{
    const std::filesystem::path directory = outputDirectoryOf(target);
    const std::string outputName = outputNameOr(target, linkOutputFileName(target.name.target, target));
    CachedRecipe recipe;
    for (const char* input : LinkInputs) deriveVariable(target.assignments, input, recipe.inputs, std::nullopt);
    addOutputAssignments(recipe.outputs, "BINARY", "BINARY_NAME", directory, outputName);
    const bool shared = sharedRequested(target);
    if (shared)
        addOutputAssignments(recipe.outputs, sharedPathVariable(), sharedNameVariable(), directory, outputName);

    RecipeSet set;
    if (shared)
        for (const char* kind : SharedKinds) copyBuiltinVariable(target.assignments, kind, set.context);
    copyBuiltinVariable(target.assignments, "KO", set.context);
    set.recipes.push_back(std::move(recipe));
    keepWordsThroughMerge(set, target.assignments, {"LIB", "LINK_FLAGS"});
    return set;
}

std::vector<std::string> LLVM_LD::buildCommandLines(const std::string& targetName, Context& job)
{
    const bool shared = sharedRequested(job);
    const std::string outputName = outputNameOr(job, linkOutputFileName(targetName, job));
    std::string line = quotedExecutable();
    line += getVariableString(job, "OBJS", "", true);
    line += getVariableStrings(job, "LIB", "", true);
    if (msvc()) {
        line += getVariableString(job, "LIBPATH", "/LIBPATH:", true);
        line += getVariableStrings(job, "LINK_FLAGS", "", true);
        if (shared) line += " /DLL";
        line += " /OUT:" + quotedPath(outputName);
    } else {
        line += getVariableString(job, "LIBPATH", "-L", true);
        line += getVariableStrings(job, "LINK_FLAGS", "", true);
        line += getVariableString(job, "LD_SCRIPT", "-T", true);
        if (shared) line += " -shared";
        line += " -o " + quotedPath(outputName);
    }
    return {std::move(line)};
}

}  // namespace Tolm
