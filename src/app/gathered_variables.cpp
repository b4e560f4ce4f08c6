#include "app/gathered_variables.h"

#include <memory>
#include <unordered_map>

#include "types/tolm_list.h"
#include "util/ci_string.h"

void mergeGathered(Tolm::Context& context, const std::vector<const Tolm::Assignment*>& assignments) {
    struct Gathered {
        const Tolm::Assignment* first;
        std::shared_ptr<Tolm::TolmList> values;
    };
    std::vector<Gathered> names;
    std::unordered_map<Util::CiString, std::size_t, Util::CiHasher, Util::CiEqualTo> index;
    for (const Tolm::Assignment* assignment : assignments) {
        auto [found, added] = index.try_emplace(Util::CiString(assignment->name), names.size());
        if (added) names.push_back({assignment, std::make_shared<Tolm::TolmList>()});
        // Appending shares the items of a list and clones anything else; the
        // merge below clones the gathered list once more, so nothing stays
        // shared with the assignments.
        if (assignment->value) names[found->second].values->append(*assignment->value);
    }
    std::vector<Tolm::Assignment> merged;
    merged.reserve(names.size());
    for (const Gathered& name : names)
        merged.emplace_back(name.first->name, name.values, Tolm::Assignment::AssignType::Set, name.first->modifier);
    context.mergeVariables(merged);
}
