#include "app/cache_claim.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "app/gathered_variables.h"
#include "app/recipe_check.h"
#include "tolm_app.h"
#include "types/target_context.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* NotCacheable = "Target '{}' not suitable for caching. Using the original context.\n";
constexpr const char* Hit = "Cache hit for '{}'.\n";
constexpr const char* Claimed = "Cache claimed for '{}'.\n";
constexpr const char* Miss = "Cache miss for '{}'. Building...\n";
constexpr const char* ReleasedInvalid =
    "Cache record for '{}' was claimed but resulted in invalid recipes upon completion.\n";
constexpr const char* Inserted = "Inserted new cache record for '{}'.\n";
constexpr const char* Rejected = "Cache upsert rejected for '{}': claim token mismatch.\n";
}  // namespace Messages

enum class Outcome { Undecided, Hit, Claimed, Miss, Busy };

using RecipeList = std::vector<Tolm::CachedRecipe*>;

void clearReuse(Tolm::CachedRecipe& recipe) {
    for (Tolm::CachedInput& input : recipe.inputs) input.reuse = false;
}

RecipeList allRecipes(RecipeMap& recipes) {
    RecipeList list;
    list.reserve(recipes.size());
    for (auto& [key, recipe] : recipes) list.push_back(&recipe);
    return list;
}

// Whether the record's recipes were built as the claim's would be: under the
// same context assignments, by the same program.
bool builtAlike(const Tolm::RuntimeRecord& record, const CacheClaim& claim) {
    return record.program == claim.program && sameCachedAssignments(record.context, claim.context);
}

// The recipes a record read from the cache file no longer covers. A recipe
// whose outputs were written again with the same content holds, and the
// record takes their new times, so the next check reads no content; sets
// `refreshed` then.
RecipeList staleRecipes(CacheClaim& claim, Tolm::RuntimeRecord& record, const FileTimes& times,
                        RunChecks& run, bool& refreshed) {
    RecipeList stale;
    const bool alike = builtAlike(record, claim);
    for (auto& [key, recipe] : claim.recipes) {
        StoredRecipe* stored = alike ? record.recipes.find(key) : nullptr;
        if (!stored || !sameCachedAssignments(recipe.outputs, stored->outputs)) {
            clearReuse(recipe);
            stale.push_back(&recipe);
        } else if (!recipeUpToDate(recipe, *stored, times, run)) {
            stale.push_back(&recipe);
        } else if (recipe.outputTimes != stored->outputTimes) {
            stored->outputTimes = recipe.outputTimes;
            refreshed = true;
        }
    }
    return stale;
}

// Leaves out the inputs that are the run's date as the run set it: a target
// that uses the date shows it in the values that use it, so the date alone
// rebuilds nothing.
void dropRunDate(Tolm::RecipeSet& set, const std::vector<Tolm::Assignment>& runDate) {
    if (runDate.empty()) return;
    for (Tolm::CachedRecipe& recipe : set.recipes)
        std::erase_if(recipe.inputs, [&](const Tolm::CachedInput& input) {
            return !input.hasIntermediate() &&
                   std::any_of(runDate.begin(), runDate.end(),
                               [&](const Tolm::Assignment& date) { return sameCachedAssignment(input.input, date); });
        });
}

// How many of `count` recipes slice `slice` of `slices` holds: the first
// count % slices slices take one more.
std::uint64_t sliceSize(std::uint64_t count, std::uint64_t slices, std::uint64_t slice) {
    return count / slices + (slice < count % slices ? 1 : 0);
}

// The keys of the recipes in each job context groupIntoWorkerContexts makes.
std::vector<std::vector<std::uint64_t>> sliceKeys(const RecipeList& recipes, std::uint64_t workers) {
    std::vector<std::vector<std::uint64_t>> keys;
    const std::uint64_t count = recipes.size();
    if (count == 0 || workers == 0) return keys;
    const std::uint64_t slices = std::min(workers, count);
    std::size_t next = 0;
    for (std::uint64_t slice = 0; slice < slices; ++slice) {
        std::vector<std::uint64_t>& slot = keys.emplace_back();
        for (std::uint64_t i = sliceSize(count, slices, slice); i > 0; --i, ++next)
            slot.push_back(hashCacheInputs(recipes[next]->inputs));
    }
    return keys;
}

// Nobody else claims records today, so the deadline lies in the past and a
// record still claimed is simply busy.
Outcome waitForRelease(std::unique_lock<std::mutex>& lock, Tolm::RuntimeRecord& record, const std::string& key) {
    const auto deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    record.released.wait_until(lock, deadline, [&] { return record.state != Tolm::RuntimeRecord::Claimed; });
    if (record.state == Tolm::RuntimeRecord::Claimed) return Outcome::Busy;
    if (!record.verified) {
        Log::log(2, fmt::runtime(Messages::ReleasedInvalid), key);
        return Outcome::Miss;
    }
    return Outcome::Hit;
}

}  // namespace

