#pragma once
// A nested block of assignments used as a value: a variable whose value is a
// context, its inner variables reached by dotted names (outer.inner).
//
// Several context values may share one Context, and changes made through one
// are seen through all, except that a clone copies the context: two target
// instances made from one template must never share a nested context.

#include <memory>
#include <string>

#include "types/context.h"
#include "types/tolm_value.h"

namespace Tolm {

class TolmContext : public TolmValue, public Resolvable, public std::enable_shared_from_this<TolmContext> {
public:
    explicit TolmContext(ContextPtr context) : context(std::move(context)) {}

    // Visits the assignments in the context's name order, yielding each
    // assignment's NAME as a text value.
    class Iterator : public ITolmValueIterator {
    public:
        Iterator(ContextPtr context, Context::AssignmentMap::const_iterator position)
            : context(std::move(context)), position(position)
        {
        }
        void advance() override { ++position; }
        TolmValuePtr current() const override;
        bool equals(const ITolmValueIterator& other) const override;

        ContextPtr context;  // keeps the map alive while iterating
        Context::AssignmentMap::const_iterator position;
    };

    // A new value over a copy of the context (values cloned), no resolver.
    TolmValuePtr clone() const override;
    // Another context value: a new value over a copy of this context with the
    // operand's assignments added. A text: the text's variable is declared in
    // this (shared) context and a new value over it is returned.
    TolmValuePtr add(const TolmValue& operand) const override;
    // The same as add, made in this context itself.
    void append(const TolmValue& operand) override;
    // A text key gives the named variable's value as stored.
    TolmValuePtr get(const AccessKey& key) const override;
    // The names of the assignments in name order, joined with one space.
    std::string toString() const override;
    std::string toLiteral() const override;
    TolmValueIteratorPtr begin() const override;
    TolmValueIteratorPtr end() const override;
    // The same Context object.
    bool equals(const TolmValue& other) const override;
    // By number of assignments.
    bool greaterThan(const TolmValue& other) const override;
    bool lessThan(const TolmValue& other) const override;
    std::string typeName() const override;

    // Also hands the resolver to every resolvable value of the context.
    void setResolver(Resolver* newResolver) override;
    // Resolves the context's variables in place and gives this value back.
    TolmValuePtr resolve() override;

    ContextPtr context;
};

}  // namespace Tolm
