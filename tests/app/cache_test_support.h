#pragma once
// Values, assignments and records as the cache tests write them, and one-line
// descriptions of what the cache reader gives back, so two results compare as
// texts: the value's class, its text and, for a path, its base; a context
// value by its variables.

#include <memory>
#include <string>
#include <vector>

#include "app/build_cache.h"
#include "types/assignment.h"
#include "types/tolm_context.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/value_factories.h"

namespace CacheTest {

inline Tolm::TolmValuePtr path(const std::string& base, std::string text)
{
    return Tolm::makePathStringValue(base, std::move(text));
}

// An assignment of any type number, also one the language does not know.
inline Tolm::Assignment make(const std::string& name, Tolm::TolmValuePtr value, std::uint32_t type,
                             std::uint32_t modifier = 0)
{
    return Tolm::Assignment(name, std::move(value), static_cast<Tolm::Assignment::AssignType>(type), modifier);
}

// A record as the cache file leaves it, each recipe under the key of its
// inputs: free and not yet verified.
inline std::shared_ptr<Tolm::RuntimeRecord> record(std::vector<Tolm::CachedRecipe> recipes,
                                                   std::vector<Tolm::Assignment> context)
{
    auto made = std::make_shared<Tolm::RuntimeRecord>();
    for (auto& recipe : recipes) {
        const std::uint64_t key = hashCacheInputs(recipe.inputs);
        made->recipes.insert(key, std::move(recipe));
    }
    made->context = std::move(context);
    return made;
}

std::string describe(const Tolm::Assignment& assignment);

inline std::string describe(const Tolm::TolmValuePtr& value)
{
    if (!value) return "none";
    if (const auto* nested = dynamic_cast<const Tolm::TolmContext*>(value.get())) {
        if (!nested->context) return "context(null)";
        std::string text = "context{";
        for (const auto& [key, assignment] : nested->context->assignments) text += describe(assignment) + ";";
        if (!nested->context->conditions.empty()) text += " if...";
        return text + "}";
    }
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
