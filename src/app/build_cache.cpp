#include "app/build_cache.h"

#include "types/instance_hash.h"

std::uint64_t hashCacheInputs(const std::vector<Tolm::CachedInput>& inputs) {
    std::string bytes;
    for (const Tolm::CachedInput& entry : inputs) {
        bytes += entry.input.name;
        if (entry.input.value) bytes += entry.input.value->toString();
    }
    return Tolm::fnv1aHash64(bytes);
}

bool RecipeMap::insert(std::uint64_t key, StoredRecipe recipe) {
    if (!index_.emplace(key, entries_.size()).second) return false;
    entries_.emplace_back(key, std::move(recipe));
    return true;
}

StoredRecipe* RecipeMap::find(std::uint64_t key) {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &entries_[found->second].second;
}
