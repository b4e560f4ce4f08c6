#include "tools/c3_matcher.h"

#include <utility>
#include <vector>

#include "tools/c3_toolchain_search.h"
#include "tools/tool_tables.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* NoToolchainPath = "C3Matcher requires want variable 'toolchain_path'.";
constexpr const char* NoToolchain = "Couldn't find C3 toolchain from provided 'wants' variables.";
}  // namespace Messages

constexpr const char* PathWant = "toolchain_path";
constexpr const char* VersionWant = "toolchain_version";
constexpr const char* MinVersionWant = "toolchain_min_version";

// The matcher's base variables.
const NameMap& c3MatcherVariables()
{
    static const NameMap table =
        makeAssignmentMap({{"C3C", nullptr}, {PathWant, nullptr}, {VersionWant, nullptr}, {MinVersionWant, nullptr}});
    return table;
}

C3Wants readWants(const NameMap& definition)
{
    C3Wants wants;
    const std::string path = lookupVariableText(definition, PathWant);
    if (path.empty()) throw TolmException(Messages::NoToolchainPath);
    wants.toolchainPath = path;
    wants.toolchainVersion = lookupVariableText(definition, VersionWant);
    wants.toolchainMinVersion = lookupVariableText(definition, MinVersionWant);
    return wants;
}

// The highest version; the earliest found among equal ones.
ToolchainPaths bestToolchain(std::vector<ToolchainPaths> found)
{
    if (found.empty()) throw TolmException(Messages::NoToolchain);
    std::size_t best = 0;
    for (std::size_t i = 1; i < found.size(); ++i)
        if (compareVersions(found[i].version, found[best].version) > 0) best = i;
    return std::move(found[best]);
}

}  // namespace

C3Matcher::C3Matcher(std::string name, NameMap variables, NameMap required)
    : Matcher(std::move(name), c3MatcherVariables(), NameMap(), variables, required)
{
    ToolchainPaths toolchain = bestToolchain(findC3Toolchains(readWants(variables)));
    version_ = toolchain.version;
    executable_ = toolchain.executable;
    directory_ = toolchain.directory;
    builder_ = std::make_shared<C3Builder>(c3BuilderSubjects(), c3BuilderVariables(), std::move(toolchain));
}

std::unique_ptr<Matcher> C3Matcher::clone() const { return std::make_unique<C3Matcher>(*this); }

MatchResult C3Matcher::match(const TargetContext& target) const
{
    if (hasVariable(target, VersionWant) && !Util::ciEquals(variableText(target, VersionWant), version_))
        return MatchResult();
    if (hasVariable(target, MinVersionWant) && !versionSatisfiesMinimum(version_, variableText(target, MinVersionWant)))
        return MatchResult();
    return builder_->matchTarget(target);
}

std::shared_ptr<Builder> C3Matcher::selectBuilder(const TargetContext& target)
{
    if (!builder_->matchTarget(target).possible()) return nullptr;
    return builder_;
}

void RegisterC3Matcher()
{
    registerMatcherFactory("c3c", "NULL", [](Util::CiString name, NameMap variables, NameMap required) -> Matcher* {
        return new C3Matcher(name.str(), std::move(variables), std::move(required));
    });
}

}  // namespace Tolm
