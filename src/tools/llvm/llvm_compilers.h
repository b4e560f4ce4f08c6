#pragma once
// The LLVM compilers: clang for C targets, clang++ for C++ targets and for
// targets mixing C and C++ sources.
//
// A target compiles only when one word of its C_FLAGS is "-c": one recipe per
// source, each producing the object file the compiler writes into the output
// directory, run on as many workers as the build allows. Any other target
// compiles and links in one command with lld. That command writes no object
// files, so its recipe names none: declaring them would make the cache see a
// missing file on every run and never find the target up to date.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/llvm/llvm_tool.h"

namespace Tolm {

class LLVM_CLANG : public LLVMTool {
public:
    using LLVMTool::LLVMTool;

    Context createOutputContext(Context& job, int exitCode) override;
    // Possible for a target with C_FILES and without CPP_FILES.
    MatchResult matchTarget(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::int64_t maxParallelJobs(const TargetContext& target, const RecipeSet& recipes) const override;
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

class LLVM_CLANGPP : public LLVMTool {
public:
    using LLVMTool::LLVMTool;

    Context createOutputContext(Context& job, int exitCode) override;
    // Possible for a target with CPP_FILES.
    MatchResult matchTarget(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::int64_t maxParallelJobs(const TargetContext& target, const RecipeSet& recipes) const override;
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

}  // namespace Tolm
