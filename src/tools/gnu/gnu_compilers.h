#pragma once
// The GNU compilers: gcc for C (GNU_GCC) and g++ for C++ (GNU_GPP).
//
// A target is built in one of two modes, chosen by the word -c in C_FLAGS:
// - compile only: one recipe per source, each producing its object file in
//   the output directory; the recipes may run in parallel, since the command
//   runs there and the compiler writes each object beside the others;
// - compile and link: one recipe and one command from sources, objects and
//   libraries to the output file. That command writes no object files, so
//   the recipe declares none: a declared file that never appears would keep
//   the target from ever being up to date, and a reused source would hand
//   the command object files that do not exist.
// The two tools differ only in which sources their command line names: g++
// also takes CPP_FILES; gcc makes recipes for them but never compiles them.
//
// A linked target that asks for a shared object (SO or SHARED, decided as
// c_builder.h says) becomes one, linked with -shared, named and exported as
// the linker's own shared link (so and so_name besides binary). A compiler
// takes such a target only when it has sources of its own (C_FILES or
// CPP_FILES, also without a value): objects alone go to the linker.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/gnu/gnu_tool.h"

namespace Tolm {

class GNUCompiler : public GNUTool {
public:
    Context createOutputContext(Context& job, int exitCode) override;
    // Possible for the first of the match subjects (C_FILES, OBJS; g++
    // first CPP_FILES) that the target sets other than as an output; not for
    // a shared object without sources.
    MatchResult matchTarget(const Context& target) const override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // -1 (no limit) in compile-only mode, else 1.
    std::int64_t maxParallelJobs(const TargetContext& target, const RecipeSet& recipes) const override;
    // Exactly one line.
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;

protected:
    GNUCompiler(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
                std::filesystem::path executable, bool compilesCpp);

private:
    // A linked target that asks for a shared object is linked as one.
    bool linksShared(const Context& context) const;
    // The file a link writes: the output name; for an empty one the target's
    // name, with its extension replaced by .so for a shared object.
    std::string linkedFileName(const std::string& outputName, const std::string& targetName,
                               const Context& context) const;

    bool compilesCpp_;
};

class GNU_GCC : public GNUCompiler {
public:
    GNU_GCC(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
            std::filesystem::path executable);
};

class GNU_GPP : public GNUCompiler {
public:
    GNU_GPP(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
            std::filesystem::path executable);
};

}  // namespace Tolm
