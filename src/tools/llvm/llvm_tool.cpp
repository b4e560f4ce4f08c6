#include "tools/llvm/llvm_tool.h"

#include <sstream>
#include <utility>

#include "types/variable_access.h"
#include "util/ci_string.h"

namespace Tolm {

LLVMTool::LLVMTool(NameMap matchSubjects, ToolVariableMap toolVariables, LLVMToolchainInfo toolchain,
                   std::filesystem::path executable)
    : CBuilder(std::move(matchSubjects), std::move(toolVariables)),
      toolchain_(std::move(toolchain)),
      executable_(std::move(executable))
{
}

std::string LLVMTool::name() const { return executable_.filename().string(); }

std::vector<Command> LLVMTool::createCommands(Context& job)
{
    std::vector<Command> commands = CBuilder::createCommands(job);
    if (!toolchain_.binDirectory.empty())
        for (Command& command : commands) command.pathDirectories.push_back(toolchain_.binDirectory);
    return commands;
}

std::string LLVMTool::toolchainId() const { return toolchain_.target.text; }

bool LLVMTool::readSharedRequest(const Context& target) const { return llvmAsksForSharedLibrary(target); }

bool LLVMTool::windows() const { return isWindowsToolchain(toolchain_.target); }

bool LLVMTool::msvc() const { return isMsvcToolchain(toolchain_.target); }

std::string LLVMTool::quotedExecutable() const { return quotedPath(executable_.string()); }

std::string LLVMTool::defaultBinaryName(const std::string& base) const
{
    return windows() ? withDefaultExtension(base, ".exe") : base;
}

std::string LLVMTool::sharedLibraryName(const std::string& base) const
{
    return withDefaultExtension(base, windows() ? ".dll" : ".so");
}

const char* LLVMTool::sharedPathVariable() const { return windows() ? "DLL" : "SO"; }

const char* LLVMTool::sharedNameVariable() const { return windows() ? "DLL_NAME" : "SO_NAME"; }

std::string withDefaultExtension(const std::string& name, const std::string& extension)
{
    return std::filesystem::path(name).has_extension() ? name : name + extension;
}

bool hasCompileOnlyFlag(const std::string& flags)
{
    std::istringstream words(flags);
    for (std::string word; words >> word;)
        if (word == "-c") return true;
    return false;
}

bool outputNameHasExtension(const Context& context, const std::string& extension)
{
    if (!hasVariable(context, "OUTPUT_NAME")) return false;
    if (variableModifier(context, "OUTPUT_NAME") == Assignment::OutputModifier) return false;
    const TolmValuePtr value = getVariable(context, "OUTPUT_NAME");
    if (!value) return false;
    return Util::ciEquals(std::filesystem::path(value->toString()).extension().string(), extension);
}

bool llvmAsksForSharedLibrary(const Context& target) { return asksForSharedLibrary(target, {"SO", "SHARED", "DLL"}); }

std::string outputNameOr(const Context& context, const std::string& fallback)
{
    return hasVariable(context, "OUTPUT_NAME") ? variableText(context, "OUTPUT_NAME") : fallback;
}

}  // namespace Tolm
