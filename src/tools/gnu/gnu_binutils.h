#pragma once
// The GNU tools besides the compilers: the archiver (GNU_AR), the linker
// (GNU_LD) and the object copier (GNU_OBJCOPY). Each makes one recipe per
// target and runs one at a time.
//
// The file a recipe declares as its output is the file its command writes:
// when OUTPUT_NAME is set to an empty text, the archive is named after the
// target with ".a" and the linker's output after the target with ".so",
// ".ko" or ".elf", in the recipe as on the command line. The archiver
// removes the old archive first, so objects of sources that were dropped
// from the target do not stay in the library.

#include <string>
#include <vector>

#include "tools/gnu/gnu_tool.h"

namespace Tolm {

class GNU_AR : public GNUTool {
public:
    using GNUTool::GNUTool;

    // lib / lib_name.
    Context createOutputContext(Context& job, int exitCode) override;
    // The default match; an OUTPUT_NAME ending in ".a" (any case) scores an
    // exact match, so a library name prefers the archiver.
    MatchResult matchTarget(const Context& target) const override;
    // A shared object (SO or SHARED).
    bool leftToAnotherTool(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // Removes the archive of an earlier build.
    void onOutputPrepared(Context& firstJob) override;
    // Archives OBJS.
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

class GNU_LD : public GNUTool {
public:
    using GNUTool::GNUTool;

    // so / so_name for a shared object, then binary / binary_name.
    Context createOutputContext(Context& job, int exitCode) override;
    // A shared object with sources of its own: the compiler compiles and
    // links those.
    bool leftToAnotherTool(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // One line; a target that asks for a shared object (SO or SHARED)
    // links one, KO a kernel module.
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

class GNU_OBJCOPY : public GNUTool {
public:
    using GNUTool::GNUTool;

    // output / output_name.
    Context createOutputContext(Context& job, int exitCode) override;
    // A shared object.
    bool leftToAnotherTool(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // One line: flags, INPUT, then the output name as it stands.
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
};

}  // namespace Tolm
