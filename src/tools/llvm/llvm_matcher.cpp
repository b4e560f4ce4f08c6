#include "tools/llvm/llvm_matcher.h"

#include <utility>

#include <fmt/format.h>

#include "tools/llvm/llvm_archiver.h"
#include "tools/llvm/llvm_compilers.h"
#include "tools/llvm/llvm_linker.h"
#include "tools/llvm/llvm_objcopy.h"
#include "tools/llvm/llvm_tables.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"
#include "util/log.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* NoToolchainPath = "LLVMMatcher requires want variable 'toolchain_path'.";
constexpr const char* NoToolchain = "Couldn't find LLVM toolchain from provided 'wants' variables.";
constexpr const char* CompilerAdded = "LLVM compiler at {} added.\n";
constexpr const char* NoBinDirectory = "LLVM binary directory not found: '{}'.";
constexpr const char* ToolMissing = "Required LLVM tool missing: '{}'.";
}  // namespace Messages

LLVMToolchainInfo findToolchain(const NameMap& variables)
{
    const LLVMWants wants = LLVMWants::fromVariables(variables);
    if (!wants.toolchain_path) throw TolmException(Messages::NoToolchainPath);
    std::optional<LLVMToolchainInfo> chosen =
        LLVMFinder::chooseNewest(LLVMFinder::searchRoot(wants, *wants.toolchain_path));
    if (!chosen) throw TolmException(Messages::NoToolchain);
    return std::move(*chosen);
}

// Any existing file type passes; a path that names nothing does not, also
// when it is a link to nothing.
void requireTool(const std::filesystem::path& path, const char* name)
{
    if (!path.empty()) {
        const std::filesystem::file_type type = std::filesystem::status(path).type();
        if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none) return;
    }
    throw TolmException(fmt::format(Messages::ToolMissing, name));
}

template <typename Tool>
std::shared_ptr<Builder> makeTool(const LLVMToolTable& table, const LLVMToolchainInfo& toolchain,
                                  const std::filesystem::path& executable)
{
    return std::make_shared<Tool>(table.matchSubjects, table.variables, toolchain, executable);
}

}  // namespace

LLVMMatcher::LLVMMatcher(std::string name, const NameMap& variables, const NameMap& required)
    : Matcher(std::move(name), llvmIdentityNames(), NameMap(), variables, required),
      toolchain_(findToolchain(variables))
{
    Log::log(Log::Trace, Messages::CompilerAdded, toolchain_.clang.string());
    const std::filesystem::path& directory = toolchain_.binDirectory;
    if (directory.empty() || !std::filesystem::is_directory(directory))
        throw TolmException(fmt::format(Messages::NoBinDirectory, directory.string()));

    const char* linkerName = isMsvcToolchain(toolchain_.target) ? "lld-link" : "ld.lld";
    requireTool(toolchain_.clang, "clang");
    requireTool(toolchain_.clangxx, "clang++");
    requireTool(toolchain_.ar, "llvm-ar");
    requireTool(toolchain_.objcopy, "llvm-objcopy");
    requireTool(toolchain_.linker, linkerName);

    tools_ = {
        makeTool<LLVM_CLANG>(llvmClangTable(), toolchain_, toolchain_.clang),
        makeTool<LLVM_CLANGPP>(llvmClangppTable(), toolchain_, toolchain_.clangxx),
        makeTool<LLVM_AR>(llvmArTable(), toolchain_, toolchain_.ar),
        makeTool<LLVM_LD>(llvmLdTable(), toolchain_, toolchain_.linker),
        makeTool<LLVM_OBJCOPY>(llvmObjcopyTable(), toolchain_, toolchain_.objcopy),
    };
}

std::unique_ptr<Matcher> LLVMMatcher::clone() const { return std::make_unique<LLVMMatcher>(*this); }

MatchResult LLVMMatcher::match(const TargetContext& target) const
{
    const TargetTriple& triple = toolchain_.target;
    const std::string arch = variableTextOr(target, "ARCH", triple.arch);
    if (!arch.empty() && !Util::ciEquals(arch, triple.arch)) return MatchResult();

    const std::string wantedTriple = variableText(target, "TOOLCHAIN_TRIPLET");
    if (!wantedTriple.empty() && !Util::ciEquals(wantedTriple, triple.text) &&
        !Util::ciEquals(wantedTriple, toolchain_.requestedTarget))
        return MatchResult();

    if (hasVariable(target, "toolchain_version") &&
        !valueMatchesString(getVariable(target, "toolchain_version"), toolchain_.version))
        return MatchResult();

    MatchResult own;
    if (hasVariable(target, "toolchain_min_version")) {
        // A minimum that cannot be compared (a number too large to hold) fails.
        if (!versionAtLeast(toolchain_.version, variableText(target, "toolchain_min_version"))) return MatchResult();
        own.scores[Util::CiString("toolchain_min_version")] = VariableMatch{MatchKind::ExactMatch, 0};
    }

    for (const std::shared_ptr<Builder>& tool : tools_) {
        MatchResult result = tool->matchTarget(target);
        if (!result.possible()) continue;
        for (const auto& [name, score] : own.scores) {
            const auto existing = result.scores.find(name);
            if (existing == result.scores.end() || existing->second.kind == MatchKind::NoMatch)
                result.scores[name] = score;
        }
        return result;
    }
    return own;
}

std::shared_ptr<Builder> LLVMMatcher::selectBuilder(const TargetContext& target)
{
    return chooseTool(tools_, target);
}

void RegisterLLVMMatcher()
{
    // The tables are built before the factory can be called.
    llvmIdentityNames();
    llvmClangTable();
    llvmClangppTable();
    llvmArTable();
    llvmLdTable();
    llvmObjcopyTable();
    registerMatcherFactory("llvm-clang", "NULL", [](Util::CiString name, NameMap variables, NameMap required) -> Matcher* {
        return new LLVMMatcher(name.str(), variables, required);
    });
}

}  // namespace Tolm
