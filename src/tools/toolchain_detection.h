#pragma once
// Detection of installed GNU and LLVM toolchains below given roots.
//
// Every toolchain found becomes a tool definition named by its toolchain,
// ready for the user registry. The registry stores definitions by that name,
// so two different toolchains with the same name (the same arch and version
// in two directories) would overwrite each other there: the first one found
// is kept and the other is reported with a warning, never dropped silently.

#include <filesystem>
#include <memory>
#include <vector>

#include "tools/llvm/llvm_finder.h"

namespace Tolm {
class ContextTemplate;
}

struct DetectionRoots {
    std::vector<std::filesystem::path> gnu;   // searched in order
    std::vector<std::filesystem::path> llvm;  // searched in order
};

// The GNU definitions, then the LLVM ones, each in search order; each starts
// with its `toolchain_name`, and no two share a name (ignoring letter case).
std::vector<std::shared_ptr<Tolm::ContextTemplate>> detectToolchains(const DetectionRoots& roots);

// The "llvm-clang" tool definition of one LLVM toolchain.
std::shared_ptr<Tolm::ContextTemplate> llvmToolchainDefinition(const LLVMToolchainInfo& toolchain);
