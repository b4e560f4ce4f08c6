// Evaluation of conditional blocks.
//
// One pass walks the list with an index. A block whose condition holds is
// applied at once and its place in the list is taken by its own nested
// blocks, which are therefore evaluated next, before the parent's later
// siblings. A condition that does not hold stays for a later pass and is not
// tried again in this one.

#include "types/context.h"
#include "types/context_template.h"
#include "types/tolm_exceptions.h"

namespace Tolm {

void Context::evaluateConditions()
{
    std::size_t i = 0;
    while (i < conditions.size()) {
        ConditionalBlock current = conditions[i];
        std::optional<bool> holds = current.first.holds();
        if (!holds) throw InternalError();
        if (!*holds) {
            ++i;
            continue;
        }

        std::vector<ConditionalBlock> nested;
        if (current.second) {
            ContextPtr applied = current.second->createContext();
            for (auto& [key, entry] : applied->assignments) addOwnedAssignment(std::move(entry), 0);
            for (auto& block : applied->conditions) {
                block.first.pointOperandsAt(this);
                nested.push_back(std::move(block));
            }
        }
        conditions.erase(conditions.begin() + static_cast<std::ptrdiff_t>(i));
        conditions.insert(conditions.begin() + static_cast<std::ptrdiff_t>(i),
                          std::make_move_iterator(nested.begin()), std::make_move_iterator(nested.end()));
    }
}

}  // namespace Tolm
