#include "types/tolm_context.h"

#include <string>
#include <variant>

#include <fmt/format.h>

#include "types/tolm_exceptions.h"
#include "types/tolm_string.h"
#include "types/value_factories.h"
#include "types/value_casts.h"

namespace Tolm {

namespace {

constexpr const char* TypeName = "TolmContext";
constexpr const char* VariableKind = "Variable";
constexpr const char* PositionIndexMessage =
    "Cannot index a context value with {}; select one of its variables ({}) by name.";

const Context::AssignmentMap& emptyMap()
{
    static const Context::AssignmentMap none;
    return none;
}

const Context::AssignmentMap& assignmentsOf(const ContextPtr& context)
{
    return context ? context->assignments : emptyMap();
}

// Adds every assignment of a context value, or declares the variable a text
// names; anything else cannot be combined with a context.
void combineInto(Context& target, const TolmValue& self, const TolmValue& operand)
{
    if (auto* other = dynamic_cast<const TolmContext*>(&operand)) {
        if (other->context) target.addAssignments(*other->context);
        return;
    }
    if (dynamic_cast<const TolmString*>(&operand)) {
        target.addAssignment(Assignment(operand.toString(), nullptr, Assignment::AssignType::Declare, 0), 0);
        return;
    }
    throw BadConversion(operand.typeName(), operand.toLiteral(), self.typeName());
}

const TolmContext& sameKind(const TolmValue& self, const TolmValue& operand)
{
    auto* other = dynamic_cast<const TolmContext*>(&operand);
    if (!other) throw BadConversion(operand.typeName(), operand.toLiteral(), self.typeName());
    return *other;
}

}  // namespace

TolmValuePtr TolmContext::Iterator::current() const
{
    return makeStringValue(position->second.name);
}

bool TolmContext::Iterator::equals(const ITolmValueIterator& other) const
{
    auto* same = dynamic_cast<const Iterator*>(&other);
    if (!same) throw InternalError();
    return context == same->context && position == same->position;
}

TolmValuePtr TolmContext::clone() const
{
    return keepingMark(std::make_shared<TolmContext>(context ? std::make_shared<Context>(*context) : nullptr));
}

TolmValuePtr TolmContext::add(const TolmValue& operand) const
{
    if (dynamic_cast<const TolmContext*>(&operand)) {
        auto copy = context ? std::make_shared<Context>(*context) : std::make_shared<Context>();
        combineInto(*copy, *this, operand);
        return std::make_shared<TolmContext>(copy);
    }
    // A text operand declares its variable in the shared context itself.
    ContextPtr target = context ? context : std::make_shared<Context>();
    combineInto(*target, *this, operand);
    auto shared = std::make_shared<TolmContext>(target);
    shared->resolver = resolver;
    return shared;
}

void TolmContext::append(const TolmValue& operand)
{
    if (!context) context = std::make_shared<Context>();
    if (auto* other = dynamic_cast<const TolmContext*>(&operand); other && other->context) {
        // Merge into a copy first: a merge that fails part way (say, += of a
        // text onto an integer) must not leave this shared context half
        // changed. Whether an entry merges depends only on the value types,
        // so the copy fails exactly when the real merge would.
        Context trial(*context);
        trial.addAssignments(*other->context);
    }
    combineInto(*context, *this, operand);
}

TolmValuePtr TolmContext::get(const AccessKey& key) const
{
    const auto* text = std::get_if<std::string>(&key);
    // Only a name selects from a context: a position or range is the user's
    // mistake, told as such like any other index a value does not take.
    if (!text) throw TolmException(fmt::format(PositionIndexMessage, accessKeyIndexText(key), toString()));
    const std::string& name = *text;
    const auto& assignments = assignmentsOf(context);
    auto entry = assignments.find(Util::CiString(name));
    if (entry == assignments.end()) throw NotFoundException(VariableKind, name);
    return entry->second.value;
}

std::string TolmContext::toString() const
{
    std::string text;
    bool first = true;
    for (const auto& [key, entry] : assignmentsOf(context)) {
        if (!first) text += " ";
        text += entry.name;
        first = false;
    }
    return text;
}

std::string TolmContext::toLiteral() const
{
    return toString();
}

TolmValueIteratorPtr TolmContext::begin() const
{
    return std::make_unique<Iterator>(context, assignmentsOf(context).begin());
}

TolmValueIteratorPtr TolmContext::end() const
{
    return std::make_unique<Iterator>(context, assignmentsOf(context).end());
}

bool TolmContext::equals(const TolmValue& other) const
{
    return context == sameKind(*this, other).context;
}

bool TolmContext::greaterThan(const TolmValue& other) const
{
    return assignmentsOf(context).size() > assignmentsOf(sameKind(*this, other).context).size();
}

bool TolmContext::lessThan(const TolmValue& other) const
{
    return assignmentsOf(context).size() < assignmentsOf(sameKind(*this, other).context).size();
}

std::string TolmContext::typeName() const
{
    return TypeName;
}

void TolmContext::setResolver(Resolver* newResolver)
{
    resolver = newResolver;
    if (!context) return;
    for (auto& [key, entry] : context->assignments) {
        if (auto* resolvable = valueAs<Resolvable>(entry.value.get())) resolvable->setResolver(newResolver);
    }
}

TolmValuePtr TolmContext::resolve()
{
    if (context) context->resolveVariables();
    return shared_from_this();
}

}  // namespace Tolm
