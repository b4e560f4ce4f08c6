#pragma once
// The LLVM compilers: clang for C targets, clang++ for C++ targets and for
// targets mixing C and C++ sources.
//
// A target compiles only when one word of its C_FLAGS is "-c": one recipe per
// source, each producing the object file the compiler writes into the output
// directory, run on as many workers as the build allows. Any other target
// compiles and links in one command with lld. That command writes no object
// files, so its recipe names none: declaring them would make the cache see a
// missing file on every run and hand the link objects that were never made.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/llvm/llvm_tool.h"

namespace Tolm {

// The two compilers differ only in the sources they take and name on the
// command line: clang (C++ false) C_FILES alone, clang++ also CPP_FILES.
template <bool CPlusPlus>
class LLVMCompiler : public LLVMTool {
public:
    using LLVMTool::LLVMTool;

    // OBJS, and BINARY (ELF too off Windows) when the job links.
    Context createOutputContext(Context& job, int exitCode) override;
    // clang: a target with C_FILES and without CPP_FILES; clang++: a target
    // with CPP_FILES.
    MatchResult matchTarget(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // No limit for compile-only targets; 1 otherwise.
    std::int64_t maxParallelJobs(const TargetContext& target, const RecipeSet& recipes) const override;
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

using LLVM_CLANG = LLVMCompiler<false>;
using LLVM_CLANGPP = LLVMCompiler<true>;

extern template class LLVMCompiler<false>;
extern template class LLVMCompiler<true>;

}  // namespace Tolm
