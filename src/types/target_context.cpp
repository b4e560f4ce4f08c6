#include "types/target_context.h"

#include <algorithm>
#include <span>

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
    instanceText = instanceTextOf(std::span(parameterValues).first(count));
    for (std::size_t i = 0; i < count; ++i)
        addAssignment(Assignment(parameterNames[i], parameterValues[i], Assignment::AssignType::Set, 0), 0);
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
