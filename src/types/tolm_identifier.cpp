#include "types/tolm_identifier.h"

#include "types/tolm_exceptions.h"

namespace Tolm {

namespace {

// Messages of operations on an identifier that is not resolved yet.
std::string cannotAddMessage(const TolmIdentifier& self, const TolmValue& operand)
{
    return self.toLiteral() + " is not resolved yet and '" + operand.toLiteral() + "' cannot be added.";
}

std::string cannotAppendMessage(const TolmIdentifier& self, const TolmValue& operand)
{
    return self.toLiteral() + " is not resolved yet and '" + operand.toLiteral() +
           "' cannot be appended to it.";
}

std::string cannotIterateMessage(const TolmIdentifier& self)
{
    return self.toLiteral() + " is not resolved yet and cannot be iterated.";
}

std::string cannotCompareMessage(const TolmIdentifier& self)
{
    return self.toLiteral() + " is not resolved yet and cannot be compared.";
}

std::string noResolverMessage(const TolmIdentifier& self)
{
    return self.toLiteral() + " cannot be resolved outside a context.";
}

}  // namespace

TolmValuePtr TolmIdentifier::clone() const
{
    return keepingMark(std::make_shared<TolmIdentifier>(identifier));
}

TolmValuePtr TolmIdentifier::add(const TolmValue& operand) const
{
    throw BadOperation(cannotAddMessage(*this, operand));
}

void TolmIdentifier::append(const TolmValue& operand)
{
    throw BadOperation(cannotAppendMessage(*this, operand));
}

TolmValuePtr TolmIdentifier::get(const AccessKey& key) const
{
    throw IndexException(toLiteral(), key);
}

std::string TolmIdentifier::toString() const
{
    return identifier.toString();
}

std::string TolmIdentifier::toLiteral() const
{
    return toString();
}

TolmValueIteratorPtr TolmIdentifier::begin() const
{
    throw BadOperation(cannotIterateMessage(*this));
}

TolmValueIteratorPtr TolmIdentifier::end() const
{
    throw BadOperation(cannotIterateMessage(*this));
}

bool TolmIdentifier::equals(const TolmValue&) const
{
    throw BadOperation(cannotCompareMessage(*this));
}

bool TolmIdentifier::greaterThan(const TolmValue&) const
{
    return false;
}

bool TolmIdentifier::lessThan(const TolmValue&) const
{
    return false;
}

std::string TolmIdentifier::typeName() const
{
    return "TolmIdentifier";
}

TolmValuePtr TolmIdentifier::resolve()
{
    if (resolver == nullptr) throw BadOperation(noResolverMessage(*this));
    return resolver->lookup(identifier);
}

}  // namespace Tolm
