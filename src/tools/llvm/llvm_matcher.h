#pragma once
// The matcher of an "llvm-clang" tool definition.
//
// The definition says where to look (toolchain_path, required) and what it
// wants: a version, a minimum version, a target triple to probe the compiler
// for, an architecture. The matcher searches and probes once, when it is
// made, keeps the newest toolchain found and makes its five tools, which
// every clone shares. At tool selection a target may narrow the choice with
// ARCH, TOOLCHAIN_TRIPLET, toolchain_version and toolchain_min_version; the
// tool that fits the target best builds it.

#include <memory>
#include <string>
#include <vector>

#include "tools/llvm/llvm_finder.h"
#include "tools/matcher.h"

namespace Tolm {

class LLVMMatcher : public Matcher {
public:
    // Throws TolmException for an invalid TOOLCHAIN_TRIPLET, a missing
    // toolchain_path, no toolchain found, or a missing tool file.
    LLVMMatcher(std::string name, const NameMap& variables, const NameMap& required);

    std::unique_ptr<Matcher> clone() const override;
    // Impossible when the target's wishes refuse the toolchain or no tool
    // accepts the target; otherwise the first accepting tool's result with
    // the matcher's own scores filled in.
    MatchResult match(const TargetContext& target) const override;
    // The accepting tool with the highest score, the earlier among equals.
    std::shared_ptr<Builder> selectBuilder(const TargetContext& target) override;

    const LLVMToolchainInfo& toolchain() const { return toolchain_; }
    // clang, clang++, llvm-ar, the linker, llvm-objcopy, in this order.
    const std::vector<std::shared_ptr<Builder>>& tools() const { return tools_; }

private:
    LLVMToolchainInfo toolchain_;
    std::vector<std::shared_ptr<Builder>> tools_;
};

// Registers the tool type "llvm-clang"; the start-up registration calls it
// after "gnu-gcc" and before "c3c".
void RegisterLLVMMatcher();

}  // namespace Tolm
