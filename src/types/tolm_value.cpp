#include "types/tolm_value.h"

namespace Tolm {

bool TolmValue::notEquals(const TolmValue& other) const
{
    return !equals(other);
}

void Resolvable::setResolver(Resolver* newResolver)
{
    resolver = newResolver;
}

}  // namespace Tolm
