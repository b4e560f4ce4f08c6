#include "tools/gnu/gnu_matcher.h"

#include <map>
#include <system_error>
#include <utility>

#include "tools/gnu/gnu_binutils.h"
#include "tools/gnu/gnu_compilers.h"
#include "tools/gnu/gnu_tables.h"
#include "tools/probe.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace Tolm {

namespace fs = std::filesystem;

namespace {

namespace Messages {
constexpr const char* NoToolchainPath = "GNUMatcher requires want variable 'toolchain_path'.";
constexpr const char* NoToolchain = "Couldn't find GNU toolchain from provided 'wants' variables.";
constexpr const char* CompilerAdded = "Compiler at {} added.\n";
constexpr const char* NoBinDirectory = "GNU binary directory not found: '{}'.";
constexpr const char* ToolMissing = "Required GNU tool missing: '{}'.";
}  // namespace Messages

constexpr const char* VersionWant = "toolchain_version";
constexpr const char* MinVersionWant = "toolchain_min_version";

// The machine the plain compiler of a directory builds for; empty when
// neither gcc nor cc there answers.
std::string plainCompilerMachine(const fs::path& directory)
{
    for (const char* name : {"gcc", "cc"}) {
        const CommandOutput answer = captureCommandOutput(directory / name, "-dumpmachine");
        if (answer.exitStatus == 0 && !answer.output.empty()) return answer.output.string();
    }
    return {};
}

// The toolchains built by the plain compiler of their own directory.
std::vector<GNUToolchainInfo> hostToolchains(const std::vector<GNUToolchainInfo>& found)
{
    std::map<std::string, std::string> machineOfDirectory;
    std::vector<GNUToolchainInfo> host;
    for (const GNUToolchainInfo& toolchain : found) {
        const std::string directory = normalizedPathString(toolchain.toolchainPath);
        auto known = machineOfDirectory.find(directory);
        if (known == machineOfDirectory.end())
            known = machineOfDirectory.emplace(directory, plainCompilerMachine(toolchain.toolchainPath)).first;
        if (!known->second.empty() && Util::ciEquals(known->second, toolchain.prefix)) host.push_back(toolchain);
    }
    return host;
}

// The highest version; the first found among equal ones.
GNUToolchainInfo newest(const std::vector<GNUToolchainInfo>& candidates)
{
    std::size_t taken = 0;
    for (std::size_t i = 1; i < candidates.size(); ++i)
        if (compareVersions(candidates[i].version, candidates[taken].version) == 1) taken = i;
    return candidates[taken];
}

bool isDirectory(const fs::path& path)
{
    std::error_code error;
    return !path.empty() && fs::is_directory(path, error);
}

std::shared_ptr<Builder> makeTool(GNUToolIndex index, const GNUToolchainInfo& toolchain, fs::path executable)
{
    const GNUToolTable& table = gnuToolTables()[index];
    switch (index) {
    case GccTool:
        return std::make_shared<GNU_GCC>(table.matchSubjects, table.variables, toolchain, std::move(executable));
    case GppTool:
        return std::make_shared<GNU_GPP>(table.matchSubjects, table.variables, toolchain, std::move(executable));
    case ArTool:
        return std::make_shared<GNU_AR>(table.matchSubjects, table.variables, toolchain, std::move(executable));
    case LdTool:
        return std::make_shared<GNU_LD>(table.matchSubjects, table.variables, toolchain, std::move(executable));
    case ObjcopyTool:
        break;
    }
    return std::make_shared<GNU_OBJCOPY>(table.matchSubjects, table.variables, toolchain, std::move(executable));
}

// The value of the named entry; null when absent.
TolmValuePtr valueOf(const NameMap& variables, const char* name)
{
    const auto entry = variables.find(name);
    return entry == variables.end() ? nullptr : entry->second.value;
}

// A target's wishes about the version.
bool versionFits(const VariableMap& variables, const std::string& version)
{
    if (hasVariable(variables, VersionWant) && !valueMatchesString(getVariable(variables, VersionWant), version))
        return false;
    return !hasVariable(variables, MinVersionWant) ||
           versionSatisfiesMinimum(version, variableText(variables, MinVersionWant));
}

// The highest version among the host's toolchains when the definition wants
// no particular machine and there are any; among all of them otherwise.
GNUToolchainInfo chooseGnuToolchain(const std::vector<GNUToolchainInfo>& found, const GNUWants& wants)
{
    if (found.empty()) throw TolmException(Messages::NoToolchain);
    if (wants.prefix.empty() && wants.arch.empty()) {
        const std::vector<GNUToolchainInfo> host = hostToolchains(found);
        if (!host.empty()) return newest(host);
    }
    return newest(found);
}

}  // namespace

