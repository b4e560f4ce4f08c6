#include "app/toolchain_storing.h"

#include <string>
#include <utility>
#include <vector>

#include "types/tolm_exceptions.h"
#include "util/ci_string.h"

namespace {

namespace Messages {
constexpr const char* NullContext = "Build tool context is null.";
constexpr const char* TwoNames = "Build tool context has multiple 'name' assignments.";
constexpr const char* NoValueKind = "value of variable";
constexpr const char* NoVariableKind = "variable";
}  // namespace Messages

constexpr const char* kNameVariable = "toolchain_name";

struct NamedTool {
    std::string name;
    std::shared_ptr<Tolm::ContextTemplate> context;
};

NamedTool splitName(const std::shared_ptr<Tolm::ContextTemplate>& definition) {
    if (!definition) throw Tolm::TolmException(Messages::NullContext);
    bool named = false;
    NamedTool tool;
    std::vector<Tolm::Assignment> rest;
    for (const Tolm::Assignment& assignment : definition->assignments) {
        if (!Util::ciEquals(assignment.name, kNameVariable)) {
            rest.push_back(assignment);
            continue;
        }
        if (named) throw Tolm::TolmException(Messages::TwoNames);
        if (!assignment.value) throw Tolm::NotFoundException(Messages::NoValueKind, kNameVariable);
        tool.name = assignment.value->toString();
        named = true;
    }
    if (!named) throw Tolm::NotFoundException(Messages::NoVariableKind, kNameVariable);
    tool.context = std::make_shared<Tolm::ContextTemplate>(std::move(rest));
    return tool;
}

}  // namespace

void storeDetectedToolchains(TolmRegistry& registry,
                             const std::vector<std::shared_ptr<Tolm::ContextTemplate>>& definitions) {
    std::vector<NamedTool> tools;
    for (const auto& definition : definitions) tools.push_back(splitName(definition));
    for (NamedTool& tool : tools) {
        registry.tools.erase(Util::CiString(tool.name));
        registry.tools.emplace(Util::CiString(tool.name), std::move(tool.context));
    }
}
