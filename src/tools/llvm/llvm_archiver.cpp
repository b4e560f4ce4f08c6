#include "tools/llvm/llvm_archiver.h"

#include <optional>
#include <system_error>

#include <fmt/format.h>

#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* StaleArchive = "Cannot remove the old archive '{}': {}";
}  // namespace Messages

}  // namespace

bool isStaticLibraryTarget(const Context& context)
{
    return isMatchSubject(context.assignments, "STATIC") || isMatchSubject(context.assignments, "AR") ||
           outputNameHasExtension(context, ".a") || outputNameHasExtension(context, ".lib");
}

std::string LLVM_AR::archiveFileName(const std::string& base) const
{
    return withDefaultExtension(base, msvc() ? ".lib" : ".a");
}

Context LLVM_AR::createOutputContext(Context& job, int)
{
    Context outputs;
    addOutputVariables(outputs, "LIB", "LIB_NAME", storedOutputDirectory(),
                       outputNameOr(job, archiveFileName(storedTargetName())));
    return outputs;
}

MatchResult LLVM_AR::matchTarget(const Context& target) const
{
    MatchResult result = LLVMTool::matchTarget(target);
    if (outputNameHasExtension(target, ".a") || outputNameHasExtension(target, ".lib"))
        result.scores[Util::CiString("OUTPUT_NAME")].kind = MatchKind::ExactMatch;
    return result;
}

// A shared library is the linker's, whatever else the target says.
bool LLVM_AR::leftToAnotherTool(const Context& target) const
{
    return !isStaticLibraryTarget(target) || llvmAsksForSharedLibrary(target);
}

RecipeSet LLVM_AR::doCreateRecipes(const TargetContext& target) const
{
    CachedRecipe recipe;
    deriveVariable(target.assignments, "OBJS", recipe.inputs, std::nullopt);
    addOutputAssignments(recipe.outputs, "LIB", "LIB_NAME", outputDirectoryOf(target),
                         outputNameOr(target, archiveFileName(target.name.target)));
    RecipeSet set;
    set.recipes.push_back(std::move(recipe));
    return set;
}

void LLVM_AR::onOutputPrepared(Context& firstJob)
{
    const std::filesystem::path archive =
        storedOutputDirectory() / outputNameOr(firstJob, archiveFileName(storedTargetName()));
    std::error_code error;
    std::filesystem::remove(archive, error);
    if (error) throw TolmException(fmt::format(Messages::StaleArchive, archive.string(), error.message()));
}

std::vector<std::string> LLVM_AR::buildCommandLines(const std::string& targetName, Context& job)
{
    std::string line = quotedExecutable() + " rcs " + quotedPath(outputNameOr(job, archiveFileName(targetName)));
    line += getVariableString(job, "OBJS", "", true);
    return {std::move(line)};
}

}  // namespace Tolm
