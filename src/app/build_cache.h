#pragma once
// The build cache in memory.
//
// One record per target instance, keyed by the instance name (namespace,
// unit, target and instance hash), holds the recipes its Builder made, the
// context assignments its jobs received and the program that ran them. A
// later visit of the same instance compares its new recipes with the record
// and builds only what is out of date. The file ".tolm_cache" carries the
// records from run to run (cache_file.h).
//
// What a recipe's job left is remembered with the recipe: the write time
// and a fingerprint of the content of each file its outputs name, and the
// write time each file its inputs name had when the job started (a
// directory: when the job ended). On a later run the recipe holds while its
// outputs still have those times. An output written since with other
// content (a command killed halfway, an importing project's build with
// other flags) makes the recipe stale; one written again with the same
// bytes (an importing project's build with the same flags) holds once the
// inputs pass against the time the job left it at (or its new time, when
// earlier), and then its new time is taken. One written after this run
// began (a clock ahead, a touch into the future) is built again whatever it
// holds. An input with the same time as the output is trusted only while it
// still has the time its job started with; one that changed while its job
// ran leaves the recipe stale. A directory is trusted while it has the time
// its job left it at: its job may make, rename or remove files in it.
//
// Locking: the cache's mutex guards `records` and `nextClaimToken`; each
// record's mutex guards its fields. Nobody holds both, except the cache file
// writer, which takes the cache's first. A record changes only through the
// holder of its claim token; tokens start at 1 after every load and are never 0.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/file_times.h"
#include "app/job_outputs.h"
#include "tools/builder.h"
#include "types/assignment.h"
#include "types/context.h"
#include "util/ci_string.h"

namespace Tolm {
class TargetContext;
}

// The key of a recipe: 64-bit FNV-1a over each input's name followed by its
// value's text, with no separators; intermediates and outputs take no part.
std::uint64_t hashCacheInputs(const std::vector<Tolm::CachedInput>& inputs);

// The write time of one file at a moment that matters to the cache; none
// when the file was missing then.
using FileTime = std::optional<std::filesystem::file_time_type>;
// A fingerprint of a file's content; none when it could not be read.
using Fingerprint = std::optional<std::uint64_t>;

// A recipe as the cache keeps it.
struct StoredRecipe : Tolm::CachedRecipe {
    StoredRecipe() = default;
    StoredRecipe(Tolm::CachedRecipe recipe) : Tolm::CachedRecipe(std::move(recipe)) {}

    // One per file the outputs name, in the order collectDependedPaths gives
    // them, as the recipe's job left them. Empty until a job of this run
    // built the recipe or it was found up to date, for a job whose inputs
    // changed while it ran, and for a recipe read from a cache file written
    // before output times were kept.
    std::vector<FileTime> outputTimes;
    // The content of the same files, as the job left them; empty where
    // outputTimes is, and for a cache file written before they were kept.
    std::vector<Fingerprint> outputFingerprints;
    // One per file the inputs name, in order: its write time when the job
    // started, or for a directory when the job ended. Empty where
    // outputTimes is, and for older cache files.
    std::vector<FileTime> inputTimes;
};

// What the cache checks of one run share besides the files themselves.
struct RunChecks {
    // An output this run found written since its job with the bytes its
    // record holds: the time it has now, and the record's time, which its
    // content dates from.
    struct Rewritten {
        std::filesystem::file_time_type now;
        std::filesystem::file_time_type recorded;
    };

    // When the run began, on the clock of file times: no job of the run
    // wrote before it.
    std::filesystem::file_time_type start = std::filesystem::file_time_type::clock::now();
    // Such outputs by path, for the recipes that read them next: an object
    // an importing project compiled again alike is, to the archive of its
    // own project that it archived again alike after it, as old as its
    // record says.
    std::unordered_map<std::string, Rewritten> rewrittenAlike;
    // Room for the statuses of one recipe's outputs, used again by every
    // check of the run so that a no-op run allocates none per recipe.
    std::vector<FileStatus> outputStatuses;
};

// Recipes keyed by the hash of their inputs, kept in the order they were
// added, so outputs and the cache file follow the recipes' own order and an
// unchanged build writes the same bytes.
class RecipeMap {
public:
    using Entry = std::pair<std::uint64_t, StoredRecipe>;

