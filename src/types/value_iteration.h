#pragma once
// Shorthands for the loops over a value's elements: run from valueBegin and
// stop as soon as the iterator equals valueEnd.

#include "types/tolm_value.h"

namespace Tolm {

inline TolmValueIteratorPtr valueBegin(const TolmValue& value)
{
    return value.begin();
}

inline TolmValueIteratorPtr valueEnd(const TolmValue& value)
{
    return value.end();
}

inline TolmValueIteratorPtr valueBegin(const TolmValuePtr& value)
{
    return value->begin();
}

inline TolmValueIteratorPtr valueEnd(const TolmValuePtr& value)
{
    return value->end();
}

}  // namespace Tolm
