#pragma once
// Helpers of the toolchain searches: reading a tool's version, comparing
// dotted versions, normalising and de-duplicating paths, the per-user
// configuration directory and the pieces of a detected toolchain's registry
// entry. Running the probes themselves is probe_batch.h's.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/probe_batch.h"
#include "types/assignment.h"

namespace Tolm {
class ContextTemplate;
}

struct ToolchainPaths {
    std::string version;  // never empty
    std::filesystem::path executable;  // as passed in
    std::filesystem::path directory;   // parent of executable
};

// The version a regular file prints for "--version": its first dotted number.
std::optional<ToolchainPaths> probeToolVersion(const std::filesystem::path& executable);
// The same for several files, asked all at once; one result per file, in order.
std::vector<std::optional<ToolchainPaths>> probeToolVersions(const std::vector<std::filesystem::path>& executables);

std::vector<std::uint32_t> splitVersion(const std::string& version);
// -1, 0 or 1; missing parts count as 0.
int compareVersions(const std::string& a, const std::string& b);
// True for an empty minimum, the minimum "0", or a version at least the minimum.
bool versionSatisfiesMinimum(const std::string& version, const std::string& minimum);

std::filesystem::path normalizePath(const std::filesystem::path& path);
std::string normalizedPathString(const std::filesystem::path& path);
// True when the path (normalised) was not in the set yet; it is now.
bool markVisited(std::set<std::string>& visited, const std::filesystem::path& path);
// The file name without a ".exe" extension (any letter case).
std::string fileNameWithoutExe(const std::filesystem::path& path);

// HOME/.config/tolm, created when missing. Throws std::runtime_error
// "Unable to resolve HOME path." when HOME is unset or empty.
std::filesystem::path configDirectory();

// Every byte but ASCII letters, digits, '_' and '-' becomes '_'; the empty
// text becomes "unknown".
std::string sanitizeToolchainName(std::string text);

// A tool definition holding copies of the assignments, no conditions.
std::shared_ptr<Tolm::ContextTemplate> makeContextTemplate(const std::vector<Tolm::Assignment>& assignments);
