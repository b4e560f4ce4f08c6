#pragma once
// One-line descriptions of what the cache reader gives back, so two results
// compare as texts: the value's class, its text and, for a path, its base.

#include <string>

#include "types/assignment.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"

namespace CacheTest {

inline std::string describe(const Tolm::TolmValuePtr& value)
{
    if (!value) return "none";
    if (const auto* path = dynamic_cast<const Tolm::TolmPathString*>(value.get()))
        return "path(" + path->baseDirectory.string() + "|" + path->text + ")";
    if (const auto* list = dynamic_cast<const Tolm::TolmList*>(value.get())) {
        std::string text = "list[";
        for (const auto& item : list->items()) text += describe(item) + ";";
        return text + "]";
    }
    return value->typeName() + "(" + value->toString() + ")";
}

inline std::string describe(const Tolm::Assignment& assignment)
{
    return assignment.name + " " + std::to_string(static_cast<std::uint32_t>(assignment.type)) + "/" +
           std::to_string(assignment.modifier) + " " + describe(assignment.value);
}

}  // namespace CacheTest
