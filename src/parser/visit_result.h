#pragma once

// Visitor results travel in the runtime's antlrcpp::Any. Copying an Any
// silently drops a value whose copy may throw (strings, vectors), so results
// are always moved out, and a result of the wrong type fails the way
// std::any_cast does.

#include <any>
#include <utility>

#include "antlr4-runtime.h"

template <class T>
T takeResult(antlrcpp::Any&& result) {
    if (!result.is<T>()) throw std::bad_any_cast();
    return std::move(result.as<T>());
}
