#pragma once
// The "command" tool: runs the command lines a target writes into `cmdline`,
// in the directory named by `cwd`, and exports the exit code as `result`.
//
// It needs no toolchain, so its matcher fits every target that sets
// `cmdline` and makes a fresh Builder for each one. A target is cached only
// when it declares output variables: without them nothing tells whether an
// earlier run is still good, so it runs every time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/builder.h"
#include "tools/matcher.h"

namespace Tolm {

class BasicMatcher : public Matcher {
public:
    using Matcher::Matcher;

    std::unique_ptr<Matcher> clone() const override;
    // Always possible, with no scores: the required `cmdline` already decides.
    MatchResult match(const TargetContext& target) const override;
    std::shared_ptr<Builder> selectBuilder(const TargetContext& target) override;
};

class BasicBuilder : public Builder {
public:
    explicit BasicBuilder(std::string commandVariable);

    std::string name() const override;  // the command variable's name
    void prepareOutput(Context& firstJob, const std::size_t& jobCount) override;
    void finishBuild() override;
    // `result` = the exit code.
    Context createOutputContext(Context& job, int exitCode) override;
    // One recipe of every valued input and output when the target has output
    // variables; none otherwise. The command line and `cwd` go to the context.
    RecipeSet createRecipes(const TargetContext& target) override;
    // True: every output variable is a recipe output.
    bool outputsAreTargetVariables() const override { return true; }
    // One command per text of the command variable: a text gives one, a list
    // one per item, anything else none.
    std::vector<Command> createCommands(Context& job) override;

    int exitCode = 0;  // the last exit code given to createOutputContext
    std::string commandVariable;
    std::uint32_t commandKind = 0;
};

// Stores the "command" factory in the registry.
void registerCommandTool();

}  // namespace Tolm
