#pragma once
// Quick class tests for the hot paths of a build.
//
// A dynamic_cast that fails (asking whether a path is a list) searches the
// whole class hierarchy and compares type names, and a no-op build asks it of
// every source and object path several times. Nearly every value is an
// instance of one of the concrete value classes, which typeid names at once;
// only values of other classes (subclasses made elsewhere) take the
// dynamic_cast, so the answers are always the dynamic_cast's.

#include <type_traits>
#include <typeinfo>

#include "types/tolm_base_string.h"
#include "types/tolm_context.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"

namespace Tolm {

namespace ValueCastsDetail {

// The value as a T when its class is exactly C; `known` tells whether it was.
template <typename T, typename C>
const T* ifExactly(const TolmValue& value, bool& known)
{
    if (known || typeid(value) != typeid(C)) return nullptr;
    known = true;
    if constexpr (std::is_base_of_v<T, C>) {
        return static_cast<const C*>(&value);
    } else {
        return nullptr;
    }
}

template <typename T, typename... Classes>
const T* asOneOf(const TolmValue& value, bool& known)
{
    const T* result = nullptr;
    ((result = result ? result : ifExactly<T, Classes>(value, known)), ...);
    return result;
}

}  // namespace ValueCastsDetail

// dynamic_cast<const T*>(value), answered by typeid for the concrete value
// classes. T may also be Resolvable, which some of them are.
template <typename T>
const T* valueAs(const TolmValue* value)
{
    if (value == nullptr) return nullptr;
    bool known = false;
    const T* result = ValueCastsDetail::asOneOf<T, TolmPathString, TolmString, TolmRawString, TolmInt, TolmList,
                                                TolmContext, TolmIdentifier>(*value, known);
    return known ? result : dynamic_cast<const T*>(value);
}

template <typename T>
T* valueAs(TolmValue* value)
{
    return const_cast<T*>(valueAs<T>(static_cast<const TolmValue*>(value)));
}

}  // namespace Tolm