std::uint64_t computeWorkerCount(std::uint64_t jobs, std::uint64_t limit, std::uint64_t recipes) {
    if (limit <= 1 || recipes <= 1 || jobs <= 1) return 1;
    return std::max<std::uint64_t>(1, std::min({jobs, limit, recipes / 2}));
}

std::vector<std::shared_ptr<Tolm::Context>> groupIntoWorkerContexts(const Tolm::TargetContext& target,
                                                                    const std::vector<Tolm::CachedRecipe*>& recipes,
                                                                    const std::vector<Tolm::Assignment>& context,
                                                                    std::uint64_t workers) {
    std::vector<std::shared_ptr<Tolm::Context>> contexts;
    const std::uint64_t count = recipes.size();
    if (count == 0 || workers == 0) return contexts;
    const std::uint64_t slices = std::min(workers, count);
    const Tolm::Context empty;
    std::vector<const Tolm::Assignment*> gathered;
    std::size_t next = 0;
    for (std::uint64_t slice = 0; slice < slices; ++slice) {
        const std::uint64_t size = sliceSize(count, slices, slice);
        auto job = std::make_shared<Tolm::TargetContext>(empty, target.name);
        job->setInstance(target.name, target.instanceText);
        gathered.clear();
        for (std::uint64_t i = 0; i < size; ++i, ++next) {
            for (const Tolm::CachedInput& input : recipes[next]->inputs)
                gathered.push_back(input.reuse && input.hasIntermediate() ? &input.intermediate : &input.input);
        }
        for (const Tolm::Assignment& assignment : context) gathered.push_back(&assignment);
        mergeGathered(*job, gathered);
        contexts.push_back(std::move(job));
    }
    return contexts;
}

CacheClaim claimCachedBuild(BuildCache& cache, Tolm::Builder& builder, const Tolm::TargetContext& target,
                            std::uint64_t jobs, const FileTimes& times) {
    const std::string displayName = target.name.unit + "::" + target.name.target;
    Tolm::RecipeSet set = builder.createRecipes(target);
    dropRunDate(set, cache.runDate);
    CacheClaim claim;
    claim.program = builder.program();
    if (set.recipes.empty()) {
        Log::log(2, fmt::runtime(Messages::NotCacheable), displayName);
        claim.jobContexts.push_back(std::make_shared<Tolm::TargetContext>(target, target.name));
        return claim;
    }
    for (Tolm::CachedRecipe& recipe : set.recipes) {
        const std::uint64_t key = hashCacheInputs(recipe.inputs);
        claim.recipes.insert(key, std::move(recipe));
    }
    claim.context = std::move(set.context);

    const std::string recordKey = target.instanceName();
    Outcome outcome = Outcome::Undecided;
    RecipeList toBuild;
    std::shared_ptr<Tolm::RuntimeRecord> record;
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        auto found = cache.records.find(recordKey);
        if (found == cache.records.end()) {
            record = std::make_shared<Tolm::RuntimeRecord>();
            record->verified = true;
            record->state = Tolm::RuntimeRecord::Claimed;
            record->claimToken = claim.claimToken = cache.nextClaimToken++;
            cache.records.emplace(recordKey, record);
            claim.createdRecord = true;
            outcome = Outcome::Claimed;
            toBuild = allRecipes(claim.recipes);
        } else {
            record = found->second;
        }
    }
    if (outcome == Outcome::Undecided) {
        std::unique_lock<std::mutex> lock(record->mutex);
        if (record->verified) {
            if (record->state == Tolm::RuntimeRecord::Free)
                outcome = Outcome::Hit;
            else if (record->state == Tolm::RuntimeRecord::Claimed)
                outcome = waitForRelease(lock, *record, recordKey);
            else
                outcome = Outcome::Miss;
        } else {
            bool refreshed = false;
            toBuild = staleRecipes(claim, *record, times, cache.run, refreshed);
            // Only the walk's thread uses the flag.
            if (refreshed) cache.stored = true;
            if (toBuild.empty()) {
                outcome = Outcome::Hit;
            } else if (record->state == Tolm::RuntimeRecord::Free) {
                // Only the record's lock is held here; the walk is the only
                // claimant, so the counter is not contended.
                record->state = Tolm::RuntimeRecord::Claimed;
                record->claimToken = claim.claimToken = cache.nextClaimToken++;
                outcome = Outcome::Claimed;
            } else if (record->state == Tolm::RuntimeRecord::Claimed) {
                outcome = waitForRelease(lock, *record, recordKey);
            } else {
                outcome = Outcome::Miss;
            }
        }
    }

    switch (outcome) {
    case Outcome::Hit:
        Log::log(1, fmt::runtime(Messages::Hit), displayName);
        break;
    case Outcome::Claimed:
        Log::log(1, fmt::runtime(Messages::Claimed), displayName);
        break;
    case Outcome::Miss:
        Log::log(1, fmt::runtime(Messages::Miss), displayName);
        toBuild = allRecipes(claim.recipes);
        break;
    default:
        break;
    }
    if (outcome == Outcome::Claimed || outcome == Outcome::Miss) {
        if (!claim.createdRecord) {
            std::lock_guard<std::mutex> lock(record->mutex);
            claim.madeFiles = record->madeFiles;
        }
        const std::uint64_t workers =
            computeWorkerCount(jobs, static_cast<std::uint64_t>(set.maxParallelJobs), toBuild.size());
        claim.jobContexts = groupIntoWorkerContexts(target, toBuild, claim.context, workers);
        claim.jobRecipes = sliceKeys(toBuild, workers);
        // The jobs start next: no command runs before them.
        for (const std::vector<std::uint64_t>& job : claim.jobRecipes)
            for (std::uint64_t key : job)
                if (StoredRecipe* recipe = claim.recipes.find(key)) recordInputTimes(*recipe, times);
    }
    return claim;
}

