#include "tools/probe.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <utility>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "tools/probe_process.h"
#include "types/context_template.h"
#include "util/ci_string.h"

namespace {

namespace Messages {
constexpr const char* NoHome = "Unable to resolve HOME path.";
}  // namespace Messages

// Probe output counts only these as white space around the answer.
constexpr const char* ProbeBlanks = " \t\n\r";

// A probe's output is read line by line in 511-byte pieces, and a NUL byte
// ends the text of its piece: what follows it up to the piece's end is lost.
std::string dropNulTails(const std::string& raw)
{
    constexpr std::size_t PieceLength = 511;
    std::string text;
    text.reserve(raw.size());
    std::size_t pieceUsed = 0;
    bool dropping = false;
    for (const char c : raw) {
        if (c == '\0') dropping = true;
        if (!dropping) text.push_back(c);
        if (c == '\n' || ++pieceUsed == PieceLength) {
            pieceUsed = 0;
            dropping = false;
        }
    }
    return text;
}

std::string trimProbeBlanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(ProbeBlanks);
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(ProbeBlanks);
    return text.substr(first, last - first + 1);
}

// The words of a probe's argument text, split at blanks and tabs.
std::vector<std::string> argumentWords(const std::string& arguments)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = arguments.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = arguments.find_first_of(" \t", at);
        words.push_back(arguments.substr(at, end - at));
        at = end;
    }
    return words;
}

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

// The answers of the scope alive on this thread; null outside any.
using ProbeAnswers = std::map<std::pair<std::string, std::string>, CommandOutput>;
thread_local std::unique_ptr<ProbeAnswers> currentAnswers;

CommandOutput runProbe(const std::filesystem::path& executable, const std::string& arguments)
{
    std::vector<std::string> argv{executable.string()};
    for (std::string& word : argumentWords(arguments)) argv.push_back(std::move(word));
    const ProcessOutput run = runProcess(argv);
    CommandOutput result;
    result.output = trimProbeBlanks(dropNulTails(run.output));
    result.exitStatus = run.exitStatus;
    return result;
}

}  // namespace

ProbeAnswerScope::ProbeAnswerScope() : outermost_(!currentAnswers)
{
    if (outermost_) currentAnswers = std::make_unique<ProbeAnswers>();
}

ProbeAnswerScope::~ProbeAnswerScope()
{
    if (outermost_) currentAnswers.reset();
}

CommandOutput captureCommandOutput(const std::filesystem::path& executable, const std::string& arguments)
{
    if (!currentAnswers) return runProbe(executable, arguments);
    auto key = std::make_pair(executable.string(), arguments);
    auto known = currentAnswers->find(key);
    if (known == currentAnswers->end()) known = currentAnswers->emplace(std::move(key), runProbe(executable, arguments)).first;
    return known->second;
}

std::optional<ToolchainPaths> probeToolVersion(const std::filesystem::path& executable)
{
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(std::filesystem::status(executable, ignored))) return std::nullopt;
    const CommandOutput answer = captureCommandOutput(executable, "--version");
    if (answer.exitStatus != 0) return std::nullopt;
    std::optional<std::string> version = statedVersion(answer.output.string());
    if (!version) return std::nullopt;
    return ToolchainPaths{std::move(*version), executable, executable.parent_path()};
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
