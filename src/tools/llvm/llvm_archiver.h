#pragma once
// llvm-ar: a target becomes a static library when it says so (STATIC or AR)
// or its OUTPUT_NAME ends in .a or .lib; the linker refuses such targets
// unless they also ask for a shared library, which is always the linker's.
//
// llvm-ar adds to an archive that exists, so objects of sources removed since
// the last build would stay in the library. The old archive is removed when
// the build starts, and every build writes it afresh.

#include <string>
#include <vector>

#include "tools/llvm/llvm_tool.h"

namespace Tolm {

class LLVM_AR : public LLVMTool {
public:
    using LLVMTool::LLVMTool;

    Context createOutputContext(Context& job, int exitCode) override;
    // The default match; an OUTPUT_NAME ending in .a or .lib scores as an
    // exact match.
    MatchResult matchTarget(const Context& target) const override;
    // A target that is no static library or that asks for a shared one (SO,
    // SHARED or DLL).
    bool leftToAnotherTool(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // Removes the archive this build writes. Throws TolmException when it
    // exists and cannot be removed.
    void onOutputPrepared(Context& firstJob) override;
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;

    // The base with .lib (MSVC flavour) or .a added when it has no extension.
    std::string archiveFileName(const std::string& base) const;
};

// STATIC or AR set as a match subject, or an OUTPUT_NAME ending in .a or .lib.
bool isStaticLibraryTarget(const Context& context);

}  // namespace Tolm
