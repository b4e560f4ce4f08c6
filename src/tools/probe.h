#pragma once
// Helpers of the toolchain searches: running a probe command and capturing
// what it prints, reading a tool's version, comparing dotted versions,
// normalising and de-duplicating paths, the per-user configuration directory
// and the pieces of a detected toolchain's registry entry.
//
// Probe paths come from walking the file system, so they are never handed to
// a shell: a probe is an argument vector run directly, with standard input
// from /dev/null and standard error discarded.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "types/assignment.h"

namespace Tolm {
class ContextTemplate;
}

struct CommandOutput {
    // Standard output without leading and trailing blanks, tabs, CRs and LFs.
    std::filesystem::path output;
    // The exit code 0..255 of a normal exit; -1 otherwise.
    std::int32_t exitStatus = -1;
};

struct ToolchainPaths {
    std::string version;  // never empty
    std::filesystem::path executable;  // as passed in
    std::filesystem::path directory;   // parent of executable
};

// Runs the executable with the blank-separated words of `arguments`.
CommandOutput captureCommandOutput(const std::filesystem::path& executable, const std::string& arguments);

// One tool set-up may ask a program the same question twice: the search
// probes /usr/bin/gcc, and the choice of the machine's own toolchain asks it
// for its machine again. While a scope lives, captureCommandOutput on its
// thread runs each executable (as written) with each argument text once and
// gives the first answer again. A scope inside another shares its answers.
class ProbeAnswerScope {
public:
    ProbeAnswerScope();
    ~ProbeAnswerScope();
    ProbeAnswerScope(const ProbeAnswerScope&) = delete;
    ProbeAnswerScope& operator=(const ProbeAnswerScope&) = delete;

private:
    bool outermost_;
};

// The version a regular file prints for "--version": its first dotted number.
std::optional<ToolchainPaths> probeToolVersion(const std::filesystem::path& executable);

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
