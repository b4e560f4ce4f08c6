#include "app/tool_setup.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "app/build_interrupt.h"
#include "app/project_imports.h"
#include "types/context_template.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* NullContext = "{} tool '{}' has null context. Skipping.\n";
constexpr const char* MultipleTypes = "{} tool '{}' has multiple 'tool_type' assignments. Skipping.\n";
constexpr const char* EmptyType = "{} tool '{}' has empty 'tool_type'. Skipping.\n";
constexpr const char* NoType = "{} tool '{}' has no 'tool_type'. Skipping.\n";
constexpr const char* NotCreated = "Unable to create {} tool '{}' for '{}'.\n";
constexpr const char* FailedWith = "Unable to create {} tool '{}' for '{}': {}\n";
constexpr const char* Failure = "{}\n";
constexpr const char* Overrides = "Tool '{}' from {} overrides an earlier tool with the same name.\n";
constexpr const char* StaticNotCreated = "Unable to create static tool '{}' ({}).\n";
constexpr const char* StaticFailedWith = "Unable to create static tool '{}' ({}): {}\n";
constexpr const char* ProjectOrigin = "Project ";
}  // namespace Messages

constexpr const char* kToolType = "tool_type";

// The variables of the built-in tools have no value.
const Tolm::TolmValuePtr kNoValue;

struct StaticTool {
    const char* name;
    const char* type;
    const char* required;  // the one variable a target must set to use it
};

constexpr StaticTool kStaticTools[] = {
    {"default_basic", "command", "cmdline"},
    {"default_no_tool", "no_tool", "NO_TOOL"},
};

}  // namespace

std::shared_ptr<Tolm::Matcher> createToolMatcher(const ToolDeclaration& declaration) {
    const std::string& origin = declaration.origin;
    const std::string& name = declaration.name;
    if (!declaration.context) {
        Log::log(LogLevel::Warning, Messages::NullContext, origin, name);
        return nullptr;
    }

    std::optional<std::string> type;
    Tolm::NameMap variables;
    Tolm::NameMap required;
    for (const Tolm::Assignment& assignment : declaration.context->assignments) {
        if (Util::ciEquals(assignment.name, kToolType)) {
            if (type) {
                Log::log(LogLevel::Warning, Messages::MultipleTypes, origin, name);
                return nullptr;
            }
            if (!assignment.value) {
                Log::log(LogLevel::Warning, Messages::EmptyType, origin, name);
                return nullptr;
            }
            type = assignment.value->toString();
            continue;
        }
        Tolm::NameMap& into = assignment.modifier == Tolm::Assignment::RequiredModifier ? required : variables;
        into.insert_or_assign(Util::CiString(assignment.name), assignment);
    }
    if (!type) {
        Log::log(LogLevel::Warning, Messages::NoType, origin, name);
        return nullptr;
    }

    try {
        std::shared_ptr<Tolm::Matcher> matcher(
            Tolm::Matcher::create(Util::CiString(*type), name, std::move(variables), std::move(required)));
        if (!matcher) {
            Log::log(LogLevel::Warning, Messages::NotCreated, origin, *type, name);
            return nullptr;
        }
        matcher->conditions = declaration.context->conditions;
        return matcher;
    } catch (const BuildInterrupted&) {
        throw;  // the run ends, not just this tool
    } catch (const Tolm::TolmException& error) {
        Log::log(LogLevel::Warning, Messages::Failure, error.message());
    } catch (const std::exception& error) {
        Log::log(LogLevel::Warning, Messages::FailedWith, origin, *type, name, error.what());
    }
    return nullptr;
}

// The tool set starts here, so no name is left over from an earlier set-up.
void TolmApplication::CreateStaticTools() {
    registryTools.clear();
    projectTools.clear();
    for (const StaticTool& tool : kStaticTools) {
        Tolm::NameMap required;
        required.emplace(tool.required,
                         Tolm::Assignment(tool.required, kNoValue, Tolm::Assignment::AssignType::Set, 0));
        std::shared_ptr<Tolm::Matcher> matcher;
        try {
            matcher.reset(Tolm::Matcher::create(Util::CiString(tool.type), tool.name, {}, std::move(required)));
        } catch (const Tolm::TolmException& error) {
            Log::log(LogLevel::Warning, Messages::Failure, error.message());
        } catch (const std::exception& error) {
            Log::log(LogLevel::Warning, Messages::StaticFailedWith, tool.name, tool.type, error.what());
        }
        if (!matcher) {
            Log::log(LogLevel::Warning, Messages::StaticNotCreated, tool.name, tool.type);
            continue;
        }
        tools[Util::CiString(tool.name)] = std::move(matcher);
    }
}

void TolmApplication::AddTool(const ToolDeclaration& declaration) {
    std::shared_ptr<Tolm::Matcher> matcher = createToolMatcher(declaration);
    if (!matcher) return;
    const Util::CiString name(declaration.name);
    (declaration.fromProject ? projectTools : registryTools).insert(name);
    (declaration.fromProject ? registryTools : projectTools).erase(name);
    auto [entry, inserted] = tools.try_emplace(name, matcher);
    if (inserted) return;
    Log::log(LogLevel::Warning, Messages::Overrides, declaration.name, declaration.origin);
    entry->second = std::move(matcher);
}

// Project tools carry their project's namespace, so two projects may each
// define a tool of the same name.
void TolmApplication::AddProjectTools(const Tolm::ProjectPtr& root) {
    forEachProjectOnce(root, [this](const Tolm::ProjectPtr& each) {
        for (const Tolm::BuildToolDefinition& definition : each->buildTools) {
            const std::string name = each->name.empty() ? definition.name : each->name + "/" + definition.name;
            AddTool({name, definition.context, Messages::ProjectOrigin + each->name, true});
        }
    });
}
