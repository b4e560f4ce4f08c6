#pragma once
// The shared base of the C-family tools (C3, GNU and LLVM compilers,
// archivers, linkers and object copiers).
//
// One tool object serves every target its matcher is chosen for, so the
// output directory, output name, target name and job count it keeps belong to
// the build under way: prepareOutput writes them, finishBuild resets the job
// count. Recipe creation never reads that state; it computes the output
// directory afresh from the target, which gives the same directory because
// the driver's job contexts carry the target's name, instance and variables.
//
// Every object file lies directly in the output directory and is named after
// its source's file name, so two sources of one target with the same file
// name (a/util.c, b/util.c) would overwrite each other's object. The shared
// operations that name object files refuse that with a TolmException naming
// both sources, so every tool built on this base inherits the check.
//
// Whether a target asks for a shared library is decided once, when the tool
// is chosen for it, from the target's own variables: its block with its
// conditional blocks applied, its profiles and the command line. Outputs of
// dependencies arrive later (a "+" dependency merges a library's SO into the
// program that links it; a dependency named SO or SHARED becomes a variable
// of that name) and never count. The tool keeps the answer by the target's
// instance name, which every job context of the target carries, so recipes,
// command lines and exports all follow the one answer.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tools/builder.h"
#include "types/context.h"
#include "types/qualified_target_name.h"
#include "types/tolm_value.h"
#include "types/variable_access.h"

namespace Tolm {

class TargetContext;

// A second variable computed item by item from a source variable, e.g. the
// object files (OBJS) of the sources.
struct DerivedVariable {
    std::string name;
    // One source item to one derived item; a null result drops the item.
    std::function<TolmValuePtr(const TolmValuePtr&)> transform;
};

// The leaves of a value in order: a list's items at every depth, any other
// value itself, nothing for null. The items are shared, not copied.
std::vector<TolmValuePtr> flattenValue(const TolmValuePtr& value);

// The object file of a source in the directory: the source's file name with
// its extension replaced by `suffix`, made absolute.
std::string objectPath(const std::string& source, const std::filesystem::path& directory, const std::string& suffix);

// "@" and the target's instance hash; empty for a target without parameters.
std::string instanceSuffix(const TargetContext& target);

// Whether the target asks for a shared library: it holds one of the selector
// variables (SO, SHARED, ...), with or without a value. A dependency named
// like one asks for nothing: its outputs arrive as a nested context.
bool asksForSharedLibrary(const Context& target, std::initializer_list<const char*> selectors);

// Whether the target has sources of its own: it holds C_FILES or CPP_FILES,
// with or without a value, other than as an output. A target that asks for a
// shared library goes to a compiler only then (the compiler links it with
// -shared); otherwise only the linker may take it.
bool namesSources(const Context& target);

class CBuilder : public Builder {
public:
    using ObjectPair = std::pair<TolmValuePtr, TolmValuePtr>;

    CBuilder(NameMap matchSubjects, ToolVariableMap toolVariables);

    // Builder slots with a shared body.
    void prepareOutput(Context& firstJob, const std::size_t& jobCount) override;
    void finishBuild() override;
    // The default match, impossible for a target leftToAnotherTool.
    MatchResult matchTarget(const Context& target) const override;
    RecipeSet createRecipes(const TargetContext& target) override;
    std::vector<Command> createCommands(Context& job) override;
    // Notes whether the target asks for a shared library.
    void chosenFor(const TargetContext& target) override;

    // The slots a C-family tool adds, in slot order.
    // The tool's recipes and its own set-level outputs.
    virtual RecipeSet doCreateRecipes(const TargetContext& target) const = 0;
    // How many of the recipes may run at once; -1: no limit.
    virtual std::int64_t maxParallelJobs(const TargetContext& target, const RecipeSet& recipes) const;
    // Called at the end of prepareOutput.
    virtual void onOutputPrepared(Context& firstJob);
    // Called by finishBuild before the job count is reset.
    virtual void doFinishBuild();
    // The command lines of one job, run in the output directory.
    virtual std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) = 0;
    // One component of the default output directory, e.g. x86_64-linux-gnu.
    virtual std::string toolchainId() const = 0;
    virtual std::string objectFileSuffix() const;
    // Whether the target asks for a shared library, read from its variables
    // as they stand; no tool of this base links one unless it says so.
    virtual bool readSharedRequest(const Context& target) const;

