#pragma once
// The matcher of a "gnu-gcc" tool definition.
//
// The definition says where to look (toolchain_path) and what it wants of
// the toolchain (prefix, arch, os, abi, toolchain_version,
// toolchain_min_version). The matcher searches and probes once, when it is
// made: it keeps the highest accepted version (the first found among equal
// ones) and makes the toolchain's five tools, which every target of this
// definition shares, also through clones. At tool selection it only compares
// the target's wishes with the toolchain found and asks its tools.
//
// A definition that names neither a prefix nor an arch wants the machine's
// own compiler: when the plain gcc (or cc) of a bin directory answers, only
// the toolchains of the machine it builds for take part in the choice, so a
// cross compiler beside it (arm-none-eabi-gcc 13 next to gcc 12) never wins
// on its version alone.

#include <memory>
#include <string>
#include <vector>

#include "tools/gnu/gnu_finder.h"
#include "tools/matcher.h"

namespace Tolm {

class GNUMatcher : public Matcher {
public:
    // Throws TolmException when the definition names no toolchain_path, no
    // toolchain passes the wants, its bin directory is gone or one of its
    // five tools is missing.
    GNUMatcher(std::string name, NameMap variables, NameMap required);

    // Shares the tools.
    std::unique_ptr<Matcher> clone() const override;
    // Impossible when the target's ARCH, TOOLCHAIN_TRIPLET, toolchain_version
    // or toolchain_min_version (or the definition's versions) do not fit the
    // toolchain; otherwise the result of the first tool that can build it,
    // or the object copier's when none can.
    MatchResult match(const TargetContext& target) const override;
    // The possible tool with the highest score, the earlier on a tie; empty
    // when none is possible.
    std::shared_ptr<Builder> selectBuilder(const TargetContext& target) override;

    const GNUToolchainInfo& toolchain() const { return toolchain_; }
    // gcc, g++, ar, ld, objcopy.
    const std::vector<std::shared_ptr<Builder>>& tools() const { return tools_; }

private:
    GNUToolchainInfo toolchain_;
    std::vector<std::shared_ptr<Builder>> tools_;
};

// Registers the tool type "gnu-gcc"; the start-up registration calls it
// after "no_tool".
void RegisterGNUMatcher();

}  // namespace Tolm
