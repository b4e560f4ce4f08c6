#include "tools/gnu/gnu_finder.h"

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string_view>

#include "tools/probe.h"
#include "tools/toolchain_walk.h"
#include "types/context_template.h"
#include "types/value_factories.h"
#include "types/variable_access.h"
#include "util/directory_names.h"

namespace fs = std::filesystem;

namespace {

// The compiler names a family accepts, as a pattern.
std::string familyPattern(const std::string& family)
{
    if (Util::ciEquals(family, "gcc")) return "(?:gcc|cc)";
    if (Util::ciEquals(family, R"(g\+\+)")) return R"((?:g\+\+|c\+\+))";
    return family;
}

std::string answerText(const CommandOutput& answer)
{
    return answer.exitStatus == 0 ? answer.output.string() : std::string();
}

// One compiler file of a directory and what it says of itself.
struct CompilerFile {
    fs::path path;
    std::string versionInName;  // the version its name ends with, if any
    std::string machine;
    std::string version;
    int firstAnswersDue = 2;
};

// Asks a compiler its machine and full version at once; only when it names
// a machine but no full version is it asked for -dumpversion as well.
void askCompiler(ProbeBatch& batch, CompilerFile& compiler)
{
    const auto firstAnswered = [&batch, &compiler] {
        if (--compiler.firstAnswersDue > 0 || compiler.machine.empty() || !compiler.version.empty()) return;
        batch.ask(compiler.path, "-dumpversion",
                  [&compiler](const CommandOutput& answer) { compiler.version = answerText(answer); });
    };
    batch.ask(compiler.path, "-dumpmachine", [&compiler, firstAnswered](const CommandOutput& answer) {
        compiler.machine = answerText(answer);
        firstAnswered();
    });
    batch.ask(compiler.path, "-dumpfullversion", [&compiler, firstAnswered](const CommandOutput& answer) {
        compiler.version = answerText(answer);
        firstAnswered();
    });
}

// The two names a family's compilers go by, for the families the searches
// use; empty for any other family text.
std::vector<std::string_view> familyNames(const std::string& family)
{
    if (Util::ciEquals(family, "gcc")) return {"gcc", "cc"};
    if (Util::ciEquals(family, R"(g\+\+)")) return {"g++", "c++"};
    return {};
}

// "." of the patterns: any byte but a line end.
bool anyBytes(std::string_view text)
{
    return text.find_first_of("\r\n") == std::string_view::npos;
}

// Whether `text` is one of the names, alone or after a prefix ending in "-"
// with at least one byte before that "-".
bool isCompilerStem(std::string_view text, const std::vector<std::string_view>& names)
{
    for (std::string_view name : names) {
        if (!text.ends_with(name)) continue;
        const std::string_view prefix = text.substr(0, text.size() - name.size());
        if (prefix.empty() || (prefix.size() >= 2 && prefix.back() == '-' && anyBytes(prefix.substr(0, prefix.size() - 1))))
            return true;
    }
    return false;
}

// Digits, optionally followed by groups of a dot and digits.
bool isDottedNumber(std::string_view text)
{
    bool digitBefore = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else if (c == '.' && digitBefore) {
            digitBefore = false;
        } else {
            return false;
        }
    }
    return digitBefore;
}

// The name read through the family's patterns with the library's regular
// expressions, for a family text of the caller's own.
GNUFinder::CompilerName readWithPatterns(const std::string& family, const std::string& name)
{
    const std::string pattern = familyPattern(family);
    const std::regex compilerName("^(?:.+-)?" + pattern + R"((?:-[0-9]+(?:\.[0-9]+)*)?$)");
    const std::regex versionInName("^(?:.+-)?" + pattern + R"(-([0-9]+(?:\.[0-9]+)*)$)");
    GNUFinder::CompilerName result;
    result.matches = std::regex_match(name, compilerName);
    std::smatch match;
    if (result.matches && std::regex_match(name, match, versionInName)) result.version = match.str(1);
    return result;
}

