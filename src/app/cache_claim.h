#pragma once
// Checking a target against its cache record, and storing the result.
//
// Before a target is built its Builder's recipes are compared with the
// target's record. Four outcomes: hit (nothing to build), claimed (this
// visit builds the stale recipes and must store the result with its claim
// token), miss (build everything, store nothing) and busy (another claim
// holds the record; build nothing). The recipes to build are cut into one
// job context per worker.
//
// A record made or stored in this run is trusted without looking at any
// file; a record read from the cache file is checked recipe by recipe (see
// recipe_check.h). A record whose commands another program ran (another
// compiler now builds the target) is built again whole. The walk runs on one
// thread, so a record is never found claimed by someone else: waiting for
// one gives up at once.

#include <cstdint>
#include <string>
#include <vector>

#include "app/build_cache.h"
#include "app/file_times.h"
#include "tools/builder.h"
#include "types/assignment.h"

namespace Tolm {
class TargetContext;
}

// The cache check of one target visit. `jobs` is the "-j" count. Inputs that
// are the run's date (the cache's runDate) are left out of the recipes.
// Notes the start times of the recipes to build. Failures of the Builder
// pass through; the check itself never throws.
CacheClaim claimCachedBuild(BuildCache& cache, Tolm::Builder& builder, const Tolm::TargetContext& target,
                            std::uint64_t jobs, const FileTimes& times);

// Stores a claimed visit's recipes, context, program and made files under the
// record key and frees the record, once all its jobs succeeded: the recipes
// the jobs built take the times and contents their outputs have now
// (recordJobResult). A token that is not the record's changes nothing and is
// logged at level 7.
void releaseCacheClaim(BuildCache& cache, const std::string& key, CacheClaim& claim, const FileTimes& times);

// Frees the record of a claimed visit whose jobs did not all succeed, taking
// the claim's recipes, context and made files. The recipes with keys in `completed` are
// stored, with the times and contents their outputs have now; every other recipe
// keeps what the record held for it, or nothing when the record's context or
// program differs. Nothing completed leaves the record as it was before the
// run, and removes one the claim made.
void releaseFailedClaim(BuildCache& cache, const std::string& key, CacheClaim& claim,
                        const std::vector<std::uint64_t>& completed, const FileTimes& times);
