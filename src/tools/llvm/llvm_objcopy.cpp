#include "tools/llvm/llvm_objcopy.h"

#include <optional>

#include "tools/word_lists.h"
#include "types/target_context.h"
#include "types/variable_access.h"

namespace Tolm {

Context LLVM_OBJCOPY::createOutputContext(Context&, int)
{
    Context outputs;
    addOutputVariables(outputs, "OUTPUT", "OUTPUT_NAME", storedOutputDirectory(), storedOutputName());
    return outputs;
}

bool LLVM_OBJCOPY::leftToAnotherTool(const Context& target) const
{
    return llvmAsksForSharedLibrary(target);
}

RecipeSet LLVM_OBJCOPY::doCreateRecipes(const TargetContext& target) const
{
    CachedRecipe recipe;
    for (const char* input : {"INPUT", "OBJCOPY_FLAGS"})
        deriveVariable(target.assignments, input, recipe.inputs, std::nullopt);
    addOutputAssignments(recipe.outputs, "OUTPUT", "OUTPUT_NAME", outputDirectoryOf(target),
                         variableTextOr(target, "OUTPUT_NAME", target.name.target));
    RecipeSet set;
    set.recipes.push_back(std::move(recipe));
    keepWordsThroughMerge(set, target.assignments, {"OBJCOPY_FLAGS"});
    return set;
}

std::vector<std::string> LLVM_OBJCOPY::buildCommandLines(const std::string&, Context& job)
{
    std::string line = quotedExecutable();
    line += getVariableStrings(job, "OBJCOPY_FLAGS", "", false);
    line += getVariableString(job, "INPUT", "", true);
    line += " " + quotedPath(storedOutputName());
    return {std::move(line)};
}

}  // namespace Tolm
