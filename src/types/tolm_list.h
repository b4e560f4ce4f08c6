#pragma once
// An ordered list of values, written between square brackets.
//
// Items are shared: appending a list shares its items (flattening it one
// level), and only an operand that is not a list is cloned. A list never
// holds an empty pointer; every way in rejects one with a TolmException.

#include <cstddef>
#include <vector>

#include "types/tolm_value.h"

namespace Tolm {

class TolmList : public TolmValue, public Resolvable {
public:
    TolmList() = default;
    // Throws TolmException when an item is empty.
    explicit TolmList(std::vector<TolmValuePtr> items);

    // Walks the items in order. The list must outlive the iterator and must
    // not change while it is in use.
    class Iterator : public ITolmValueIterator {
    public:
        Iterator(const std::vector<TolmValuePtr>* items, std::size_t position)
            : items(items), position(position)
        {
        }
        void advance() override { ++position; }
        TolmValuePtr current() const override;
        bool equals(const ITolmValueIterator& other) const override;

        const std::vector<TolmValuePtr>* items;
        std::size_t position;
    };

    TolmValuePtr clone() const override;
    TolmValuePtr add(const TolmValue& operand) const override;
    void append(const TolmValue& operand) override;
    TolmValuePtr get(const AccessKey& key) const override;
    std::string toString() const override;
    std::string toLiteral() const override;
    TolmValueIteratorPtr begin() const override;
    TolmValueIteratorPtr end() const override;
    bool equals(const TolmValue& other) const override;
    // Lexicographic by the items' own ordering; a proper prefix is less.
    bool greaterThan(const TolmValue& other) const override;
    bool lessThan(const TolmValue& other) const override;
    std::string typeName() const override;

    // Also hands the resolver to every resolvable item.
    void setResolver(Resolver* newResolver) override;
    // A new flat list with this list's mark: resolvable items resolved, list
    // results spliced in. This list is not changed.
    TolmValuePtr resolve() override;

    const std::vector<TolmValuePtr>& items() const { return items_; }
    std::size_t size() const { return items_.size(); }
    // Adds one item at the end, shared. Throws TolmException when it is empty.
    void push(TolmValuePtr item);

private:
    std::vector<TolmValuePtr> items_;
};

}  // namespace Tolm