void releaseCacheClaim(BuildCache& cache, const std::string& key, CacheClaim& claim, const FileTimes& times) {
    for (const std::vector<std::uint64_t>& job : claim.jobRecipes)
        for (std::uint64_t built : job)
            if (StoredRecipe* recipe = claim.recipes.find(built)) recordJobResult(*recipe, times);
    std::shared_ptr<Tolm::RuntimeRecord> record;
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        auto found = cache.records.find(key);
        if (found == cache.records.end()) {
            auto fresh = std::make_shared<Tolm::RuntimeRecord>();
            fresh->recipes = std::move(claim.recipes);
            fresh->context = std::move(claim.context);
            fresh->program = std::move(claim.program);
            fresh->madeFiles = std::move(claim.madeFiles);
            fresh->verified = true;
            cache.records.emplace(key, std::move(fresh));
            cache.stored = true;
            Log::log(0, fmt::runtime(Messages::Inserted), key);
            return;
        }
        record = found->second;
    }
    std::lock_guard<std::mutex> lock(record->mutex);
    if (record->claimToken != claim.claimToken) {
        Log::log(7, fmt::runtime(Messages::Rejected), key);
        return;
    }
    record->recipes = std::move(claim.recipes);
    record->context = std::move(claim.context);
    record->program = std::move(claim.program);
    record->madeFiles = std::move(claim.madeFiles);
    record->state = Tolm::RuntimeRecord::Free;
    record->verified = true;
    record->claimToken = 0;
    record->released.notify_all();
    cache.stored = true;
}

void releaseFailedClaim(BuildCache& cache, const std::string& key, CacheClaim& claim,
                        const std::vector<std::uint64_t>& completed, const FileTimes& times) {
    for (std::uint64_t built : completed)
        if (StoredRecipe* recipe = claim.recipes.find(built)) recordJobResult(*recipe, times);
    std::shared_ptr<Tolm::RuntimeRecord> record;
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        auto found = cache.records.find(key);
        if (found == cache.records.end()) return;
        record = found->second;
    }
    {
        std::lock_guard<std::mutex> lock(record->mutex);
        if (record->claimToken != claim.claimToken) {
            Log::log(7, fmt::runtime(Messages::Rejected), key);
            return;
        }
        if (!completed.empty()) {
            // A recipe that did not complete keeps its old form only while
            // the context and program it was built with are still the
            // target's.
            const bool alike = builtAlike(*record, claim);
            RecipeMap kept;
            for (auto& [recipeKey, recipe] : claim.recipes) {
                if (std::find(completed.begin(), completed.end(), recipeKey) != completed.end())
                    kept.insert(recipeKey, std::move(recipe));
                else if (const StoredRecipe* old = alike ? record->recipes.find(recipeKey) : nullptr)
                    kept.insert(recipeKey, *old);
            }
            record->recipes = std::move(kept);
            record->context = std::move(claim.context);
            record->program = std::move(claim.program);
            record->madeFiles = std::move(claim.madeFiles);
            cache.stored = true;
        }
        // Not verified: nothing in it is trusted without the file check.
        record->verified = false;
        record->state = Tolm::RuntimeRecord::Free;
        record->claimToken = 0;
        record->released.notify_all();
    }
    if (completed.empty() && claim.createdRecord) {
        std::lock_guard<std::mutex> lock(cache.mutex);
        auto found = cache.records.find(key);
        if (found != cache.records.end() && found->second == record) cache.records.erase(found);
    }
}

CacheClaim TolmApplication::ClaimCachedBuild(Tolm::Builder& builder, const Tolm::TargetContext& target) {
    return claimCachedBuild(*buildCache, builder, target, static_cast<std::uint64_t>(std::max(jobs, 0)),
                            buildCache->fileTimes);
}
