#pragma once
// The "no_tool" tool: chosen for targets that set `NO_TOOL`. It builds
// nothing and exports nothing, so a target can exist only to group its
// dependencies.

#include <memory>
#include <string>
#include <vector>

#include "tools/builder.h"
#include "tools/matcher.h"

namespace Tolm {

class NoToolMatcher : public Matcher {
public:
    using Matcher::Matcher;

    std::unique_ptr<Matcher> clone() const override;
    // Possible, with `NO_TOOL` an exact match, when the target sets it.
    MatchResult match(const TargetContext& target) const override;
    std::shared_ptr<Builder> selectBuilder(const TargetContext& target) override;
};

class NoToolBuilder : public Builder {
public:
    NoToolBuilder();

    std::string name() const override;  // "no_tool"
    void prepareOutput(Context& firstJob, const std::size_t& jobCount) override;
    void finishBuild() override;
    Context createOutputContext(Context& job, int exitCode) override;  // empty
    RecipeSet createRecipes(const TargetContext& target) override;     // no recipes
    std::vector<Command> createCommands(Context& job) override;        // no commands
};

// Stores the "no_tool" factory in the registry.
void registerNoTool();

}  // namespace Tolm
