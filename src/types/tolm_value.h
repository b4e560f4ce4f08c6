#pragma once
// The value of a build variable.
//
// Every variable holds a TolmValue: a text, a path, a raw text, a list, an
// integer, a reference to another variable or a nested context. All of them
// answer one virtual interface, so assignments, conditions, text expansion,
// the tools and the file writers never need to know which type they hold.
// Values are shared objects: one value may sit in several contexts, and only
// `append` (and resolution of strings) changes a value in place.
//
// A value also carries where it came from: whether it is, or holds, a file
// a target received from a dependency's outputs. The mark travels with the
// value rather than with the name it sits under, so it survives variables in
// between, conditional blocks, nested contexts, lists and parameters: `clone`
// keeps it, and resolution keeps it where the result only passes such a
// value on.

#include <memory>
#include <string>

#include "types/access_key.h"
#include "types/identifier.h"

namespace Tolm {

class TolmValue;
using TolmValuePtr = std::shared_ptr<TolmValue>;

// Walks the elements of a value: a loop runs from `begin()` and stops as soon
// as the iterator equals the one from `end()`.
class ITolmValueIterator {
public:
    virtual ~ITolmValueIterator() = default;
    virtual void advance() = 0;
    virtual TolmValuePtr current() const = 0;
    // Throws InternalError when `other` is an iterator of another class.
    virtual bool equals(const ITolmValueIterator& other) const = 0;
};

using TolmValueIteratorPtr = std::unique_ptr<ITolmValueIterator>;

class TolmValue {
public:
    virtual ~TolmValue() = default;

    // A new independent value of the same class; it carries no resolver.
    virtual TolmValuePtr clone() const = 0;
    // A new value: this one combined with the operand. This value is unchanged.
    virtual TolmValuePtr add(const TolmValue& operand) const = 0;
    // Combines the operand into this value in place.
    virtual void append(const TolmValue& operand) = 0;
    // The element or part the key selects.
    virtual TolmValuePtr get(const AccessKey& key) const = 0;
    // Plain text of the value.
    virtual std::string toString() const = 0;
    // The value written in the tool's own language.
    virtual std::string toLiteral() const = 0;
    virtual TolmValueIteratorPtr begin() const = 0;
    virtual TolmValueIteratorPtr end() const = 0;
    virtual bool equals(const TolmValue& other) const = 0;
    // Always the negation of `equals`, for every type.
    virtual bool notEquals(const TolmValue& other) const;
    virtual bool greaterThan(const TolmValue& other) const = 0;
    virtual bool lessThan(const TolmValue& other) const = 0;
    // The class name used in messages.
    virtual std::string typeName() const = 0;

    // Set on the files (path values) a target received from a dependency's
    // outputs, and on the lists, context values and texts that hold or pass
    // one on; a dependency's other texts, whatever file they name, are not.
    bool fromDependency = false;

protected:
    // The copy, with this value's mark: every clone ends here.
    TolmValuePtr keepingMark(TolmValuePtr copy) const
    {
        copy->fromDependency = fromDependency;
        return copy;
    }
};

// The way a value reaches the variables of its context.
class Resolver {
public:
    virtual ~Resolver() = default;
    virtual TolmValuePtr lookup(const Identifier& identifier) = 0;
};

// Side interface of the values that must be resolved against a context
// before use (strings, path strings, lists, identifier values).
class Resolvable {
public:
    virtual ~Resolvable() = default;
    // Contexts call this on every value they take in.
    virtual void setResolver(Resolver* newResolver);
    // The value after resolution, a new value.
    virtual TolmValuePtr resolve() = 0;

    // Not owned: the context holding the assignment outlives its values.
    Resolver* resolver = nullptr;
};

}  // namespace Tolm
