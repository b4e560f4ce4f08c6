#include "tools/word_lists.h"

#include <memory>

#include "tools/c_builder.h"
#include "types/tolm_base_string.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "util/ci_string.h"

namespace Tolm {

namespace {

bool isOneOf(const std::string& name, std::initializer_list<const char*> names)
{
    for (const char* candidate : names)
        if (Util::ciEquals(name, candidate)) return true;
    return false;
}

}  // namespace

TolmValuePtr asWordList(const TolmValuePtr& value)
{
    if (dynamic_cast<const TolmList*>(value.get())) {
        auto items = std::make_shared<TolmList>();
        for (const TolmValuePtr& item : flattenValue(value)) items->push(item->clone());
        return items;
    }
    if (!dynamic_cast<const TolmBaseString*>(value.get())) return value ? value->clone() : value;
    auto words = std::make_shared<TolmList>();
    if (dynamic_cast<const TolmPathString*>(value.get())) {
        words->push(value->clone());
        return words;
    }
    for (auto it = value->begin(), end = value->end(); !it->equals(*end); it->advance()) words->push(it->current());
    return words;
}

void keepWordsThroughMerge(RecipeSet& recipes, const VariableMap& variables,
                           std::initializer_list<const char*> names)
{
    for (CachedRecipe& recipe : recipes.recipes)
        for (CachedInput& entry : recipe.inputs)
            if (isOneOf(entry.input.name, names))
                entry.input.value = asWordList(getVariable(variables, entry.input.name));
    for (Assignment& assignment : recipes.context)
        if (isOneOf(assignment.name, names)) assignment.value = asWordList(assignment.value);
}

}  // namespace Tolm