GNUMatcher::GNUMatcher(std::string name, NameMap variables, NameMap required)
    : Matcher(std::move(name), gnuIdentityNames(), NameMap(), variables, required)
{
    const GNUWants wants = GNUWants::fromVariables(variables);
    if (!wants.toolchain_path) throw TolmException(Messages::NoToolchainPath);
    {
        // The search has usually asked the directory's gcc already.
        ProbeAnswerScope answers;
        toolchain_ = chooseGnuToolchain(GNUFinder::searchRoot(wants, *wants.toolchain_path), wants);
    }
    Log::log(LogLevel::Trace, Messages::CompilerAdded, wants.toolchain_path->string());

    if (!isDirectory(toolchain_.toolchainPath))
        throw TolmException(fmt::format(Messages::NoBinDirectory, toolchain_.toolchainPath.string()));
    for (GNUToolIndex index : {GccTool, GppTool, ArTool, LdTool, ObjcopyTool}) {
        const std::string& executable = gnuToolTables()[index].executable;
        fs::path path = GNUTool::toolPath(toolchain_.toolchainPath, toolchain_.prefix, executable);
        if (path.empty()) {
            const fs::path expected = toolchain_.toolchainPath / (toolchain_.prefix + "-" + executable);
            throw TolmException(fmt::format(Messages::ToolMissing, expected.string()));
        }
        tools_.push_back(makeTool(index, toolchain_, std::move(path)));
    }
}

std::unique_ptr<Matcher> GNUMatcher::clone() const { return std::make_unique<GNUMatcher>(*this); }

MatchResult GNUMatcher::match(const TargetContext& target) const
{
    const VariableMap& wishes = target.assignments;
    const std::string arch = hasVariable(wishes, "ARCH") ? variableText(wishes, "ARCH") : toolchain_.arch;
    if (!arch.empty() && !Util::ciEquals(arch, toolchain_.arch)) return {};
    if (hasVariable(wishes, "TOOLCHAIN_TRIPLET")) {
        const std::string triplet = variableText(wishes, "TOOLCHAIN_TRIPLET");
        if (!triplet.empty() && !Util::ciEquals(triplet, toolchain_.prefix)) return {};
    }
    if (!versionFits(wishes, toolchain_.version)) return {};
    // The definition's own wants count only with a value; its version "0"
    // accepted any version when the toolchain was chosen, so it does not
    // turn every target away now.
    const TolmValuePtr ownVersion = valueOf(variables, VersionWant);
    if (ownVersion && ownVersion->toString() != "0" && !valueMatchesString(ownVersion, toolchain_.version)) return {};
    const TolmValuePtr ownMinimum = valueOf(variables, MinVersionWant);
    if (ownMinimum && !versionSatisfiesMinimum(toolchain_.version, ownMinimum->toString())) return {};

    MatchResult result;
    for (const std::shared_ptr<Builder>& tool : tools_) {
        result = tool->matchTarget(target);
        if (result.possible()) break;
    }
    return result;
}

std::shared_ptr<Builder> GNUMatcher::selectBuilder(const TargetContext& target)
{
    return chooseTool(tools_, target);
}

void RegisterGNUMatcher()
{
    registerMatcherFactory("gnu-gcc", "NULL", [](Util::CiString name, NameMap variables, NameMap required) -> Matcher* {
        return new GNUMatcher(name.str(), std::move(variables), std::move(required));
    });
}

}  // namespace Tolm
