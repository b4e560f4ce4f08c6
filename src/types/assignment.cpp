#include "types/assignment.h"

#include <utility>

#include "types/expansion_limits.h"
#include "types/resolution_cycle.h"
#include "types/tolm_exceptions.h"
#include "types/value_casts.h"
#include "util/ci_string.h"

namespace Tolm {

namespace {

const char* const ModifyFailurePrefix = "Attempted to modify assignment: ";
const char* const ModifyFailureJoin = " with ";

const char* operatorText(Assignment::AssignType type, bool hasValue)
{
    switch (type) {
    case Assignment::AssignType::Set: return " = ";
    case Assignment::AssignType::Append: return " += ";
    case Assignment::AssignType::SetIfEmpty: return " ?= ";
    case Assignment::AssignType::Declare: return hasValue ? " : " : "";
    }
    return "";
}

// Clears the resolution mark however resolution ends.
class MarkGuard {
public:
    explicit MarkGuard(ResolutionMark& mark) : mark_(mark) { mark_.active = true; }
    ~MarkGuard() { mark_.active = false; }
    MarkGuard(const MarkGuard&) = delete;
    MarkGuard& operator=(const MarkGuard&) = delete;

private:
    ResolutionMark& mark_;
};

}  // namespace

Assignment::Assignment(std::string name, TolmValuePtr value, AssignType type, std::uint32_t modifier)
    : name(std::move(name)), value(std::move(value)), type(type), modifier(modifier)
{
}

std::string Assignment::toString() const
{
    std::string text = name;
    text += operatorText(type, value != nullptr);
    if (value) text += value->toLiteral();
    return text;
}

TolmValuePtr Assignment::replaceValue(TolmValuePtr newValue)
{
    TolmValuePtr previous = std::move(value);
    value = std::move(newValue);
    resolved = false;
    return previous;
}

TolmValuePtr Assignment::resolve()
{
    if (resolved) return value;
    if (resolving.active) throw ResolutionCycle(name);
    TolmValuePtr result;
    {
        MarkGuard guard(resolving);
        const ResolutionDepth depth(name);
        const ExpansionBudget budget(name);
        result = resolveValue(value);
    }
    replaceValue(result);
    resolved = true;
    return result;
}

void Assignment::mergeFrom(const Assignment& incoming, std::uint32_t mode)
{
    auto refuse = [&] {
        return AssignmentException(std::string(ModifyFailurePrefix) + toString() + ModifyFailureJoin +
                                   incoming.toString());
    };
    if (!Util::ciEquals(name, incoming.name)) throw refuse();

    switch (incoming.type) {
    case AssignType::Set:
        value = incoming.value;
        break;
    case AssignType::Append:
        // A clone, so that a later in-place append here cannot reach back
        // into the template, profile or context that supplied the value.
        if (!value) {
            if (incoming.value) value = incoming.value->clone();
        } else if (incoming.value) {
            value->append(*incoming.value);
        }
        break;
    case AssignType::SetIfEmpty:
        if (value) {
            resolved = false;
            return;
        }
        value = incoming.value;
        break;
    case AssignType::Declare:
        value = nullptr;
        break;
    default:
        throw refuse();
    }
    if (mode == 1) modifier = incoming.modifier;
    resolved = false;
}

bool operator==(const Assignment& a, const Assignment& b)
{
    if (!Util::ciEquals(a.name, b.name)) return false;
    if (a.value == b.value) return true;
    if (!a.value || !b.value) return false;
    return a.value->equals(*b.value);
}

TolmValuePtr resolveValue(const TolmValuePtr& value)
{
    if (auto* resolvable = valueAs<Resolvable>(value.get())) return resolvable->resolve();
    return value;
}

}  // namespace Tolm
