#pragma once
// An integer value. Sums wrap around as 32-bit two's complement, and an
// integer refuses to be combined with or compared to anything but an
// integer. Iterating an integer visits nothing.

#include <cstdint>

#include "types/tolm_value.h"

namespace Tolm {

class TolmInt : public TolmValue {
public:
    explicit TolmInt(std::int32_t value) : value(value) {}

    // `begin` and `end` give equal iterators, so a loop visits nothing.
    class Iterator : public ITolmValueIterator {
    public:
        explicit Iterator(std::int32_t value) : value(value) {}
        void advance() override {}
        TolmValuePtr current() const override;
        bool equals(const ITolmValueIterator& other) const override;

        std::int32_t value;
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
    bool greaterThan(const TolmValue& other) const override;
    bool lessThan(const TolmValue& other) const override;
    std::string typeName() const override;

    std::int32_t value;
};

}  // namespace Tolm
