#include "tools/llvm/llvm_finder.h"

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string_view>

#include "tools/probe.h"
#include "tools/toolchain_walk.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"
#include "util/directory_names.h"

namespace fs = std::filesystem;

namespace {

namespace Messages {
std::string invalidTriple(const std::string& triple) { return "Invalid LLVM TOOLCHAIN_TRIPLET '" + triple + "'."; }
}  // namespace Messages

// The candidate bin directories of a search, in order, each once.
std::vector<fs::path> candidateDirectories(const fs::path& givenRoot)
{
    const fs::path root = withoutTrailingSeparator(givenRoot);
    std::set<std::string> visited;
    std::vector<fs::path> found;
    const auto addIfDirectory = [&](const fs::path& directory) {
        if (isDirectoryQuietly(directory) && markVisited(visited, directory)) found.push_back(directory);
    };
    // A root naming a compiler file (or a link to anything) means its directory.
    if (isSymlinkQuietly(root) || isRegularFileQuietly(root)) {
        addIfDirectory(root.parent_path());
        return found;
    }
    if (Util::ciEquals(root.filename().string(), "bin")) {
        addIfDirectory(root);
    } else {
        addIfDirectory(root / "bin");
        addIfDirectory(root / "usr" / "bin");
    }
    if (isDirectoryQuietly(root)) addBinDirectoriesBelow(root, BinDirectoryRules{true, false}, visited, found);
    return found;
}

bool isClangName(const std::string& name)
{
    // Most names of a bin directory fail the first five letters; the
    // expression is for the few that start so.
    if (name.size() < 5 || !Util::ciEquals(std::string_view(name).substr(0, 5), "clang")) return false;
    static const std::regex clangName(R"(^clang(?:-[0-9]+(?:\.[0-9]+)*)?$)", std::regex::ECMAScript | std::regex::icase);
    return std::regex_match(name, clangName);
}

// One clang file of a candidate directory whose companions are all there,
// and what it answers.
struct ClangFile {
    LLVMToolchainInfo toolchain;  // directory, clang and companions so far
    std::string suffix;           // the text after "clang", such as "-17"
    std::string clangText;        // the normalised path of the clang
    CommandOutput version;
    CommandOutput triple;
    int answersDue = 2;
    bool accepted = false;
};

// The clang of `directory` named `name` with all three companions beside
// it, or nothing.
std::optional<ClangFile> withCompanions(const fs::path& directory, const fs::path& clang, const std::string& name)
{
    ClangFile file;
    file.suffix = name.substr(5);
    LLVMToolchainInfo& toolchain = file.toolchain;
    toolchain.binDirectory = directory;
    toolchain.clang = clang;
    toolchain.clangxx = LLVMFinder::findTool(directory, "clang++", file.suffix);
    toolchain.ar = LLVMFinder::findTool(directory, "llvm-ar", file.suffix);
    toolchain.objcopy = LLVMFinder::findTool(directory, "llvm-objcopy", file.suffix);
    if (toolchain.clangxx.empty() || toolchain.ar.empty() || toolchain.objcopy.empty()) return std::nullopt;
    file.clangText = normalizedPathString(clang);
    return file;
}

// Completes the toolchain from the clang's answers; false when a probe
// failed, the linker is missing or the wants refuse it.
bool completeToolchain(const LLVMWants& wants, ClangFile& file)
{
    LLVMToolchainInfo& toolchain = file.toolchain;
    if (file.version.exitStatus != 0 || file.version.output.empty()) return false;
    toolchain.version = file.version.output.string();
    if (file.triple.exitStatus != 0 || file.triple.output.empty()) return false;
    toolchain.requestedTarget = wants.TOOLCHAIN_TRIPLET;
    toolchain.target = parseTargetTriple(file.triple.output.string());

    const char* linker = isMsvcToolchain(toolchain.target) ? "lld-link" : "ld.lld";
    toolchain.linker = LLVMFinder::findTool(toolchain.binDirectory, linker, file.suffix);
    if (toolchain.linker.empty()) return false;

    if (!wants.toolchain_version.empty() && wants.toolchain_version != "0" &&
        !Util::ciEquals(wants.toolchain_version, toolchain.version))
        return false;
    if (!versionAtLeast(toolchain.version, wants.toolchain_min_version)) return false;
    return wants.arch.empty() || Util::ciEquals(wants.arch, toolchain.target.arch);
}

// Asks the clang files of a search, grouped by the file they lead to. Of
// each group the first one in search order that makes a toolchain is kept
// and the later ones are not asked; one that does not make a toolchain hands
// on to the next of its group. Different files are asked all at once.
class ClangQuestions {
public:
    ClangQuestions(const LLVMWants& wants, std::vector<ClangFile>& files) : wants_(wants)
    {
        for (ClangFile& file : files) groups_[file.clangText].push_back(&file);
        if (!wants.TOOLCHAIN_TRIPLET.empty())
            tripleQuestion_ = "--target=" + wants.TOOLCHAIN_TRIPLET + " " + tripleQuestion_;
    }

    void run()
    {
        for (const auto& [clangText, group] : groups_) ask(group, 0);
        batch_.run();
    }

private:
    void ask(const std::vector<ClangFile*>& group, std::size_t place)
    {
        ClangFile& file = *group[place];
        const auto answered = [this, &file, &group, place] {
            if (--file.answersDue > 0) return;
            file.accepted = completeToolchain(wants_, file);
            if (!file.accepted && place + 1 < group.size()) ask(group, place + 1);
        };
        batch_.ask(file.toolchain.clang, "-dumpversion", [&file, answered](const CommandOutput& answer) {
            file.version = answer;
            answered();
        });
        batch_.ask(file.toolchain.clang, tripleQuestion_, [&file, answered](const CommandOutput& answer) {
            file.triple = answer;
            answered();
        });
    }

