#include "types/path_collection.h"

#include "types/tolm_list.h"
#include "types/tolm_path_string.h"

namespace Tolm {

void collectPathsFromValue(const TolmValuePtr& value, std::vector<std::filesystem::path>& out)
{
    if (!value) return;
    if (const auto* path = dynamic_cast<const TolmPathString*>(value.get())) {
        // An absolute text replaces the base directory by the rules of joining.
        out.push_back(path->baseDirectory / path->text);
        return;
    }
    if (const auto* list = dynamic_cast<const TolmList*>(value.get())) {
        for (const auto& item : list->items())
            collectPathsFromValue(item, out);
    }
}

}  // namespace Tolm
