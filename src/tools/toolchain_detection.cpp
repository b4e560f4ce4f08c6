#include "tools/toolchain_detection.h"

#include <map>
#include <set>

#include "tools/gnu/gnu_finder.h"
#include "tools/probe.h"
#include "types/context_template.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace fs = std::filesystem;
using Definitions = std::vector<std::shared_ptr<Tolm::ContextTemplate>>;

namespace {

namespace Messages {
constexpr const char* SameName =
    "Toolchain '{}' found at '{}' is not stored: the toolchain at '{}' has the same name and is kept.\n";
}  // namespace Messages

Tolm::Assignment textAssignment(const char* name, const std::string& text)
{
    return Tolm::Assignment(name, Tolm::makeStringValue(text), Tolm::Assignment::AssignType::Set,
                            Tolm::Assignment::NoModifier);
}

std::string definitionText(const Tolm::ContextTemplate& definition, const char* name)
{
    for (const Tolm::Assignment& assignment : definition.assignments)
        if (Util::ciEquals(assignment.name, name) && assignment.value) return assignment.value->toString();
    return {};
}

Definitions llvmDefinitions(const std::vector<fs::path>& roots)
{
    const LLVMWants wants = LLVMWants::fromVariables({});
    Definitions definitions;
    std::set<std::string> keys;
    for (const fs::path& root : roots) {
        for (const LLVMToolchainInfo& toolchain : LLVMFinder::searchRoot(wants, root)) {
            const std::string key =
                normalizePath(toolchain.clang).string() + "|" + toolchain.version + "|" + toolchain.target.text;
            if (keys.insert(key).second) definitions.push_back(llvmToolchainDefinition(toolchain));
        }
    }
    return definitions;
}

// Appends the definitions whose names are still free; warns about the rest.
void appendByName(Definitions& kept, std::map<Util::CiString, std::string>& pathsByName, const Definitions& found)
{
    for (const std::shared_ptr<Tolm::ContextTemplate>& definition : found) {
        const std::string name = definitionText(*definition, "toolchain_name");
        const std::string path = definitionText(*definition, "toolchain_path");
        const auto [existing, added] = pathsByName.emplace(name, path);
        if (!added) {
            Log::log(LogLevel::Warning, Messages::SameName, name, path, existing->second);
            continue;
        }
        kept.push_back(definition);
    }
}

}  // namespace

std::shared_ptr<Tolm::ContextTemplate> llvmToolchainDefinition(const LLVMToolchainInfo& toolchain)
{
    const TargetTriple& target = toolchain.target;
    const std::string name =
        "default_llvm_" + sanitizeToolchainName(target.text) + "_" + sanitizeToolchainName(toolchain.version);
    return makeContextTemplate({
        textAssignment("toolchain_name", name),
        textAssignment("tool_type", "llvm-clang"),
        textAssignment("toolchain_version", toolchain.version),
        textAssignment("TOOLCHAIN_TRIPLET", target.text),
        textAssignment("arch", target.arch),
        textAssignment("vendor", target.vendor),
        textAssignment("os", target.os),
        textAssignment("abi", target.abi),
        textAssignment("toolchain_path", toolchain.binDirectory.string()),
    });
}

Definitions detectToolchains(const DetectionRoots& roots)
{
    Definitions kept;
    std::map<Util::CiString, std::string> pathsByName;
    appendByName(kept, pathsByName, findGnuToolchains(roots.gnu));
    appendByName(kept, pathsByName, llvmDefinitions(roots.llvm));
    return kept;
}
