#include "types/tolm_list.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "types/expansion_limits.h"
#include "types/tolm_base_string.h"
#include "types/tolm_exceptions.h"
#include "types/value_casts.h"

namespace Tolm {

namespace {

// Messages of list failures.
const char* const kEmptyItemMessage = "A list cannot hold an item without a value.";

std::string unresolvedItemMessage(const TolmValue& item)
{
    return "List item " + item.toLiteral() + " resolved to no value.";
}

// Lexicographic comparison: -1, 0 or 1. Two items are in order when the
// first is less than the second by their own ordering.
int compareItems(const std::vector<TolmValuePtr>& a, const std::vector<TolmValuePtr>& b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i]->lessThan(*b[i])) return -1;
        if (a[i]->greaterThan(*b[i])) return 1;
    }
    if (a.size() < b.size()) return -1;
    if (a.size() > b.size()) return 1;
    return 0;
}

}  // namespace

TolmList::TolmList(std::vector<TolmValuePtr> items)
{
    for (const TolmValuePtr& item : items) {
        if (!item) throw TolmException(kEmptyItemMessage);
    }
    items_ = std::move(items);
}

void TolmList::push(TolmValuePtr item)
{
    if (!item) throw TolmException(kEmptyItemMessage);
    items_.push_back(std::move(item));
}

TolmValuePtr TolmList::Iterator::current() const
{
    return (*items)[position];
}

bool TolmList::Iterator::equals(const ITolmValueIterator& other) const
{
    const auto* otherList = dynamic_cast<const Iterator*>(&other);
    if (otherList == nullptr) throw InternalError();
    // Positions first, and the same vector needs no item-by-item walk; this
    // keeps a loop linear. shared_ptr equality compares the pointers.
    if (position != otherList->position) return false;
    return items == otherList->items || *items == *otherList->items;
}

TolmValuePtr TolmList::clone() const
{
    auto copy = std::make_shared<TolmList>();
    copy->items_.reserve(items_.size());
    for (const TolmValuePtr& item : items_) copy->items_.push_back(item->clone());
    return keepingMark(std::move(copy));
}

TolmValuePtr TolmList::add(const TolmValue& operand) const
{
    auto result = std::make_shared<TolmList>(items_);
    result->append(operand);
    return result;
}

void TolmList::append(const TolmValue& operand)
{
    if (const auto* list = valueAs<TolmList>(&operand)) {
        // Copy first: a list appended to itself would otherwise grow while
        // its own items are being read.
        std::vector<TolmValuePtr> shared = list->items_;
        items_.insert(items_.end(), shared.begin(), shared.end());
        return;
    }
    TolmValuePtr copy = operand.clone();
    if (!copy) throw TolmException(kEmptyItemMessage);
    items_.push_back(std::move(copy));
}

TolmValuePtr TolmList::get(const AccessKey& key) const
{
    if (const auto* index = std::get_if<std::int64_t>(&key)) {
        if (*index >= 0 && static_cast<std::uint64_t>(*index) < items_.size()) {
            return items_[static_cast<std::size_t>(*index)];
        }
    }
    throw IndexException(toLiteral(), key);
}

std::string TolmList::toString() const
{
    std::string result;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) result += ' ';
        result += items_[i]->toString();
    }
    return result;
}

std::string TolmList::toLiteral() const
{
    std::string result = "[";
    for (const TolmValuePtr& item : items_) result += " " + item->toLiteral() + ",";
    if (!items_.empty()) result.back() = ' ';
    return result + "]";
}

TolmValueIteratorPtr TolmList::begin() const
{
    return std::make_unique<Iterator>(&items_, 0);
}

TolmValueIteratorPtr TolmList::end() const
{
    return std::make_unique<Iterator>(&items_, items_.size());
}

bool TolmList::equals(const TolmValue& other) const
{
    const auto* otherList = dynamic_cast<const TolmList*>(&other);
    if (otherList == nullptr || otherList->items_.size() != items_.size()) return false;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (!items_[i]->equals(*otherList->items_[i])) return false;
    }
    return true;
}

bool TolmList::greaterThan(const TolmValue& other) const
{
    const auto* otherList = dynamic_cast<const TolmList*>(&other);
    if (otherList == nullptr) throw BadConversion(other.typeName(), other.toLiteral(), typeName());
    return compareItems(items_, otherList->items_) > 0;
}

bool TolmList::lessThan(const TolmValue& other) const
{
    const auto* otherList = dynamic_cast<const TolmList*>(&other);
    if (otherList == nullptr) throw BadConversion(other.typeName(), other.toLiteral(), typeName());
    return compareItems(items_, otherList->items_) < 0;
}

std::string TolmList::typeName() const
{
    return "TolmList";
}

void TolmList::setResolver(Resolver* newResolver)
{
    resolver = newResolver;
    for (const TolmValuePtr& item : items_) {
        if (auto* resolvable = valueAs<Resolvable>(item.get())) {
            resolvable->setResolver(newResolver);
        }
    }
}

TolmValuePtr TolmList::resolve()
{
    // Only spliced items can make the result outgrow the list as written:
    // [A, A] doubles A. They count against the expansion bounds, so a chain
    // of such lists stops long before it exhausts memory.
    std::optional<ExpansionBudget> ownBudget;
    if (!ExpansionBudget::active()) ownBudget.emplace(std::string());
    auto result = std::make_shared<TolmList>();
    result->fromDependency = fromDependency;
    for (const TolmValuePtr& item : items_) {
        TolmValuePtr resolved = item;
        if (auto* resolvable = valueAs<Resolvable>(item.get())) {
            resolved = resolvable->resolve();
            if (!resolved) throw TolmException(unresolvedItemMessage(*item));
        }
        const auto* nested = valueAs<TolmList>(resolved.get());
        if (nested == nullptr) {
            result->items_.push_back(std::move(resolved));
            continue;
        }
        for (auto it = nested->begin(), stop = nested->end(); !it->equals(*stop); it->advance()) {
            TolmValuePtr spliced = it->current();
            const auto* text = valueAs<TolmBaseString>(spliced.get());
            ExpansionBudget::chargeListItem(text ? text->text.size() : 0);
            result->push(std::move(spliced));
        }
    }
    return result;
}

}  // namespace Tolm
