#include "types/context.h"

#include <utility>

#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/value_factories.h"
#include "types/value_casts.h"
#include "util/log.h"
#include "util/trim.h"

namespace Tolm {

namespace {

// Messages of merging and resolving.
constexpr const char* ImplicitContextFailure = "Exception when adding implicit context: {}\n";
constexpr const char* ResolvingVariables = "Resolving variables.\n";

TolmValuePtr ownCopy(const TolmValuePtr& value)
{
    return value ? value->clone() : nullptr;
}

}  // namespace

// Clones each distinct value object once, so that entries sharing one value
// (an identifier resolved to the very value of the variable it names) still
// share it after a copy or a merge of the whole context.
class Context::CloneMemo {
public:
    TolmValuePtr operator()(const TolmValuePtr& value)
    {
        if (!value) return nullptr;
        auto [entry, fresh] = clones_.try_emplace(value.get());
        if (fresh) entry->second = value->clone();
        return entry->second;
    }

private:
    std::map<const TolmValue*, TolmValuePtr> clones_;
};

namespace {

void pointAt(const TolmValuePtr& value, Resolver* resolver)
{
    if (auto* resolvable = valueAs<Resolvable>(value.get())) resolvable->setResolver(resolver);
}

}  // namespace

Context::Context(const Context& other)
    : Resolver(), std::enable_shared_from_this<Context>()
{
    CloneMemo cloneOnce;
    for (const auto& [key, entry] : other.assignments) {
        Assignment copy = entry;
        copy.value = cloneOnce(entry.value);
        pointAt(copy.value, this);
        assignments.emplace(key, std::move(copy));
    }
    for (const auto& block : other.conditions) appendCondition(block);
}

Context::Context(const std::vector<Assignment>& assignmentList, const std::vector<ConditionalBlock>& blocks)
{
    for (const auto& a : assignmentList)
        addOwnedAssignment(Assignment(a.name, ownCopy(a.value), a.type, a.modifier), 0);
    for (const auto& block : blocks) appendCondition(block);
}

void Context::appendCondition(const ConditionalBlock& block)
{
    Condition condition = block.first.cloned();
    condition.pointOperandsAt(this);
    conditions.emplace_back(std::move(condition), block.second);
}

void Context::addAssignment(const Assignment& incoming, std::uint32_t mode)
{
    CloneMemo cloneOnce;
    addClonedAssignment(incoming, mode, cloneOnce);
}

void Context::addClonedAssignment(const Assignment& incoming, std::uint32_t mode, CloneMemo& cloneOnce)
{
    Assignment own = incoming;
    own.value = cloneOnce(incoming.value);
    addOwnedAssignment(std::move(own), mode);
}

void Context::addOwnedAssignment(Assignment incoming, std::uint32_t mode)
{
    auto entry = assignments.find(Util::CiString(incoming.name));
    if (entry == assignments.end()) {
        Util::CiString key(incoming.name);
        entry = assignments.emplace(std::move(key), std::move(incoming)).first;
    } else {
        entry->second.mergeFrom(incoming, mode);
    }
    pointAt(entry->second.value, this);
}

void Context::addAssignments(const Context& other)
{
    CloneMemo cloneOnce;
    for (const auto& [key, entry] : other.assignments) addClonedAssignment(entry, 0, cloneOnce);
}

void Context::addConditions(const Context& other)
{
    for (const auto& block : other.conditions) appendCondition(block);
}

void Context::mergeVariables(const std::vector<Assignment>& list)
{
    for (const auto& a : list) {
        TolmValuePtr incoming = ownCopy(a.value);
        auto entry = assignments.find(Util::CiString(a.name));
        if (entry != assignments.end()) {
            if (auto* existing = valueAs<TolmList>(entry->second.value.get())) {
                if (incoming) {
                    existing->append(*incoming);
                    pointAt(entry->second.value, this);
                }
                continue;
            }
        }
        auto gathered = std::make_shared<TolmList>();
        std::uint32_t modifier = a.modifier;
        if (entry != assignments.end()) {
            if (entry->second.value) gathered->append(*entry->second.value);
            modifier = entry->second.modifier;
            entry->second = Assignment(a.name, gathered, Assignment::AssignType::Set, modifier);
        } else {
            Util::CiString key(a.name);
            assignments.emplace(std::move(key),
                                Assignment(a.name, gathered, Assignment::AssignType::Set, modifier));
        }
        if (incoming) gathered->append(*incoming);
        // The gathered values belong to this context now; they must not
        // resolve through the contexts they came from.
        gathered->setResolver(this);
    }
}

std::vector<Assignment> Context::addImplicitContext(const Context& source, Assignment::AssignType type,
                                                    bool withConditions, std::uint32_t mode)
{
    std::vector<Assignment> refused;
    CloneMemo cloneOnce;
    for (const auto& [key, entry] : source.assignments) {
        Assignment toAdd = entry;
        if (static_cast<std::uint32_t>(type) != 0)
            toAdd = Assignment(entry.name, entry.value, type, entry.modifier);
        try {
            addClonedAssignment(toAdd, mode, cloneOnce);
        } catch (const BadOperation& failure) {
            Log::log(2, fmt::runtime(ImplicitContextFailure), failure.message());
            refused.push_back(std::move(toAdd));
        }
    }
    if (withConditions) addConditions(source);
    return refused;
}

void Context::resolveVariables()
{
    Log::log(1, fmt::runtime(ResolvingVariables));
    for (auto& [key, entry] : assignments) entry.resolve();
}

void addTrimmedParameter(std::vector<NamedValue>& list, std::string& text, TolmValuePtr& value)
{
    text = Util::trimWhitespace(text);
    if (text.empty()) return;
    if (!value) value = makeStringValue(text);
    list.push_back(NamedValue{std::move(text), std::move(value)});
}

}  // namespace Tolm
