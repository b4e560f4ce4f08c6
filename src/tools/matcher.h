#pragma once
// A configured build tool as the tool selection sees it.
//
// Every tool definition (a `tools` block entry of a project or the registry,
// or a built-in tool) becomes one Matcher through the factory registered for
// its `tool_type`. The tool selection scores every matcher against a target;
// the winner hands out the Builder that builds it. Toolchain matchers (GNU,
// LLVM, C3) find and probe their toolchain once, in their factory, and hand
// out the same Builders for every target.

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/builder.h"
#include "types/condition.h"
#include "util/ci_string.h"

namespace Tolm {

class Matcher {
public:
    // The registration's base maps (moved in) merged with a tool definition's
    // maps: a definition entry for a base requirement replaces that
    // requirement; a "!" entry moves a name from the variables to the
    // requirements.
    Matcher(std::string name, NameMap variables, NameMap required, const NameMap& extraVariables,
            const NameMap& extraRequired);
    Matcher(const Matcher& other) = default;
    Matcher& operator=(const Matcher&) = delete;
    virtual ~Matcher() = default;

    // Virtual operations in slot order.
    virtual std::unique_ptr<Matcher> clone() const = 0;
    // Shared body: an empty result with note 0.
    virtual MatchResult match(const TargetContext& target) const;
    // Empty when the matcher has no Builder for the target.
    virtual std::shared_ptr<Builder> selectBuilder(const TargetContext& target) = 0;

    std::string name;
    NameMap variables;
    NameMap required;
    // The tool definition's conditional blocks, copied in by tool set-up.
    std::vector<ConditionalBlock> conditions;

    // A new matcher of the registered type, owned by the caller; null for an
    // unknown type or an empty factory. A factory's exception passes through.
    static Matcher* create(const Util::CiString& type, const std::string& name, NameMap variables,
                           NameMap required);
};

// The first of the highest-scoring tools that can build the target, told
// that it was chosen for it; empty when none can.
std::shared_ptr<Builder> chooseTool(const std::vector<std::shared_ptr<Builder>>& tools, const TargetContext& target);

using MatcherFactory = std::function<Matcher*(Util::CiString name, NameMap variables, NameMap required)>;
using MatcherRegistry = std::unordered_map<Util::CiString, MatcherFactory, Util::CiHasher, Util::CiEqualTo>;

// The process-wide registry of tool types, created on first use.
MatcherRegistry& matcherRegistry();

// Stores the factory under `type`, replacing an earlier one; an empty factory
// takes the one stored under `fallback` instead.
void registerMatcherFactory(const Util::CiString& type, const Util::CiString& fallback,
                            const MatcherFactory& factory);

// Registers every tool type of the program, in start-up order: "command",
// "no_tool", "gnu-gcc", "llvm-clang", "c3c". Runs once; later calls do
// nothing. Called before main and by the test binary.
void registerToolTypes();

}  // namespace Tolm
