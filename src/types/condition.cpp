#include "types/condition.h"

#include <fmt/format.h>

#include "types/assignment.h"
#include "types/expansion_limits.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"

namespace Tolm {

namespace {

// A comparison cannot be asked of a variable without a value.
const char* const NoValueToCompare = "Variable '{}' has no value to compare.";

// Resolves a copy, so the operand stays as written: resolving a text stores
// its expansion in the text, and a condition that did not hold must see the
// variables as they are on a later pass, not as they were on this one. A
// context value is compared by identity, so it is resolved itself.
TolmValuePtr resolvedOperand(const TolmValuePtr& operand)
{
    auto* written = dynamic_cast<Resolvable*>(operand.get());
    if (!written || dynamic_cast<TolmContext*>(operand.get())) return resolveValue(operand);
    TolmValuePtr copy = operand->clone();
    auto* resolvable = dynamic_cast<Resolvable*>(copy.get());
    resolvable->setResolver(written->resolver);
    return resolvable->resolve();
}

TolmValuePtr operandValue(const TolmValuePtr& operand)
{
    TolmValuePtr value = resolvedOperand(operand);
    if (!value) {
        std::string shown = operand ? operand->toString() : std::string("<none>");
        throw TolmException(fmt::format(fmt::runtime(NoValueToCompare), shown));
    }
    return value;
}

bool exists(const TolmValuePtr& operand)
{
    if (!dynamic_cast<Resolvable*>(operand.get())) return operand != nullptr;
    try {
        resolvedOperand(operand);
    } catch (const ExpansionLimit&) {
        // A value too costly to resolve exists; saying otherwise would hide it.
        throw;
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace

std::optional<bool> Condition::holds() const
{
    switch (op) {
    case OperatorType::Exists: return exists(left);
    case OperatorType::Equal: return operandValue(left)->equals(*operandValue(right));
    case OperatorType::NotEqual: return operandValue(left)->notEquals(*operandValue(right));
    case OperatorType::Less: return operandValue(left)->lessThan(*operandValue(right));
    case OperatorType::Greater: return operandValue(left)->greaterThan(*operandValue(right));
    }
    return std::nullopt;
}

Condition Condition::cloned() const
{
    return Condition{left ? left->clone() : nullptr, right ? right->clone() : nullptr, op};
}

void Condition::pointOperandsAt(Resolver* resolver) const
{
    if (auto* resolvable = dynamic_cast<Resolvable*>(left.get())) resolvable->setResolver(resolver);
    if (auto* resolvable = dynamic_cast<Resolvable*>(right.get())) resolvable->setResolver(resolver);
}

}  // namespace Tolm
