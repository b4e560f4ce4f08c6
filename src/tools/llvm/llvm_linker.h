#pragma once
// The LLVM linker: ld.lld with GNU-style options, or lld-link with MSVC-style
// options (/LIBPATH:, /DLL, /OUT:) for a Windows toolchain of the MSVC
// flavour. It links every target with OBJS that is no static library; a
// target that asks for a shared library is always its, unless the target
// compiles sources of its own.
//
// A target that asks for a shared library (SO, SHARED or DLL, decided as
// c_builder.h says) links one; KO names a kernel module. The default file
// name follows the platform: .exe or .dll on Windows, .elf or .so
// elsewhere, .ko for a module.

#include <string>
#include <vector>

#include "tools/llvm/llvm_tool.h"

namespace Tolm {

class LLVM_LD : public LLVMTool {
public:
    using LLVMTool::LLVMTool;

    Context createOutputContext(Context& job, int exitCode) override;
    // A static library target that does not ask for a shared one, and a
    // shared one with sources of its own.
    bool leftToAnotherTool(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;

    // The base with the extension of the link kind added when it has none.
    std::string linkOutputFileName(const std::string& base, const Context& context) const;

};

}  // namespace Tolm