// The compilers of one family in one directory: listed first, then asked
// through a batch that other scans may share, then read in listing order.
class DirectoryScan {
public:
    // `names` is the directory's listing, read once for every family.
    DirectoryScan(const std::string& family, const fs::path& directory, const std::vector<std::string>& names)
    {
        directoryText_ = normalizedPathString(directory);
        std::set<std::string> visitedFiles;
        for (const std::string& fileName : names) {
            // The name first: it needs no system call, and most entries of a
            // bin directory are no compiler of the family.
            const GNUFinder::CompilerName compiler = GNUFinder::readCompilerName(family, nameWithoutExe(fileName));
            if (!compiler.matches) continue;
            const fs::path path = directory / fileName;
            std::error_code error;
            const bool regular = fs::is_regular_file(fs::status(path, error));
            if (error) continue;
            if (!regular && !fs::is_symlink(fs::symlink_status(path, error))) continue;
            // Only compiler names count as seen: another name of the same
            // file (gnatgcc linked to gcc) must not hide it, whatever the
            // listing order.
            if (!markVisited(visitedFiles, path)) continue;
            compilers_.push_back({path, compiler.version, {}, {}});
        }
    }

    // The compilers are not moved once asked: the answers land in them.
    void ask(ProbeBatch& batch)
    {
        for (CompilerFile& compiler : compilers_) askCompiler(batch, compiler);
    }

    // The compilers that named a machine, one per machine and version.
    std::vector<GNUCompilerProbe> probes() const
    {
        std::vector<GNUCompilerProbe> probes;
        std::set<std::string> keys;
        for (const CompilerFile& compiler : compilers_) {
            if (compiler.machine.empty()) continue;
            GNUCompilerProbe probe{compiler.version.empty() ? compiler.versionInName : compiler.version,
                                   compiler.machine, compiler.path.string()};
            if (keys.insert(directoryText_ + "|" + probe.machine + "|" + probe.version).second)
                probes.push_back(std::move(probe));
        }
        return probes;
    }

private:
    std::string directoryText_;
    std::vector<CompilerFile> compilers_;
};

// Names one toolchain across the searches: directory, triplet and version.
std::string toolchainKey(const GNUToolchainInfo& toolchain)
{
    return normalizedPathString(toolchain.toolchainPath) + "|" + toolchain.prefix + "|" + toolchain.version;
}

// The bin directories a search looks into, in order, each once.
std::vector<fs::path> binDirectories(const fs::path& root)
{
    std::set<std::string> visited;
    std::vector<fs::path> found;
    const auto addIfDirectory = [&](const fs::path& directory) {
        if (isDirectoryQuietly(directory) && markVisited(visited, directory)) found.push_back(directory);
    };
    if (root.filename() == "bin") {
        addIfDirectory(root);
    } else {
        addIfDirectory(root / "bin");
        addIfDirectory(root / "usr" / "bin");
    }
    if (isDirectoryQuietly(root)) addBinDirectoriesBelow(root, BinDirectoryRules{}, visited, found);
    return found;
}

bool accepts(const GNUWants& wants, const GNUToolchainInfo& toolchain)
{
    const auto matches = [](const std::string& wanted, const std::string& actual) {
        return wanted.empty() || Util::ciEquals(wanted, actual);
    };
    if (!matches(wants.arch, toolchain.arch) || !matches(wants.prefix, toolchain.prefix) ||
        !matches(wants.os, toolchain.os) || !matches(wants.abi, toolchain.abi))
        return false;
    if (!wants.toolchain_version.empty() && wants.toolchain_version != "0" &&
        !Util::ciEquals(wants.toolchain_version, toolchain.version))
        return false;
    return versionSatisfiesMinimum(toolchain.version, wants.toolchain_min_version);
}

Tolm::Assignment textAssignment(const char* name, const std::string& text)
{
    return Tolm::Assignment(name, Tolm::makeStringValue(text), Tolm::Assignment::AssignType::Set,
                            Tolm::Assignment::NoModifier);
}

std::shared_ptr<Tolm::ContextTemplate> gnuDefinition(const GNUToolchainInfo& toolchain)
{
    const std::string version = toolchain.version.empty() ? "0" : toolchain.version;
    const std::string name =
        "default_gnu_" + sanitizeToolchainName(toolchain.arch) + "_" + sanitizeToolchainName(version);
    return makeContextTemplate({
        textAssignment("toolchain_name", name),
        textAssignment("tool_type", "gnu-gcc"),
        textAssignment("toolchain_version", version),
        textAssignment("prefix", toolchain.prefix),
        textAssignment("arch", toolchain.arch),
        textAssignment("os", toolchain.os),
        textAssignment("abi", toolchain.abi),
        textAssignment("toolchain_path", toolchain.toolchainPath.string()),
    });
}

}  // namespace

