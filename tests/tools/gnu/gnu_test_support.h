#pragma once
// GNU tools for the tests: a toolchain record of a made-up machine, the tools
// built from the real tables, stand-in toolchain directories, and the job
// context the build makes from a recipe set.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/fake_tool.h"
#include "tools/gnu/gnu_binutils.h"
#include "tools/gnu/gnu_compilers.h"
#include "tools/gnu/gnu_tables.h"
#include "types/target_context.h"

namespace GnuTestSupport {

inline GNUToolchainInfo toolchain(std::string os = "linux")
{
    return GNUToolchainInfo{"12.2.0", "x86_64-linux-gnu", "x86_64", std::move(os), "gnu", "/tc/bin", "/tc"};
}

// The tool of the table at `index`, running /tc/bin/<its executable name>.
template <typename Tool>
std::shared_ptr<Tool> tool(Tolm::GNUToolIndex index, GNUToolchainInfo info = toolchain())
{
    const Tolm::GNUToolTable& table = Tolm::gnuToolTables()[index];
    return std::make_shared<Tool>(table.matchSubjects, table.variables, info, info.toolchainPath / table.executable);
}

// A stand-in GNU toolchain in `bin`: compilers named <prefix>-gcc and
// <prefix>-g++ (plain gcc and g++ for an empty prefix) answering the probes,
// and the other tools as programs that do nothing.
inline void fakeToolchain(const std::filesystem::path& bin, const std::string& prefix, const std::string& machine,
                          const std::string& version, const std::vector<std::string>& others = {"ar", "ld", "objcopy"})
{
    const std::string lead = prefix.empty() ? "" : prefix + "-";
    FakeTool::gnuCompiler(bin / (lead + "gcc"), machine, version);
    FakeTool::gnuCompiler(bin / (lead + "g++"), machine, version);
    for (const std::string& other : others) FakeTool::writeExecutable(bin / (lead + other), "#!/bin/sh\nexit 0\n");
}

// The one job context the build hands a tool for these recipes: every
// recipe's inputs, then the set's assignments, merged under the target's name.
inline std::shared_ptr<Tolm::TargetContext> mergedJob(const Tolm::TargetContext& target, const Tolm::RecipeSet& set)
{
    auto job = std::make_shared<Tolm::TargetContext>(Tolm::Context(), target.name);
    job->setInstance(target.name, "");
    for (const Tolm::CachedRecipe& recipe : set.recipes) {
        std::vector<Tolm::Assignment> inputs;
        for (const Tolm::CachedInput& entry : recipe.inputs) inputs.push_back(entry.input);
        job->mergeVariables(inputs);
    }
    job->mergeVariables(set.context);
    return job;
}

}  // namespace GnuTestSupport
