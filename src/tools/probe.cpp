#include "tools/probe.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "types/context_template.h"
#include "util/ci_string.h"

namespace {

namespace Messages {
constexpr const char* NoHome = "Unable to resolve HOME path.";
}  // namespace Messages

// The version a tool states: its first dotted number, so "c3c version 0.7.0"
// gives 0.7.0 and not the 3 of the tool's own name. Output without a dotted
// number falls back to the first number standing alone (not part of a word
// such as x86_64).
std::optional<std::string> statedVersion(const std::string& text)
{
    static const std::regex dotted(R"([0-9]+(?:\.[0-9]+)+)");
    static const std::regex alone(R"((?:^|[^A-Za-z0-9_])([0-9]+)(?![A-Za-z0-9_]))");
    std::smatch match;
    if (std::regex_search(text, match, dotted)) return match.str(0);
    if (std::regex_search(text, match, alone)) return match.str(1);
    return std::nullopt;
}

// One piece of a dotted version; 0 when it has no leading number or the
// number does not fit 32 bits.
std::uint32_t versionPart(const std::string& piece)
{
    if (piece.empty()) return 0;
    try {
        const unsigned long value = std::stoul(piece);
        if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
        return static_cast<std::uint32_t>(value);
    } catch (const std::logic_error&) {
        return 0;
    }
}

}  // namespace

std::optional<ToolchainPaths> probeToolVersion(const std::filesystem::path& executable)
{
    return probeToolVersions({executable}).front();
}

std::vector<std::optional<ToolchainPaths>> probeToolVersions(const std::vector<std::filesystem::path>& executables)
{
    std::vector<std::optional<ToolchainPaths>> found(executables.size());
    ProbeBatch batch;
    for (std::size_t i = 0; i < executables.size(); ++i) {
        const std::filesystem::path& executable = executables[i];
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(std::filesystem::status(executable, ignored))) continue;
        batch.ask(executable, "--version", [&found, &executable, i](const CommandOutput& answer) {
            if (answer.exitStatus != 0) return;
            std::optional<std::string> version = statedVersion(answer.output.string());
            if (version) found[i] = ToolchainPaths{std::move(*version), executable, executable.parent_path()};
        });
    }
    batch.run();
    return found;
}

std::vector<std::uint32_t> splitVersion(const std::string& version)
{
    std::vector<std::uint32_t> parts;
    std::istringstream in(version);
    std::string piece;
    while (std::getline(in, piece, '.')) parts.push_back(versionPart(piece));
    return parts;
}

int compareVersions(const std::string& a, const std::string& b)
{
    const std::vector<std::uint32_t> left = splitVersion(a);
    const std::vector<std::uint32_t> right = splitVersion(b);
    const std::size_t length = std::max(left.size(), right.size());
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint32_t l = i < left.size() ? left[i] : 0;
        const std::uint32_t r = i < right.size() ? right[i] : 0;
        if (l != r) return l < r ? -1 : 1;
    }
    return 0;
}

bool versionSatisfiesMinimum(const std::string& version, const std::string& minimum)
{
    if (minimum.empty() || minimum == "0") return true;
    return compareVersions(version, minimum) != -1;
}

std::filesystem::path normalizePath(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (!error) return resolved;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) return absolute.lexically_normal();
    return path.lexically_normal();
}

std::string normalizedPathString(const std::filesystem::path& path) { return normalizePath(path).string(); }

bool markVisited(std::set<std::string>& visited, const std::filesystem::path& path)
{
    return visited.insert(normalizedPathString(path)).second;
}

std::string fileNameWithoutExe(const std::filesystem::path& path)
{
    if (Util::ciEquals(path.extension().string(), ".exe")) return path.stem().string();
    return path.filename().string();
}

std::filesystem::path configDirectory()
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') throw std::runtime_error(Messages::NoHome);
    const std::filesystem::path directory = std::filesystem::path(home) / ".config" / "tolm";
    std::filesystem::create_directories(directory);
    return directory;
}

std::string sanitizeToolchainName(std::string text)
{
    if (text.empty()) return "unknown";
    for (char& c : text) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '-';
        if (!kept) c = '_';
    }
    return text;
}

std::shared_ptr<Tolm::ContextTemplate> makeContextTemplate(const std::vector<Tolm::Assignment>& assignments)
{
    return std::make_shared<Tolm::ContextTemplate>(assignments);
}