    // Adds the recipe under `key`; a key already present keeps the earlier
    // recipe and the new one is dropped (returns false).
    bool insert(std::uint64_t key, StoredRecipe recipe);
    StoredRecipe* find(std::uint64_t key);

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    std::vector<Entry> entries_;
    std::unordered_map<std::uint64_t, std::size_t> index_;
};

namespace Tolm {

struct RuntimeRecord {
    // Record states.
    static constexpr std::uint32_t Free = 0;
    static constexpr std::uint32_t Claimed = 1;

    RecipeMap recipes;
    std::vector<Assignment> context;
    // The path of the program that ran the recipes' commands; empty for a
    // tool with no program of its own (a command target's shell line is in
    // its recipe).
    std::string program;
    // The target's outputs that its jobs made (each missing before a job
    // that succeeded) and that it also reads, sorted by path, with the write
    // time its jobs left each at: a failed job removes such a file as its
    // own while it is so, where it keeps the user's files it edits in place.
    std::vector<MadeFile> madeFiles;
    // False for a record read from the cache file, true once created or
    // replaced in this run.
    bool verified = false;
    std::uint32_t state = Free;
    // The token of the current claim; 0 when free.
    std::uint64_t claimToken = 0;
    std::condition_variable released;
    std::mutex mutex;
};

}  // namespace Tolm

using RuntimeRecordMap =
    std::unordered_map<Util::CiString, std::shared_ptr<Tolm::RuntimeRecord>, Util::CiHasher, Util::CiEqualTo>;

struct BuildCache {
    explicit BuildCache(std::filesystem::path file) : cacheFile(std::move(file)) {}

    std::filesystem::path cacheFile;
    std::mutex mutex;
    RuntimeRecordMap records;
    std::uint64_t nextClaimToken = 1;
    // A record was stored or its times were brought up to date in this run,
    // so a failed build still has something to save. Used by the walk's
    // thread only.
    bool stored = false;
    // The file was read whole and in the newest format: while nothing is
    // stored, the records are what it holds, and the save writes nothing.
    bool fileCurrent = false;
    // The cache path is not a regular file (a FIFO, a directory): it was read
    // as no cache and is never written over.
    bool leaveFileAlone = false;
    // The built-in date variables as this run set them; inputs equal to one
    // of them are left out of every recipe (see claimCachedBuild).
    std::vector<Tolm::Assignment> runDate;
    // Set again when the records are read, after the project's lock is
    // taken. Used by the walk's thread only.
    RunChecks run;
    // The file times the checks of this run read; the walk forgets them
    // before it runs commands. Used on the main thread only.
    RememberedFileTimes fileTimes{systemFileTimes()};
};

// The outcome of checking a target against the cache.
struct CacheClaim {
    // Non-zero only when this visit claimed the record and must store it.
    std::uint64_t claimToken = 0;
    // Every recipe of the target, with the reuse flags the check set.
    RecipeMap recipes;
    std::vector<Tolm::Assignment> context;
    // The program the target's Builder runs (see RuntimeRecord).
    std::string program;
    // The jobs to run; empty for a hit.
    std::vector<std::shared_ptr<Tolm::Context>> jobContexts;
    // The keys of the recipes each job context builds, in the same order.
    std::vector<std::vector<std::uint64_t>> jobRecipes;
    // The claim made the record: the target had none before this run.
    bool createdRecord = false;
    // The record's made files (see RuntimeRecord) when jobs are to run; the
    // walk sets what the release stores.
    std::vector<MadeFile> madeFiles;
};

// Workers for `recipes` recipes: 1 when any of the three is at most 1, else
// the smallest of jobs, limit and recipes / 2, at least 1.
std::uint64_t computeWorkerCount(std::uint64_t jobs, std::uint64_t limit, std::uint64_t recipes);

// Cuts the recipes into min(workers, n) contiguous slices and gives each a
// job context under the target's name holding its recipes' inputs (the
// intermediate of a reused input instead) and the set's context, merged into
// list variables.
std::vector<std::shared_ptr<Tolm::Context>> groupIntoWorkerContexts(const Tolm::TargetContext& target,
                                                                    const std::vector<Tolm::CachedRecipe*>& recipes,
                                                                    const std::vector<Tolm::Assignment>& context,
                                                                    std::uint64_t workers);
