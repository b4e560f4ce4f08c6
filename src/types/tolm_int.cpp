#include "types/tolm_int.h"

#include <string>

#include "types/tolm_exceptions.h"

namespace Tolm {

namespace {

// Two's complement wrap-around without signed overflow.
std::int32_t wrappingSum(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

TolmValuePtr TolmInt::Iterator::current() const
{
    return std::make_shared<TolmInt>(value);
}

bool TolmInt::Iterator::equals(const ITolmValueIterator& other) const
{
    const auto* otherInt = dynamic_cast<const Iterator*>(&other);
    if (otherInt == nullptr) throw InternalError();
    return value == otherInt->value;
}

TolmValuePtr TolmInt::clone() const
{
    return keepingMark(std::make_shared<TolmInt>(value));
}

TolmValuePtr TolmInt::add(const TolmValue& operand) const
{
    const auto* other = dynamic_cast<const TolmInt*>(&operand);
    if (other == nullptr) throw BadConversion(typeName(), toLiteral(), operand.typeName());
    return std::make_shared<TolmInt>(wrappingSum(value, other->value));
}

void TolmInt::append(const TolmValue& operand)
{
    const auto* other = dynamic_cast<const TolmInt*>(&operand);
    if (other == nullptr) throw BadConversion(typeName(), toLiteral(), operand.typeName());
    value = wrappingSum(value, other->value);
}

TolmValuePtr TolmInt::get(const AccessKey& key) const
{
    throw IndexException(toLiteral(), key);
}

std::string TolmInt::toString() const
{
    return std::to_string(value);
}

std::string TolmInt::toLiteral() const
{
    return toString();
}

TolmValueIteratorPtr TolmInt::begin() const
{
    return std::make_unique<Iterator>(value);
}

TolmValueIteratorPtr TolmInt::end() const
{
    return std::make_unique<Iterator>(value);
}

bool TolmInt::equals(const TolmValue& other) const
{
    const auto* otherInt = dynamic_cast<const TolmInt*>(&other);
    if (otherInt == nullptr) throw BadConversion(typeName(), toLiteral(), other.typeName());
    return value == otherInt->value;
}

bool TolmInt::greaterThan(const TolmValue& other) const
{
    const auto* otherInt = dynamic_cast<const TolmInt*>(&other);
    if (otherInt == nullptr) throw BadConversion(typeName(), toLiteral(), other.typeName());
    return value > otherInt->value;
}

bool TolmInt::lessThan(const TolmValue& other) const
{
    const auto* otherInt = dynamic_cast<const TolmInt*>(&other);
    if (otherInt == nullptr) throw BadConversion(typeName(), toLiteral(), other.typeName());
    return value < otherInt->value;
}

std::string TolmInt::typeName() const
{
    return "TolmInt";
}

}  // namespace Tolm
