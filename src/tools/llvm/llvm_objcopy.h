#pragma once
// llvm-objcopy: copies the INPUT files into the target's output file,
// converted as OBJCOPY_FLAGS say (flags are written unquoted, so one item may
// hold an option and its argument).

#include <string>
#include <vector>

#include "tools/llvm/llvm_tool.h"

namespace Tolm {

class LLVM_OBJCOPY : public LLVMTool {
public:
    using LLVMTool::LLVMTool;

    // OUTPUT / OUTPUT_NAME: the stored output name in the output directory.
    Context createOutputContext(Context& job, int exitCode) override;
    // A target that asks for a shared library (the linker's).
    bool leftToAnotherTool(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

}  // namespace Tolm
