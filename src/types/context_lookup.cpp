// Variable lookup: the one way a value reaches a variable.
//
// An identifier becomes a key chain (a text key per segment, one key per
// index). A chain ending in a name designates an assignment entry, whose
// resolved value is cached in it. A chain ending in an index selects a part
// of the base variable's resolved value; nothing is cached then.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "types/context.h"
#include "types/resolution_cycle.h"
#include "types/target_context.h"
#include "types/tolm_base_string.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/unknown_first_name.h"

namespace Tolm {

namespace {

// Messages of a failed lookup.
const char* const NullKeyValue = "key value is null";
const char* const UnsupportedKeyType = "Unsupported key type: ";
const char* const MissingFirstName = "Variable '{}' not found.";
const char* const MissingFirstNameInTarget = "Variable '{}' not found in target '{}::{}'.";
const char* const MustBeContext = "Identifier part must be context.";
const char* const NoValueToFollow = "Variable '{}' has no value to select from.";
constexpr const char* AssignmentKind = "Assignment";
constexpr const char* VariableKind = "Variable";

AccessKey keyFromValue(const TolmValuePtr& value)
{
    if (!value) throw std::invalid_argument(NullKeyValue);
    if (auto* integer = dynamic_cast<const TolmInt*>(value.get())) return static_cast<std::int64_t>(integer->value);
    if (dynamic_cast<const TolmIdentifier*>(value.get()) || dynamic_cast<const TolmBaseString*>(value.get()))
        return value->toString();
    throw std::runtime_error(UnsupportedKeyType + value->toLiteral());
}

// Text of the keys that led to a value, for the message of a missing one.
std::string chainText(const KeyChain& chain, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count && i < chain.size(); ++i) {
        if (i) text += ".";
        text += accessKeyPathText(chain[i]);
    }
    return text;
}

// The identifier as written: names joined by dots, indexes in brackets.
std::string writtenText(const KeyChain& chain)
{
    std::string text;
    for (const AccessKey& key : chain) {
        if (!std::holds_alternative<std::string>(key)) text += accessKeyIndexText(key);
        else text += (text.empty() ? "" : ".") + std::get<std::string>(key);
    }
    return text;
}

// The name chain[position] that the context value reached by the keys before
// it lacks, with what the caller needs to say where that was and what is
// there instead.
MissingMemberException missingMember(const char* kind, const Context::AssignmentMap& members,
                                     const KeyChain& chain, std::size_t position)
{
    std::vector<std::string> available;
    for (const auto& [key, member] : members) available.push_back(member.name);
    const KeyChain holder(chain.begin(), chain.begin() + static_cast<std::ptrdiff_t>(position));
    return MissingMemberException(kind, std::get<std::string>(chain[position]), writtenText(chain),
                                  std::get<std::string>(chain.front()), writtenText(holder), std::move(available));
}

// Follows keys [1, end) from a base value; a step without a value fails
// instead of selecting from nothing.
TolmValuePtr follow(TolmValuePtr value, const KeyChain& chain, std::size_t end)
{
    for (std::size_t i = 1; i < end; ++i) {
        if (!value) throw TolmException(fmt::format(fmt::runtime(NoValueToFollow), chainText(chain, i)));
        const auto* nested = dynamic_cast<const TolmContext*>(value.get());
        const auto* name = std::get_if<std::string>(&chain[i]);
        if (nested && nested->context && name && !nested->context->assignments.contains(Util::CiString(*name)))
            throw missingMember(VariableKind, nested->context->assignments, chain, i);
        value = value->get(chain[i]);
    }
    return value;
}

// The failure of a dotted or indexed identifier whose first name the context
// lacks: the standard type callers know, with the identifier and the target.
UnknownFirstName missingFirstName(const Context& context, const KeyChain& chain)
{
    const std::string reference = writtenText(chain);
    if (const auto* target = dynamic_cast<const TargetContext*>(&context))
        return UnknownFirstName(
            fmt::format(fmt::runtime(MissingFirstNameInTarget), reference, target->name.unit, target->name.target),
            reference);
    return UnknownFirstName(fmt::format(fmt::runtime(MissingFirstName), reference), reference);
}

Assignment& entryOf(Context::AssignmentMap& assignments, const std::string& name)
{
    auto entry = assignments.find(Util::CiString(name));
    if (entry == assignments.end()) throw NotFoundException(AssignmentKind, name);
    return entry->second;
}

}  // namespace

KeyChain Context::keyChainOf(const Identifier& identifier)
{
    KeyChain chain;
    for (const auto& segment : identifier.segments) {
        chain.emplace_back(segment.name);
        for (const auto& index : segment.indexes) {
            switch (index.index()) {
            case IntegerIndex: chain.emplace_back(std::get<IntegerIndex>(index)); break;
            case RangeIndex: {
                const IndexRange& range = std::get<RangeIndex>(index);
                chain.emplace_back(KeyRange{range.first, range.last, 1});
                break;
            }
            case NestedIndex: {
                const auto& nested = std::get<NestedIndex>(index);
                if (!nested) throw std::invalid_argument(NullKeyValue);
                chain.push_back(keyFromValue(lookup(*nested)));
                break;
            }
            }
        }
    }
    return chain;
}

TolmValuePtr Context::lookup(const Identifier& identifier)
{
    KeyChain chain = keyChainOf(identifier);
    if (chain.empty() || std::holds_alternative<std::string>(chain.back())) {
        Assignment& entry = getAssignment(chain);
        if (entry.resolving.active) throw ResolutionCycle(identifier.toString());
        return entry.resolve();
    }

    // Ends in an index: select from the base variable's resolved value, so
    // that a[0] of a = "${X}" indexes X's expansion, not the written text.
    auto base = assignments.find(Util::CiString(std::get<std::string>(chain.front())));
    if (base == assignments.end()) throw missingFirstName(*this, chain);
    if (base->second.resolving.active) throw ResolutionCycle(identifier.toString());
    TolmValuePtr value = follow(base->second.resolve(), chain, chain.size());
    return resolveValue(value);
}

Assignment& Context::getAssignment(const KeyChain& chain)
{
    if (chain.empty()) throw InternalError();
    const std::string& name = std::get<std::string>(chain.back());
    if (chain.size() == 1) return entryOf(assignments, name);

    auto base = assignments.find(Util::CiString(std::get<std::string>(chain.front())));
    if (base == assignments.end()) throw missingFirstName(*this, chain);
    // A base that names another variable reaches its context only once
    // resolved; resolve it here, or whether a.b works would depend on
    // whether something happened to resolve a first.
    TolmValuePtr start = base->second.value;
    if (dynamic_cast<TolmIdentifier*>(start.get())) {
        if (base->second.resolving.active) throw ResolutionCycle(std::get<std::string>(chain.front()));
        start = base->second.resolve();
    }
    TolmValuePtr reached = follow(start, chain, chain.size() - 1);
    auto* nested = dynamic_cast<TolmContext*>(reached.get());
    if (!nested) throw IdentifierError(chain, chain.size() - 1, MustBeContext);
    if (!nested->context) throw InternalError();
    Context::AssignmentMap& members = nested->context->assignments;
    auto entry = members.find(Util::CiString(name));
    if (entry != members.end()) return entry->second;
    throw missingMember(AssignmentKind, members, chain, chain.size() - 1);
}

}  // namespace Tolm