    // Whether the target of the context asks for a shared library: the
    // answer noted when this tool was chosen for it, else (a context of a
    // target the tool was not chosen for) the context read as it stands.
    bool sharedRequested(const Context& context) const;
    // Whether the target belongs to another tool of the toolchain whatever
    // this tool's match subjects say, as a shared library belongs to the
    // linker. Only the default match asks; no target by default.
    virtual bool leftToAnotherTool(const Context& target) const;

    // Fills the per-build state from a job context: target name ("no_target"
    // for a context that is no target context), output name, output directory.
    void setOutputDirectory(const Context& recipeContext);

    // OUTPUT_DIR as written when set; else PROJECT_ROOT / OUTPUT_DEF_DIR /
    // toolchain id / PROFILE / namespace / unit / target name + suffix. Throws
    // NotFoundException when PROJECT_ROOT is needed and absent.
    std::filesystem::path outputDirectory(const Context& context, const VariableMap& variables,
                                          const QualifiedTargetName& name, const std::string& targetName,
                                          const std::string& instanceSuffix) const;
    // outputDirectory of a target context with its own name and instance.
    std::filesystem::path outputDirectoryOf(const TargetContext& target) const;

    // (source item, absolute object path in the directory) for every leaf of
    // the value. Throws TolmException when two different sources would get
    // the same object file, unless `checkClashes` is false.
    std::vector<ObjectPair> objectPathsForSource(const TolmValuePtr& sources,
                                                 const std::filesystem::path& directory,
                                                 bool checkClashes = true) const;
    // The object paths of the named variable's items, appended to `objects`.
    // Never a clash: a compile-only target's objects were checked with its
    // recipes, before any command ran, and a target that compiles and links
    // in one command writes no object file at all.
    void appendObjectValues(const VariableMap& variables, const std::string& sourceName,
                            const std::filesystem::path& directory, std::vector<TolmValuePtr>& objects) const;

    // The file-name part of the name; the name itself when that is empty.
    static std::string outputFileName(const std::string& name);
    // Appends pathName = name (in directory) and nameName = its file name,
    // both output variables, to a recipe's outputs.
    static void addOutputAssignments(std::vector<Assignment>& outputs, const std::string& pathName,
                                     const std::string& nameName, const std::filesystem::path& directory,
                                     const std::string& outputName);
    // The same pair, plain variables, added to an output context.
    static void addOutputVariables(Context& context, const std::string& pathName, const std::string& nameName,
                                   const std::filesystem::path& directory, const std::string& outputName);

    // Helpers of doCreateRecipes.
    // Appends a copy of the named variable when the target holds it; without
    // a value the copy is a Declare.
    static void copyBuiltinVariable(const VariableMap& variables, const std::string& name,
                                    std::vector<Assignment>& outputs);
    // Appends one recipe entry for the named variable's items, with the
    // derived variable as its intermediate. Throws TolmException when the
    // transform gives one derived item for two different sources, also
    // across the entries already in `inputs`.
    static void deriveVariable(const VariableMap& variables, const std::string& sourceName,
                               std::vector<CachedInput>& inputs, const std::optional<DerivedVariable>& derived);
    // Appends one recipe per source item, producing its object file (OBJS).
    // Throws TolmException when two sources, also of the recipes already in
    // `recipes`, would get the same object file.
    void collectObjects(const VariableMap& variables, const std::string& sourceName,
                        const std::filesystem::path& directory, std::vector<CachedRecipe>& recipes) const;

    // The per-build state.
    const std::filesystem::path& storedOutputDirectory() const { return outputDirectory_; }
    const std::string& storedOutputName() const { return outputName_; }
    const std::string& storedTargetName() const { return targetName_; }
    std::uint64_t jobCount() const { return jobCount_; }

private:
    std::filesystem::path outputDirectory_;
    std::string outputName_;
    std::string targetName_;
    std::uint64_t jobCount_ = 1;
    // Whether the target asks for a shared library, by instance name.
    std::unordered_map<std::string, bool> sharedRequests_;
};

}  // namespace Tolm
