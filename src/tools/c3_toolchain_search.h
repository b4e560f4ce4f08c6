#pragma once
// Finding the c3c executable a "c3c" tool definition wants.
//
// The wanted path may name the executable itself or a directory. A directory
// is tried at its four usual places first (c3c and c3c.exe, directly and in
// bin/), then searched as a whole tree. Every candidate is probed at most once
// (paths are compared normalised) and only files named c3c or c3c.exe are
// probed. Missing or unreadable places and failing probes are never errors
// here: they only give fewer toolchains.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/probe.h"

namespace Tolm {

struct C3Wants {
    std::optional<std::filesystem::path> toolchainPath;
    // Empty: any version. "0" accepts any version too; a text without a dot
    // also accepts the versions it is the first part of (1 accepts 1.2.3).
    std::string toolchainVersion;
    // Empty: no minimum.
    std::string toolchainMinVersion;
};

// Whether a found version passes the wanted version and minimum.
bool c3VersionPasses(const C3Wants& wants, const std::string& version);

// Every toolchain that runs, reports a version and passes the wants, in the
// order found: the direct candidates, then the walk of a wanted directory.
std::vector<ToolchainPaths> findC3Toolchains(const C3Wants& wants);

}  // namespace Tolm
