#pragma once
// A build tool as the driver sees it.
//
// A Builder turns one target's evaluated context into recipes (what to build
// from what), each group of recipes into command lines, and each finished job
// into output variables for the targets that depend on it. The driver calls,
// per target and all on the main thread: matchTarget, createRecipes, then for
// the jobs that must run prepareOutput once, createCommands per job,
// createOutputContext per job once every job succeeded, and finishBuild once
// (also when anything after prepareOutput failed). Worker threads only run
// the Commands.
//
// The records below travel between the tools, the build cache and the job
// runner; they are plain values.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "types/assignment.h"
#include "types/context.h"
#include "types/tolm_value.h"
#include "util/ci_string.h"

namespace Tolm {

class TargetContext;

// Stored as an unsigned 32-bit number.
enum class MatchKind : std::uint32_t {
    NoMatch = 0,
    PartialMatch = 1,
    ExactMatch = 2,
};

// How one target variable fits a tool.
struct VariableMatch {
    MatchKind kind = MatchKind::NoMatch;
    // 1 when the variable is one of the Builder's match subjects.
    std::uint32_t claimed = 0;
};

struct MatchResult {
    // The note of a result the tool can build; every other note means it cannot.
    static constexpr int BuildPossible = 1;
    static constexpr int BuildImpossible = 0;

    std::map<Util::CiString, VariableMatch> scores;
    int note = BuildImpossible;

    bool possible() const { return note == BuildPossible; }
};

// A variable a tool understands, with the weights its match kinds score.
struct ToolVariable {
    TolmValuePtr defaultValue;  // null in every table of this program
    std::int32_t noMatchWeight = 0;
    std::int32_t partialMatchWeight = 1;
    std::int32_t exactMatchWeight = 2;
};

using NameMap = std::map<Util::CiString, Assignment>;
using ToolVariableMap = std::map<Util::CiString, ToolVariable>;

// One input of a recipe.
struct CachedInput {
    Assignment input;
    // The input's intermediate product (e.g. its object file); present
    // exactly when its value is not null.
    Assignment intermediate;
    // Runtime only, never stored: the cache found the input unchanged and
    // older than the outputs, so a job gets the intermediate instead.
    bool reuse = false;

    bool hasIntermediate() const { return intermediate.value != nullptr; }
};

// One unit of work: the variables it consumes and those it produces.
struct CachedRecipe {
    std::vector<CachedInput> inputs;
    std::vector<Assignment> outputs;  // modifier 1 (output variables)
};

struct RecipeSet {
    std::vector<CachedRecipe> recipes;
    // Assignments every job of the target receives besides its inputs.
    std::vector<Assignment> context;
    // How many recipes may run at once; -1: no limit.
    std::int64_t maxParallelJobs = 1;
};

// One command line, run through "/bin/sh" "-c".
struct Command {
    // Kind 1 is never run: its job ends with result 38.
    static constexpr std::uint32_t NotRun = 1;

    std::string commandLine;
    // Empty: the current directory of the program.
    std::filesystem::path workingDirectory;
    std::uint32_t kind = 0;
    // Put in front of PATH for this command only, in order.
    std::vector<std::filesystem::path> pathDirectories;
};

class Builder {
public:
    Builder(NameMap matchSubjects, ToolVariableMap toolVariables);
    virtual ~Builder() = default;
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    // Virtual operations in slot order.
    virtual std::string name() const;  // "builder"
    virtual void prepareOutput(Context& firstJob, const std::size_t& jobCount) = 0;
    virtual void finishBuild() = 0;
    virtual Context createOutputContext(Context& job, int exitCode) = 0;
    // BuildPossible when the target sets every match subject, none of them as
    // an output variable; the scores of scoreTargetVariables in every case.
    virtual MatchResult matchTarget(const Context& target) const;
    virtual RecipeSet createRecipes(const TargetContext& target) = 0;
    virtual std::vector<Command> createCommands(Context& job) = 0;
    // The path of the program that runs the commands: the compiler,
    // archiver, linker or object copier of a toolchain; empty for a tool
    // that runs none of its own.
    virtual std::string program() const { return {}; }
    // Called by the matcher that hands this Builder out for the target, as
    // the tool is chosen: before the target's conditional blocks apply and
    // before its dependencies' outputs are merged in. What the Builder
    // decides from the target's own variables it decides here and keeps for
    // its later calls on that target. Nothing by default.
    virtual void chosenFor(const TargetContext&) {}
    // Whether the recipes' outputs are the target's output variables taken
    // as they are, those its `+` dependencies appended included, rather than
    // files the tool derives from its inputs. False by default.
    virtual bool outputsAreTargetVariables() const { return false; }

    // Gives every target variable its match kind and claim mark.
    void scoreTargetVariables(const Context::AssignmentMap& targetVariables, MatchResult& result) const;
    // The weighted sum over the variable table of what the target sets.
    int scoreMatch(const Context& target, const MatchResult& result) const;

    const NameMap& matchSubjects() const { return matchSubjects_; }
    const ToolVariableMap& toolVariables() const { return toolVariables_; }

private:
    NameMap matchSubjects_;
    ToolVariableMap toolVariables_;
};

// False when the target does not set the name, or sets it as an output
// variable (logged at level 4); true otherwise.
bool isMatchSubject(const Context::AssignmentMap& targetVariables, const std::string& name);

// Whether the value's text equals the text ignoring case; a list matches when
// any item does, searched at every depth; null never matches.
bool valueMatchesString(const TolmValuePtr& value, const std::string& text);

}  // namespace Tolm
