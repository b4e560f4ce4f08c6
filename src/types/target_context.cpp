#include "types/target_context.h"

#include <algorithm>

#include "types/instance_hash.h"
#include "types/target.h"
#include "util/log.h"

namespace Tolm {

TargetContext::TargetContext(const QualifiedTargetName& targetName, const std::vector<std::string>& parameterNames,
                             const std::vector<TolmValuePtr>& parameterValues,
                             const std::vector<Assignment>& assignmentList,
                             const std::vector<ConditionalBlock>& blocks,
                             const std::vector<Dependency>& targetDependencies)
    : Context(assignmentList, blocks), name(targetName), dependencies(targetDependencies)
{
    std::size_t count = std::min(parameterNames.size(), parameterValues.size());
    for (std::size_t i = 0; i < count; ++i) {
        const TolmValuePtr& value = parameterValues[i];
        std::string text = value ? value->toString() : std::string();
        if (count == 1) {
            instanceText = std::move(text);
        } else {
            if (i > 0) instanceText.append(std::begin(InstanceSeparator), std::end(InstanceSeparator));
            appendEscaped(instanceText, text);
        }
        addAssignment(Assignment(parameterNames[i], value, Assignment::AssignType::Set, 0), 0);
    }
}

void TargetContext::appendEscaped(std::string& joined, const std::string& text)
{
    for (char c : text) {
        if (c == '\0')
            joined.append(std::begin(EscapedNul), std::end(EscapedNul));
        else
            joined += c;
    }
}

TargetContext::TargetContext(const Target& target, const std::vector<TolmValuePtr>& parameterValues)
    : TargetContext(target.name, target.parameters, parameterValues, target.assignments, target.conditions,
                    target.dependencies)
{
}

TargetContext::TargetContext(const Context& context, const QualifiedTargetName& targetName)
    : Context(context), name(targetName)
{
}

void TargetContext::setInstance(const QualifiedTargetName& targetName, std::string text)
{
    name = targetName;
    instanceText = std::move(text);
}

std::string TargetContext::instanceHash() const
{
    if (instanceText.empty()) return {};
    return fnv1aHash64Hex(instanceText);
}

std::string TargetContext::instanceName() const
{
    std::string text;
    if (!name.ns.empty()) text += name.ns + "/";
    if (!name.unit.empty()) text += name.unit + "::";
    text += name.target;
    if (!instanceText.empty()) text += "@" + instanceHash();
    return text;
}

void TargetContext::dump(int level)
{
    if (level < Log::verbosity) return;
    Log::log(level, "{}\n", name.toString());
    Context::dump(level);
}

}  // namespace Tolm