    const LLVMWants& wants_;
    std::string tripleQuestion_ = "-print-target-triple";
    std::map<std::string, std::vector<ClangFile*>> groups_;
    ProbeBatch batch_;
};

std::string resultKey(const ClangFile& file)
{
    return file.clangText + "|" + file.toolchain.version + "|" + file.toolchain.target.text;
}

}  // namespace

LLVMWants LLVMWants::fromVariables(const std::map<Util::CiString, Tolm::Assignment>& variables)
{
    static const std::regex tripleCharacters(R"(^[A-Za-z0-9_.+\-]+$)");
    LLVMWants wants;
    const std::string path = Tolm::lookupVariableText(variables, "toolchain_path");
    if (!path.empty()) wants.toolchain_path = path;
    wants.toolchain_version = Tolm::lookupVariableText(variables, "toolchain_version");
    wants.toolchain_min_version = Tolm::lookupVariableText(variables, "toolchain_min_version");
    wants.TOOLCHAIN_TRIPLET = Tolm::lookupVariableText(variables, "TOOLCHAIN_TRIPLET");
    wants.arch = Tolm::lookupVariableText(variables, "arch");
    if (!wants.TOOLCHAIN_TRIPLET.empty() && !std::regex_match(wants.TOOLCHAIN_TRIPLET, tripleCharacters))
        throw Tolm::TolmException(Messages::invalidTriple(wants.TOOLCHAIN_TRIPLET));
    return wants;
}

namespace LLVMFinder {

std::vector<LLVMToolchainInfo> searchRoot(const LLVMWants& wants, const fs::path& root)
{
    // Every clang with its companions, in search order, before any is asked.
    std::vector<ClangFile> files;
    for (const fs::path& directory : candidateDirectories(root)) {
        if (!isDirectoryQuietly(directory)) continue;
        for (const std::string& fileName : Util::directoryNames(directory)) {
            // The name first: it needs no system call.
            const std::string name = nameWithoutExe(fileName);
            if (!isClangName(name)) continue;
            const fs::path file = directory / fileName;
            if (!isSymlinkQuietly(file) && !isRegularFileQuietly(file)) continue;
            std::optional<ClangFile> clang = withCompanions(directory, file, name);
            if (!clang) continue;
            files.push_back(std::move(*clang));
        }
    }

    ClangQuestions(wants, files).run();

    // The toolchains in search order, each key once.
    std::vector<LLVMToolchainInfo> result;
    std::set<std::string> keys;
    for (ClangFile& file : files)
        if (file.accepted && keys.insert(resultKey(file)).second)
            result.push_back(std::move(file.toolchain));
    return result;
}

fs::path findTool(const fs::path& directory, const std::string& name, const std::string& suffix)
{
    for (const fs::path& candidate : {directory / (name + suffix), directory / (name + suffix + ".exe")})
        if (isRegularFileQuietly(candidate) || isSymlinkQuietly(candidate)) return candidate;
    return {};
}

std::optional<LLVMToolchainInfo> chooseNewest(const std::vector<LLVMToolchainInfo>& found)
{
    const LLVMToolchainInfo* kept = nullptr;
    for (const LLVMToolchainInfo& candidate : found) {
        const bool better = kept == nullptr || compareVersionsNumeric(candidate.version, kept->version) > 0 ||
                            (!splitVersionNumeric(kept->version) && splitVersionNumeric(candidate.version));
        if (better) kept = &candidate;
    }
    if (kept == nullptr) return std::nullopt;
    return *kept;
}

}  // namespace LLVMFinder

TargetTriple parseTargetTriple(const std::string& text)
{
    TargetTriple triple;
    triple.text = text;
    std::istringstream in(text);
    std::string piece;
    for (std::size_t index = 0; std::getline(in, piece, '-'); ++index) {
        switch (index) {
        case 0: triple.arch = piece; break;
        case 1: triple.vendor = piece; break;
        case 2: triple.os = piece; break;
        case 3: triple.abi = piece; break;
        default: triple.abi += "-" + piece; break;
        }
    }
    return triple;
}

bool isWindowsToolchain(const TargetTriple& target)
{
    return Util::ciEquals(target.os, "windows") || Util::ciEquals(target.os, "win32");
}

bool isMsvcToolchain(const TargetTriple& target)
{
    return isWindowsToolchain(target) && Util::ciFind(target.abi, "msvc") != Util::npos;
}

std::optional<std::vector<std::uint32_t>> splitVersionNumeric(const std::string& version)
{
    std::vector<std::uint32_t> parts;
    std::istringstream in(version);
    std::string piece;
    while (std::getline(in, piece, '.')) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
            value = value * 10 + static_cast<std::uint64_t>(piece[i] - '0');
            if (value > UINT32_MAX) return std::nullopt;
        }
        parts.push_back(static_cast<std::uint32_t>(value));
    }
    return parts;
}

std::partial_ordering compareVersionsNumeric(const std::string& a, const std::string& b)
{
    const std::optional<std::vector<std::uint32_t>> left = splitVersionNumeric(a);
    const std::optional<std::vector<std::uint32_t>> right = splitVersionNumeric(b);
    if (!left || !right) return std::partial_ordering::unordered;
    const std::size_t length = std::max(left->size(), right->size());
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint32_t l = i < left->size() ? (*left)[i] : 0;
        const std::uint32_t r = i < right->size() ? (*right)[i] : 0;
        if (l != r) return l <=> r;
    }
    return std::partial_ordering::equivalent;
}

bool versionAtLeast(const std::string& version, const std::string& minimum)
{
    if (minimum.empty() || minimum == "0") return true;
    return compareVersionsNumeric(version, minimum) >= 0;
}