GNUWants GNUWants::fromVariables(const std::map<Util::CiString, Tolm::Assignment>& variables)
{
    GNUWants wants;
    const std::string path = Tolm::lookupVariableText(variables, "toolchain_path");
    if (!path.empty()) wants.toolchain_path = path;
    wants.prefix = Tolm::lookupVariableText(variables, "prefix");
    wants.arch = Tolm::lookupVariableText(variables, "arch");
    wants.os = Tolm::lookupVariableText(variables, "os");
    wants.abi = Tolm::lookupVariableText(variables, "abi");
    wants.toolchain_version = Tolm::lookupVariableText(variables, "toolchain_version");
    wants.toolchain_min_version = Tolm::lookupVariableText(variables, "toolchain_min_version");
    return wants;
}

namespace GNUFinder {

std::vector<GNUToolchainInfo> searchRoot(const GNUWants& wants, fs::path root)
{
    root = withoutTrailingSeparator(root);
    struct BinScan {
        fs::path directory;
        DirectoryScan c;
        DirectoryScan cpp;
    };
    // Every directory is listed before any compiler is asked, so all of them
    // are asked at once.
    std::vector<BinScan> scans;
    for (const fs::path& directory : binDirectories(root)) {
        try {
            if (!isDirectoryQuietly(directory)) continue;
            const std::vector<std::string> names = Util::directoryNames(directory);
            scans.push_back(
                {directory, DirectoryScan("gcc", directory, names), DirectoryScan(R"(g\+\+)", directory, names)});
        } catch (const fs::filesystem_error&) {
            continue;  // a directory that changes under the scan adds nothing
        }
    }
    ProbeBatch batch;
    for (BinScan& scan : scans) {
        scan.c.ask(batch);
        scan.cpp.ask(batch);
    }
    batch.run();

    std::vector<GNUToolchainInfo> result;
    std::set<std::string> keys;
    for (const BinScan& scan : scans) {
        std::vector<GNUToolchainInfo> selected;
        selectCandidates(wants, scan.directory.parent_path(), scan.c.probes(), selected);
        selectCandidates(wants, scan.directory.parent_path(), scan.cpp.probes(), selected);
        for (GNUToolchainInfo& toolchain : selected)
            if (keys.insert(toolchainKey(toolchain)).second) result.push_back(std::move(toolchain));
    }
    return result;
}

CompilerName readCompilerName(const std::string& family, const std::string& name)
{
    // By hand for the two families the searches use: compiling the regular
    // expressions costs more than reading a whole bin directory.
    const std::vector<std::string_view> names = familyNames(family);
    if (names.empty()) return readWithPatterns(family, name);
    CompilerName result;
    // A version suffix holds no "-", so it can only start at the last one.
    const std::size_t dash = name.rfind('-');
    if (dash != std::string::npos) {
        const std::string_view version = std::string_view(name).substr(dash + 1);
        if (isDottedNumber(version) && isCompilerStem(std::string_view(name).substr(0, dash), names)) {
            result.matches = true;
            result.version = version;
            return result;
        }
    }
    result.matches = isCompilerStem(name, names);
    return result;
}

std::vector<GNUCompilerProbe> scanDirectory(const std::string& family, const fs::path& directory)
{
    if (!isDirectoryQuietly(directory)) return {};
    DirectoryScan scan(family, directory, Util::directoryNames(directory));
    ProbeBatch batch;
    scan.ask(batch);
    batch.run();
    return scan.probes();
}

void selectCandidates(const GNUWants& wants, const fs::path& rootPath, const std::vector<GNUCompilerProbe>& probes,
                      std::vector<GNUToolchainInfo>& output)
{
    for (const GNUCompilerProbe& probe : probes) {
        std::vector<std::string> parts;
        std::istringstream machine(probe.machine);
        for (std::string part; std::getline(machine, part, '-');) parts.push_back(part);
        parts.resize(std::max<std::size_t>(parts.size(), 3));

        GNUToolchainInfo toolchain{probe.version,
                                   probe.machine,
                                   parts[0],
                                   parts[1],
                                   parts[2],
                                   fs::path(probe.executable).parent_path(),
                                   rootPath};
        if (accepts(wants, toolchain)) output.push_back(std::move(toolchain));
    }
}

}  // namespace GNUFinder

std::vector<std::shared_ptr<Tolm::ContextTemplate>> findGnuToolchains(const std::vector<fs::path>& roots)
{
    const GNUWants wants = GNUWants::fromVariables({});
    std::vector<std::shared_ptr<Tolm::ContextTemplate>> definitions;
    std::set<std::string> keys;
    for (const fs::path& root : roots)
        for (const GNUToolchainInfo& toolchain : GNUFinder::searchRoot(wants, root))
            if (keys.insert(toolchainKey(toolchain)).second) definitions.push_back(gnuDefinition(toolchain));
    return definitions;
}
