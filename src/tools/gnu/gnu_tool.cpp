#include "tools/gnu/gnu_tool.h"

#include <sstream>
#include <system_error>
#include <utility>

namespace Tolm {

namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::path& candidate)
{
    std::error_code error;
    const fs::file_status status = fs::status(candidate, error);
    if (error || !fs::is_regular_file(status)) return false;
    constexpr fs::perms anyExecute = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    return (status.permissions() & anyExecute) != fs::perms::none;
}

}  // namespace

GNUTool::GNUTool(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
                 fs::path executable)
    : CBuilder(std::move(matchSubjects), std::move(toolVariables)),
      toolchain_(std::move(toolchain)),
      executable_(std::move(executable))
{
}

fs::path GNUTool::toolPath(const fs::path& binDirectory, const std::string& prefix, const std::string& tool)
{
    const std::string prefixed = prefix + "-" + tool;
    for (const std::string& name : {prefixed, prefixed + ".exe", tool, tool + ".exe"}) {
        fs::path candidate = binDirectory / name;
        if (isExecutableFile(candidate)) return candidate;
    }
    return {};
}

std::string GNUTool::name() const { return executable_.filename().string(); }

std::vector<Command> GNUTool::createCommands(Context& job)
{
    std::vector<Command> commands = CBuilder::createCommands(job);
    if (!toolchain_.toolchainPath.empty())
        for (Command& command : commands) command.pathDirectories.push_back(toolchain_.toolchainPath);
    return commands;
}

std::string GNUTool::toolchainId() const { return toolchain_.arch + "-" + toolchain_.os + "-" + toolchain_.abi; }

bool GNUTool::readSharedRequest(const Context& target) const { return gnuAsksForSharedObject(target); }

std::string GNUTool::quotedExecutable() const { return quotedPath(executable_.string()); }

std::string GNUTool::outputNameOr(const std::string& outputName, const std::string& fallback)
{
    return outputName.empty() ? fallback : outputName;
}

std::string GNUTool::fileNameOr(const std::string& outputName, const std::string& targetName,
                                const std::string& extension)
{
    return outputName.empty() ? fs::path(targetName).replace_extension(extension).string() : outputName;
}

bool gnuAsksForSharedObject(const Context& target) { return asksForSharedLibrary(target, {"SO", "SHARED"}); }

bool gnuHasCompileOnlyFlag(const std::string& flags)
{
    std::istringstream words(flags);
    for (std::string word; words >> word;)
        if (word == "-c") return true;
    return false;
}

}  // namespace Tolm
