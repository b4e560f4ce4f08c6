#include "parser/registry_writer.h"

#include <string>
#include <vector>

#include "parser/literal_writer.h"
#include "parser/utf8_check.h"
#include "types/assignment.h"
#include "types/condition.h"
#include "types/context_template.h"
#include "types/tolm_identifier.h"
#include "util/log.h"

namespace {

using Tolm::Condition;
using Tolm::ContextTemplate;

const char* operatorText(Condition::OperatorType op)
{
    switch (op) {
    case Condition::OperatorType::Equal: return " = ";
    case Condition::OperatorType::NotEqual: return " != ";
    case Condition::OperatorType::Less: return " < ";
    case Condition::OperatorType::Greater: return " > ";
    default: return nullptr;
    }
}

// "if" and the condition, or nothing when the condition has no written form.
std::optional<std::string> writableCondition(const Condition& condition)
{
    const auto* left = dynamic_cast<const Tolm::TolmIdentifier*>(condition.left.get());
    if (left == nullptr) return std::nullopt;
    auto identifier = Tolm::writableIdentifier(left->identifier);
    if (!identifier) return std::nullopt;
    std::string out = "if " + *identifier;
    if (condition.op == Condition::OperatorType::Exists) return out;
    const char* op = operatorText(condition.op);
    if (op == nullptr || !condition.right) return std::nullopt;
    auto right = Tolm::writableLiteral(*condition.right);
    if (!right) return std::nullopt;
    return out + op + *right;
}

// The lines of one block at the given indentation: its assignments first,
// then its conditional blocks, the order in which the reader hands them back.
void appendBlockLines(std::string& out, const ContextTemplate& block, const std::string& indent,
                      const std::string& toolName)
{
    for (const auto& assignment : block.assignments) {
        auto line = Tolm::writableAssignment(assignment);
        if (!line) {
            Log::log(LogLevel::Warning, fmt::runtime(RegistryWriterMessages::kVariableSkipped),
                     assignment.name, toolName);
            continue;
        }
        out += indent + *line + "\n";
    }
    for (const auto& [condition, guarded] : block.conditions) {
        auto head = writableCondition(condition);
        if (!head) {
            Log::log(LogLevel::Warning, fmt::runtime(RegistryWriterMessages::kConditionSkipped), toolName);
            continue;
        }
        out += indent + *head + " {\n";
        if (guarded) appendBlockLines(out, *guarded, indent + "  ", toolName);
        out += indent + "}\n";
    }
}

std::string projectsSection(const TolmRegistry& registry)
{
    std::string lines;
    for (const auto& [name, path] : registry.projects) {
        if (!Tolm::isWritableName(name.str())) {
            Log::log(LogLevel::Warning, fmt::runtime(RegistryWriterMessages::kProjectNameSkipped), name.str());
            continue;
        }
        const std::string& text = path.native();
        if (text.find('"') != std::string::npos) {
            Log::log(LogLevel::Warning, fmt::runtime(RegistryWriterMessages::kProjectPathSkipped), name.str(),
                     text);
            continue;
        }
        // The reader refuses a file that is not UTF-8 as a whole, which
        // would lose every other entry too.
        if (!Tolm::isValidUtf8(text)) {
            Log::log(LogLevel::Warning, fmt::runtime(RegistryWriterMessages::kProjectPathNotUtf8), name.str());
            continue;
        }
        lines += "  " + name.str() + " \"" + text + "\"\n";
    }
    if (lines.empty()) return lines;
    return "projects {\n" + lines + "}";
}

std::string toolsSection(const TolmRegistry& registry)
{
    std::string blocks;
    for (const auto& [name, block] : registry.tools) {
        if (!Tolm::isWritableName(name.str())) {
            Log::log(LogLevel::Warning, fmt::runtime(RegistryWriterMessages::kToolNameSkipped), name.str());
            continue;
        }
        blocks += "  " + name.str() + " {\n";
        if (block) appendBlockLines(blocks, *block, "    ", name.str());
        blocks += "  }\n";
    }
    if (blocks.empty()) return blocks;
    return "tools {\n" + blocks + "}\n";
}

}  // namespace

std::string registryFileText(const TolmRegistry& registry)
{
    std::string projects = projectsSection(registry);
    std::string tools = toolsSection(registry);
    if (projects.empty()) return tools;
    return projects + (tools.empty() ? "\n" : "\n\n") + tools;
}
