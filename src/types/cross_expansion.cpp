// Cross expansion: the second stage of text expansion (resolveStringValue).

#include <optional>
#include <vector>

#include <fmt/format.h>

#include "types/expansion_limits.h"
#include "types/resolution_cycle.h"
#include "types/text_expansion.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/value_casts.h"
#include "types/value_iteration.h"

namespace Tolm {

namespace {

// Where a #{...} reference sits: the "#" and its closing "}".
struct CrossReference {
    std::size_t start;
    std::size_t close;
};

// The first #{...}, its end found by counting "#{" against "}" so that the
// braces of inner references stay inside it.
std::optional<CrossReference> findCrossReference(const std::string& text)
{
    const std::size_t start = text.find("#{");
    if (start == std::string::npos) return std::nullopt;
    std::size_t depth = 0;
    std::size_t i = start;
    while (i < text.size()) {
        if (text.compare(i, 2, "#{") == 0) {
            ++depth;
            i += 2;
            continue;
        }
        if (text[i] == '}' && --depth == 0) return CrossReference{start, i};
        ++i;
    }
    return std::nullopt;
}

// Replaces the back references equal to `backReference` that come at or
// after `from` by `element`. Back references of other levels stay for a
// deeper level.
void replaceBackReferences(std::string& item, std::size_t from, const std::string& backReference,
                           const std::string& element)
{
    std::size_t position = from;
    while (position < item.size()) {
        const std::size_t hash = item.find('#', position);
        if (hash == std::string::npos) return;
        const std::uint64_t length = scanHashNumber(item, hash);
        if (length == 0) {
            position = hash + 1;
        } else if (item.compare(hash, length, backReference) == 0 && length == backReference.size()) {
            item.replace(hash, length, element);
            position = hash + element.size();
        } else {
            position = hash + length;
        }
    }
}

// One text per element of the value, the reference replaced by the element.
// When `received` is given, appends whether each element was received from a
// dependency: a list's item by its own mark, a word of any other value by
// the value's.
std::vector<std::string> crossItems(const std::string& text, const CrossReference& reference,
                                    const TolmValue& value, std::uint64_t level, std::vector<bool>* received = nullptr)
{
    std::vector<std::string> items;
    const std::string backReference = "#" + std::to_string(level);
    auto it = valueBegin(value);
    const auto end = valueEnd(value);
    // A value without iterators (an unresolved identifier) has no elements.
    if (!it || !end) return items;
    const bool list = valueAs<TolmList>(&value) != nullptr;
    std::uint64_t bytes = 0;
    for (; !it->equals(*end); it->advance()) {
        const TolmValuePtr current = it->current();
        if (received) received->push_back(list ? current->fromDependency : value.fromDependency);
        const std::string element = current->toString();
        std::string item = text;
        item.replace(reference.start, reference.close - reference.start + 1, element);
        replaceBackReferences(item, reference.start + element.size(), backReference, element);
        bytes += item.size();
        items.push_back(std::move(item));
        ExpansionBudget::checkGrowing(items.size(), bytes);
    }
    return items;
}

// A "#" and digits that no cross expansion replaced is an error: left alone
// it would end up in a command line.
void rejectUnresolvedBackReferences(const std::string& text)
{
    for (std::size_t hash = text.find('#'); hash != std::string::npos; hash = text.find('#', hash + 1)) {
        const std::uint64_t length = scanHashNumber(text, hash);
        if (length != 0)
            throw TolmException(fmt::format(fmt::runtime(TextExpansionMessages::UnresolvedBackReference),
                                            text.substr(hash, length)));
    }
}

}  // namespace

TolmValuePtr resolveStringValue(const TolmString& owner, const std::string& text,
                                ExpansionGuard& guard, std::uint64_t level, bool* passesOn)
{
    const std::string expanded = expandVariables(owner, text, guard, passesOn);

    const auto reference = findCrossReference(expanded);
    if (!reference) {
        rejectUnresolvedBackReferences(expanded);
        ExpansionBudget::chargeText(expanded.size());
        return std::make_shared<TolmString>(expanded);
    }

    const std::string name = expanded.substr(reference->start + 2, reference->close - reference->start - 2);
    // Only elements that bring the reference back (a raw text "#{S}" inside
    // S) get this deep; they would recurse until the stack runs out.
    if (level > MaxCrossLevel) throw ResolutionCycle(name);
    const Identifier identifier = parseReference(name);
    const TolmValuePtr value = lookupReference(owner, identifier, name);
    if (!value)
        throw TolmException(fmt::format(fmt::runtime(TextExpansionMessages::CrossWithoutValue), name));
    // A text that is one #{...} and nothing else passes each element on by
    // itself: the texts made of a list's received files are received, those
    // made of its texts are the target's own. Marked here, item by item.
    const bool whole = passesOn && reference->start == 0 && reference->close + 1 == expanded.size();
    if (passesOn) *passesOn = false;
    std::vector<bool> received;
    const std::vector<std::string> items = crossItems(expanded, *reference, *value, level, whole ? &received : nullptr);

    // A value without elements gives no texts at all: the reference stands
    // for each element, so there is nothing to produce.
    auto result = std::make_shared<TolmList>();
    for (std::size_t k = 0; k < items.size(); ++k) {
        const TolmValuePtr deeper = resolveStringValue(owner, items[k], guard, level + 1);
        const bool mark = whole && received[k];
        result->fromDependency = result->fromDependency || mark;
        if (const auto* list = dynamic_cast<const TolmList*>(deeper.get())) {
            for (const auto& element : list->items()) {
                element->fromDependency = element->fromDependency || mark;
                result->push(element);
            }
        } else {
            deeper->fromDependency = deeper->fromDependency || mark;
            result->push(deeper);
        }
    }
    return result;
}

}  // namespace Tolm
