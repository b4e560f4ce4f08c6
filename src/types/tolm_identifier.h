#pragma once
// A reference to another variable, written as a bare identifier and
// replaced by that variable's value when its context resolves it.
//
// Until it is resolved it stands for nothing: combining, iterating or
// testing it for equality throws BadOperation rather than giving an answer
// that would look like a real one.

#include <string>

#include "types/tolm_value.h"

namespace Tolm {

class TolmIdentifier : public TolmValue, public Resolvable {
public:
    explicit TolmIdentifier(Identifier identifier) : identifier(std::move(identifier)) {}

    TolmValuePtr clone() const override;
    TolmValuePtr add(const TolmValue& operand) const override;
    void append(const TolmValue& operand) override;
    TolmValuePtr get(const AccessKey& key) const override;
    std::string toString() const override;
    std::string toLiteral() const override;
    TolmValueIteratorPtr begin() const override;
    TolmValueIteratorPtr end() const override;
    bool equals(const TolmValue& other) const override;
    bool greaterThan(const TolmValue& other) const override;
    bool lessThan(const TolmValue& other) const override;
    std::string typeName() const override;

    // The value the identifier names, through the resolver, unchanged.
    TolmValuePtr resolve() override;

    Identifier identifier;
};

}  // namespace Tolm
