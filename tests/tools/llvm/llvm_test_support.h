#pragma once
// Toolchains, tools, targets and build jobs for the LLVM tool tests. Targets
// are written as the assignment lines of a unit file; a job holds what the
// driver gives one worker: the recipes' inputs and the set's context, merged
// into lists under each name.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "parser/parse_assignment.h"
#include "tools/c_builder.h"
#include "tools/llvm/llvm_finder.h"
#include "tools/llvm/llvm_tables.h"
#include "types/target_context.h"
#include "types/tolm_path_string.h"

namespace LLVMTestSupport {

// A toolchain in /opt/llvm/bin for the triple, its linker chosen as the
// search chooses it.
inline LLVMToolchainInfo toolchainFor(const std::string& triple, const std::filesystem::path& bin = "/opt/llvm/bin")
{
    LLVMToolchainInfo toolchain;
    toolchain.version = "17.0.6";
    toolchain.target = parseTargetTriple(triple);
    toolchain.binDirectory = bin;
    toolchain.clang = bin / "clang";
    toolchain.clangxx = bin / "clang++";
    toolchain.ar = bin / "llvm-ar";
    toolchain.objcopy = bin / "llvm-objcopy";
    toolchain.linker = bin / (isMsvcToolchain(toolchain.target) ? "lld-link" : "ld.lld");
    return toolchain;
}

inline const char* const Linux = "x86_64-pc-linux-gnu";
inline const char* const Msvc = "x86_64-pc-windows-msvc";
inline const char* const MinGW = "x86_64-w64-windows-gnu";

template <typename Tool>
std::shared_ptr<Tool> makeTool(const Tolm::LLVMToolTable& table, const LLVMToolchainInfo& toolchain,
                               const std::filesystem::path& executable)
{
    return std::make_shared<Tool>(table.matchSubjects, table.variables, toolchain, executable);
}

// Target `app` of unit `unit` with the lines' assignments; paths are based
// at, and the project root is, `root`.
inline std::shared_ptr<Tolm::TargetContext> targetOf(const std::vector<std::string>& lines,
                                                     const std::filesystem::path& root = "/proj")
{
    std::vector<Tolm::Assignment> assignments{
        Tolm::Assignment("PROJECT_ROOT", std::make_shared<Tolm::TolmPathString>(root.string(), ""),
                         Tolm::Assignment::AssignType::Set, 0)};
    for (const std::string& line : lines) assignments.push_back(parseAssignment(line, root));
    const Tolm::QualifiedTargetName name{"", "unit", "app"};
    auto target = std::make_shared<Tolm::TargetContext>(Tolm::Context(assignments, {}), name);
    target->setInstance(name, "");
    return target;
}

// The job of the given recipes (all when `only` is empty) as the driver
// merges it.
inline std::shared_ptr<Tolm::TargetContext> jobOf(const Tolm::TargetContext& target, const Tolm::RecipeSet& set,
                                                  std::vector<std::size_t> only = {})
{
    if (only.empty())
        for (std::size_t i = 0; i < set.recipes.size(); ++i) only.push_back(i);
    std::vector<Tolm::Assignment> gathered;
    for (std::size_t index : only)
        for (const Tolm::CachedInput& input : set.recipes.at(index).inputs) gathered.push_back(input.input);
    gathered.insert(gathered.end(), set.context.begin(), set.context.end());
    auto job = std::make_shared<Tolm::TargetContext>(Tolm::Context(), target.name);
    job->setInstance(target.name, target.instanceText);
    job->mergeVariables(gathered);
    return job;
}

// The one command line of each job of the target, recipe by recipe when the
// tool compiles only and all recipes in one job otherwise.
inline std::vector<std::string> commandLines(Tolm::CBuilder& tool, const std::vector<std::string>& lines)
{
    const auto target = targetOf(lines);
    const Tolm::RecipeSet set = tool.createRecipes(*target);
    std::vector<std::string> result;
    if (set.maxParallelJobs == 1) {
        for (std::string& line : tool.buildCommandLines("app", *jobOf(*target, set))) result.push_back(line);
        return result;
    }
    for (std::size_t i = 0; i < set.recipes.size(); ++i)
        for (std::string& line : tool.buildCommandLines("app", *jobOf(*target, set, {i}))) result.push_back(line);
    return result;
}

}  // namespace LLVMTestSupport
