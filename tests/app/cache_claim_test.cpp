#include "app/cache_claim.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/app_test_support.h"
#include "app/cache_test_support.h"
#include "app/recipe_check.h"
#include "support/test_support.h"

namespace {

using namespace TestSupport;
using AppTest::FakeBuilder;
using Tolm::CachedInput;
using Tolm::CachedRecipe;

std::filesystem::file_time_type tick(int seconds) {
    return std::filesystem::file_time_type(std::chrono::seconds(seconds));
}

// File times on a logical clock: a path is missing unless given a tick, and a
// directory when listed in `directories`. Its content is its entry in
// `contents` (a file without one reads as 0).
class FakeFileTimes : public FileTimes {
public:
    FileStatus status(const std::string& path) const override {
        ++asked;
        auto found = ticks.find(path);
        if (found == ticks.end()) return {};
        return {tick(found->second), directories.count(path) > 0};
    }
    std::optional<std::uint64_t> contentFingerprint(const std::string& path) const override {
        ++hashed;
        // As the real one, no content for a directory.
        if (!ticks.count(path) || directories.count(path)) return std::nullopt;
        auto found = contents.find(path);
        return found == contents.end() ? 0 : found->second;
    }
    std::map<std::string, int> ticks;
    std::map<std::string, std::uint64_t> contents;
    std::set<std::string> directories;
    mutable int asked = 0;
    mutable int hashed = 0;
};

TolmValuePtr path(const std::string& text) { return Tolm::makePathStringValue(text); }

// A compile step: source /src/<name>.c with its object as intermediate and output.
CachedRecipe compile(const std::string& name) {
    CachedRecipe recipe;
    recipe.inputs.push_back(CachedInput{set("SRC", path("/src/" + name + ".c")), set("OBJ", path("/out/" + name + ".o"))});
    recipe.outputs.push_back(set("OBJ", path("/out/" + name + ".o"), 1));
    return recipe;
}

// Each job context's variables, "NAME=text" joined by blanks, jobs joined by "|".
std::string jobsOf(const CacheClaim& claim) {
    std::string text;
    for (const auto& job : claim.jobContexts) {
        std::string one;
        for (const auto& [key, assignment] : job->assignments)
            one += (one.empty() ? "" : " ") + assignment.name + "=" + assignment.value->toString();
        text += (text.empty() ? "" : "|") + one;
    }
    return text;
}

class CacheClaimTest : public ::testing::Test {
public:
    CacheClaimTest() : target(std::make_shared<Tolm::TargetContext>(Tolm::Context(), Tolm::QualifiedTargetName{"proj", "main", "app"})) {
        start();
    }

    // Two compile steps under -DFOO, their objects newer than their sources; the run began at tick
    // 100.
    void start() {
        builder.recipes.recipes = {compile("a"), compile("b")};
        builder.recipes.context = {set("FLAGS", str("-DFOO"))};
        times.ticks = {{"/src/a.c", 10}, {"/src/b.c", 10}, {"/out/a.o", 20}, {"/out/b.o", 20}, {"/out/app", 30}};
        times.contents.clear();
        times.directories.clear();
        cache.run = RunChecks{};
        cache.run.start = tick(100);
    }

    CacheClaim claim(std::uint64_t jobs = 1) { return claimCachedBuild(cache, builder, *target, jobs, times); }
    const std::shared_ptr<Tolm::RuntimeRecord>& record() { return cache.records.at(target->instanceName()); }

    // Puts a record as the cache file leaves it under the target's key, as if its jobs had just
    // ended with every file as it is now.
    std::shared_ptr<Tolm::RuntimeRecord> loaded(std::vector<CachedRecipe> recipes,
                                                std::vector<Tolm::Assignment> context, std::string key = "") {
        auto record = CacheTest::record(std::move(recipes), std::move(context));
        for (auto& [recipeKey, recipe] : record->recipes) {
            recordInputTimes(recipe, times);
            recordJobResult(recipe, times);
        }
        return cache.records[key.empty() ? target->instanceName() : key] = record;
    }

    BuildCache cache{"/nowhere/.tolm_cache"};
    FakeBuilder builder;
    FakeFileTimes times;
    std::shared_ptr<Tolm::TargetContext> target;
};

// A target seen for the first time is claimed and built whole, and only the holder of the claim
// stores the result; once stored, the next visit is a hit that looks at no file.
TEST_F(CacheClaimTest, FirstVisitClaimsThenHits) {
    LogCapture capture(0);
    CacheClaim first = claim();
    CacheClaim stranger;
    stranger.claimToken = first.claimToken + 1;
    releaseCacheClaim(cache, "proj/main::app", stranger, times);
    releaseCacheClaim(cache, "proj/main::app", first, times);
    // The release noted the times of the objects built; the hit looks at no file.
    times.asked = 0;
    CacheClaim second = claim();
    EXPECT_EQ(capture.text(), "Cache claimed for 'main::app'.\n"
                              "Cache upsert rejected for 'proj/main::app': claim token mismatch.\n"
                              "Cache hit for 'main::app'.\n");
    EXPECT_EQ(jobsOf(first), "FLAGS=-DFOO SRC=/src/a.c /src/b.c");
    EXPECT_TRUE(second.jobContexts.empty());
    EXPECT_EQ(second.recipes.size(), 2u);
    EXPECT_EQ(times.asked, 0);
    EXPECT_EQ(cache.records.at("proj/main::app")->state, Tolm::RuntimeRecord::Free);
}

// A record read from the file: only what changed is built, and an unchanged input of a stale
// recipe hands the job its intermediate instead.
TEST_F(CacheClaimTest, RecordFromFileBuildsOnlyWhatChanged) {
    const struct {
        const char* change;
        std::function<void(CacheClaimTest&)> apply;
        const char* jobs;
    } cases[] = {
        {"nothing", [](CacheClaimTest&) {}, ""},
        {"a.c as old as a.o", [](CacheClaimTest& t) { t.times.ticks["/src/a.c"] = 20; }, "FLAGS=-DFOO SRC=/src/a.c"},
        {"a.c deleted", [](CacheClaimTest& t) { t.times.ticks.erase("/src/a.c"); }, "FLAGS=-DFOO SRC=/src/a.c"},
        {"new source", [](CacheClaimTest& t) { t.builder.recipes.recipes.push_back(compile("c")); },
         "FLAGS=-DFOO SRC=/src/c.c"},
        {"output renamed",
         [](CacheClaimTest& t) { t.builder.recipes.recipes[1].outputs[0] = set("OBJ", path("/out/b2.o"), 1); },
         "FLAGS=-DFOO SRC=/src/b.c"},
        // Written since its job, even to a time still after its source's, with other content; with the
        // same content (an importing project built it alike) it holds.
        {"a.o rewritten",
         [](CacheClaimTest& t) {
             t.times.ticks["/out/a.o"] = 25;
             t.times.contents["/out/a.o"] = 7;
         },
         "FLAGS=-DFOO SRC=/src/a.c"},
        {"a.o rewritten alike", [](CacheClaimTest& t) { t.times.ticks["/out/a.o"] = 25; }, ""},
        // Equal bytes show only that a.o holds what its job left at tick 20: a.c saved since (its
        // old bytes put back over a.o, or written again by a run that read a.c before the save)
        // is newer than that.
        {"a.c saved, then a.o rewritten alike",
         [](CacheClaimTest& t) {
             t.times.ticks["/src/a.c"] = 22;
             t.times.ticks["/out/a.o"] = 25;
         },
         "FLAGS=-DFOO SRC=/src/a.c"},
        {"a.c of a.o's old tick, then a.o rewritten alike",
         [](CacheClaimTest& t) {
             t.times.ticks["/src/a.c"] = 20;
             t.times.ticks["/out/a.o"] = 25;
         },
         "FLAGS=-DFOO SRC=/src/a.c"},
        // A time after the run began was not left by any job before it (a clock ahead, a touch
        // into the future): taking it would hold every later check up.
        {"a.o rewritten alike after the run began", [](CacheClaimTest& t) { t.times.ticks["/out/a.o"] = 101; },
         "FLAGS=-DFOO SRC=/src/a.c"},
        {"a.o rewritten alike as the run began", [](CacheClaimTest& t) { t.times.ticks["/out/a.o"] = 100; }, ""},
        // Set back before its source, it builds again, as an output older than its inputs always has.
        {"a.o set back before a.c", [](CacheClaimTest& t) { t.times.ticks["/out/a.o"] = 5; },
         "FLAGS=-DFOO SRC=/src/a.c"},
        {"a.o rewritten alike, from a file without fingerprints",
         [](CacheClaimTest& t) {
             t.times.ticks["/out/a.o"] = 25;
             for (auto& [key, recipe] : t.record()->recipes) recipe.outputFingerprints.clear();
         },
         "FLAGS=-DFOO SRC=/src/a.c"},
        // The same tick as its object: trusted only when its job started from that very time.
        {"a.c as old as a.o since its job",
         [](CacheClaimTest& t) {
             for (auto& [key, recipe] : t.record()->recipes)
                 if (recipe.inputTimes.front()) recipe.inputTimes.front() = std::filesystem::file_time_type(std::chrono::seconds(20));
             t.times.ticks["/src/a.c"] = t.times.ticks["/src/b.c"] = 20;
         },
         ""},
        {"a.c as old as a.o since its job, then a.o rewritten alike",
         [](CacheClaimTest& t) {
             for (auto& [key, recipe] : t.record()->recipes) recipe.inputTimes.front() = tick(20);
             t.times.ticks["/src/a.c"] = 20;
             t.times.ticks["/out/a.o"] = 25;
         },
         ""},
        {"a.o removed", [](CacheClaimTest& t) { t.times.ticks.erase("/out/a.o"); }, "FLAGS=-DFOO SRC=/src/a.c"},
        {"built by another program", [](CacheClaimTest& t) { t.record()->program = "/usr/bin/clang"; },
         "FLAGS=-DFOO SRC=/src/a.c /src/b.c"},
        {"from a file without times",
         [](CacheClaimTest& t) {
             for (auto& [key, recipe] : t.record()->recipes) recipe.outputTimes.clear();
         },
         "FLAGS=-DFOO SRC=/src/a.c /src/b.c"},
    };
    for (const auto& c : cases) {
        start();
        auto record = loaded({compile("a"), compile("b")}, {set("FLAGS", str("-DFOO"))});
        c.apply(*this);
        LogCapture capture(1);
        CacheClaim result = claim();
        const std::string log = capture.text();
        EXPECT_EQ(jobsOf(result), c.jobs) << c.change;
        const bool hit = std::string(c.jobs).empty();
        EXPECT_EQ(log, hit ? "Cache hit for 'main::app'.\n" : "Cache claimed for 'main::app'.\n") << c.change;
        EXPECT_EQ(result.claimToken != 0, !hit) << c.change;
        // A hit leaves the record unverified, so the next visit checks the files again.
        EXPECT_EQ(record->verified, false) << c.change;
        EXPECT_EQ(record->state, hit ? Tolm::RuntimeRecord::Free : Tolm::RuntimeRecord::Claimed) << c.change;
    }
}

// An output written again with the same content holds, and the record takes its new time: the
// next check reads no content. A check where every time matches reads none at all.
TEST_F(CacheClaimTest, OutputWrittenAgainAlikeTakesItsNewTime) {
    loaded({compile("a"), compile("b")}, {set("FLAGS", str("-DFOO"))});
    times.hashed = 0;
    EXPECT_TRUE(claim().jobContexts.empty());
    EXPECT_EQ(times.hashed, 0);
    times.ticks["/out/a.o"] = 25;
    EXPECT_TRUE(claim().jobContexts.empty());
    EXPECT_EQ(times.hashed, 1);
    EXPECT_TRUE(cache.stored);
    EXPECT_TRUE(claim().jobContexts.empty());
    EXPECT_EQ(times.hashed, 1);
}

// A source saved while its job ran: the job may have read the older text, so the recipe is built
// again on the next run, however the times compare then; the other recipe holds.
TEST_F(CacheClaimTest, InputChangedWhileItsJobRanIsBuiltAgain) {
    CacheClaim built = claim();
    times.ticks["/src/a.c"] = 15;
    releaseCacheClaim(cache, target->instanceName(), built, times);
    record()->verified = false;
    EXPECT_EQ(jobsOf(claim()), "FLAGS=-DFOO SRC=/src/a.c");
}

// Objects an importing project compiled again alike, and the archive it made of them again alike:
// to the archive's own record the objects are as old as their record says, so it holds, unless an
// object was written once more since its check or its source was saved. Objects written again
// after the archive (or without it) are newer than it, in this check as in the next: it builds.
TEST_F(CacheClaimTest, ObjectsRewrittenAlikeCountAsOldAsTheirRecord) {
    CachedRecipe archive;
    for (const char* object : {"/out/a.o", "/out/b.o"})
        archive.inputs.push_back(CachedInput{set("OBJ", path(object)), {}});
    archive.outputs.push_back(set("LIB", path("/out/lib.a"), 1));
    FakeBuilder archiver;
    archiver.recipes.recipes = {archive};
    const Tolm::TargetContext lib(Tolm::Context(), {"proj", "main", "lib"});
    const struct {
        const char* change;
        std::function<void(CacheClaimTest&)> before, after;
        const char* objects;
        const char* archive;
    } cases[] = {
        {"nothing more", {}, {}, "", ""},
        {"a.o written again since its check", {}, [](CacheClaimTest& t) { t.times.ticks["/out/a.o"] = 45; }, "",
         "OBJ=/out/a.o /out/b.o"},
        {"a.c saved", [](CacheClaimTest& t) { t.times.ticks["/src/a.c"] = 35; }, {}, "FLAGS=-DFOO SRC=/src/a.c",
         "OBJ=/out/a.o /out/b.o"},
        // The next check would find the objects plainly newer than the archive: built now.
        {"the archive not written again", [](CacheClaimTest& t) { t.times.ticks["/out/lib.a"] = 30; }, {}, "",
         "OBJ=/out/a.o /out/b.o"},
        {"the archive written again before the objects",
         [](CacheClaimTest& t) { t.times.ticks["/out/lib.a"] = 39; }, {}, "", "OBJ=/out/a.o /out/b.o"},
    };
    for (const auto& c : cases) {
        start();
        times.ticks["/out/lib.a"] = 30;
        loaded({compile("a"), compile("b")}, {set("FLAGS", str("-DFOO"))});
        loaded({archive}, {}, lib.instanceName());
        times.ticks["/out/a.o"] = times.ticks["/out/b.o"] = 40;
        times.ticks["/out/lib.a"] = 41;
        if (c.before) c.before(*this);
        EXPECT_EQ(jobsOf(claim()), c.objects) << c.change;
        if (c.after) c.after(*this);
        EXPECT_EQ(jobsOf(claimCachedBuild(cache, archiver, lib, 1, times)), c.archive) << c.change;
    }
}

// A directory its own job writes into (a generated header's folder, a library directory the linker
// writes the library into) holds at the time it had when the job ended, however it compares with
// the outputs then; a file made in it later builds again. A record without input times judges it
// like a file.
TEST_F(CacheClaimTest, DirectoryInputHoldsTheTimeItsJobLeftIt) {
    CachedRecipe generate;
    generate.inputs.push_back(CachedInput{set("gendir", path("/gen")), {}});
    generate.outputs.push_back(set("h", path("/gen/v.h"), 1));
    builder.recipes.recipes = {generate};
    builder.recipes.context.clear();
    times.ticks = {{"/gen", 10}};
    times.directories = {"/gen"};
    CacheClaim built = claim();
    // The job made v.h in /gen, then wrote it.
    times.ticks["/gen"] = 21;
    times.ticks["/gen/v.h"] = 20;
    releaseCacheClaim(cache, target->instanceName(), built, times);
    record()->verified = false;
    EXPECT_EQ(jobsOf(claim()), "");
    times.ticks["/gen"] = 30;
    EXPECT_EQ(jobsOf(claim()), "gendir=/gen");

    const std::pair<int, const char*> withoutInputTimes[] = {{19, ""}, {20, "gendir=/gen"}, {21, "gendir=/gen"}};
    for (const auto& [directory, jobs] : withoutInputTimes) {
        loaded({generate}, {});
        for (auto& [key, recipe] : record()->recipes) recipe.inputTimes.clear();
        times.ticks["/gen"] = directory;
        EXPECT_EQ(jobsOf(claim()), jobs) << directory;
    }
}

// A directory among the outputs is not dated (any job making, renaming or removing an entry in it
// moves its time): it holds while it exists, and the output files alone date the job. With no
// output file at all, every file and directory an input names holds only with the very time
// recorded for it. /gen starts older than v.txt, as a directory the job never writes.
TEST_F(CacheClaimTest, DirectoryOutputHoldsWhileItExists) {
    CachedRecipe generate;
    generate.inputs.push_back(CachedInput{set("IN", path("/src/v.txt")), {}});
    generate.inputs.push_back(CachedInput{set("TPL", path("/tpl")), {}});
    generate.outputs.push_back(set("include", path("/gen"), 1));
    CachedRecipe withHeader = generate;
    withHeader.outputs.push_back(set("h", path("/gen/v.h"), 1));
    const auto setTick = [](const char* file, int tick) {
        return [=](CacheClaimTest& t) { t.times.ticks[file] = tick; };
    };
    const struct {
        const char* change;
        const CachedRecipe& recipe;
        std::function<void(CacheClaimTest&)> apply;
        bool upToDate;
    } cases[] = {
        {"nothing", withHeader, {}, true},
        {"an entry renamed into /gen", withHeader, setTick("/gen", 30), true},
        {"v.txt saved", withHeader, setTick("/src/v.txt", 25), false},
        {"/gen only: nothing", generate, {}, true},
        {"/gen only: an entry made in it", generate, setTick("/gen", 30), true},
        {"/gen only: removed", generate, [](CacheClaimTest& t) { t.times.ticks.erase("/gen"); }, false},
        {"/gen only: v.txt saved", generate, setTick("/src/v.txt", 30), false},
        {"/gen only: v.txt set back", generate, setTick("/src/v.txt", 2), false},
        {"/gen only: an entry made in /tpl", generate, setTick("/tpl", 30), false},
        {"/gen only: from a file without input times", generate,
         [](CacheClaimTest& t) { t.record()->recipes.begin()->second.inputTimes.clear(); }, false},
    };
    for (const auto& c : cases) {
        builder.recipes.recipes = {c.recipe};
        builder.recipes.context.clear();
        times.ticks = {{"/src/v.txt", 10}, {"/tpl", 8}, {"/gen", 5}, {"/gen/v.h", 20}};
        times.directories = {"/tpl", "/gen"};
        loaded({c.recipe}, {});
        if (c.apply) c.apply(*this);
        EXPECT_EQ(jobsOf(claim()).empty(), c.upToDate) << c.change;
    }
}

// Each recorded start time stays with its file, also past an input that changed or failed: c.c,
// saved in the output's tick after its job started from tick 15, is never trusted by a time some
// file before it had.
TEST_F(CacheClaimTest, InputTimesStayWithTheirFiles) {
    CachedRecipe link;
    link.inputs.push_back(CachedInput{set("SRC", listOf({path("/src/a.c"), path("/src/b.c")})), {}});
    link.inputs.push_back(CachedInput{set("SRC", path("/src/c.c")), set("OBJ", path("/out/c.o"))});
    link.outputs.push_back(set("BIN", path("/out/app"), 1));
    StoredRecipe stored(link);
    stored.outputTimes = {tick(20)};
    stored.outputFingerprints = {0};
    stored.inputTimes = {tick(20), tick(20), tick(15)};
    CachedRecipe shorter = link;
    shorter.inputs[0].input = set("SRC", listOf({path("/src/a.c")}));
    const struct {
        const char* change;
        const CachedRecipe& fresh;
        int a, c;
        bool reuseA, reuseC;
    } cases[] = {
        {"c.c saved", link, 20, 20, true, false},
        {"a.c and c.c saved", link, 30, 20, false, false},
        {"a.c saved", link, 30, 15, false, true},
        {"b.c left out, c.c saved", shorter, 20, 20, false, false},
        {"b.c left out", shorter, 20, 15, false, true},
    };
    for (const auto& c : cases) {
        times.ticks = {{"/src/a.c", c.a}, {"/src/b.c", 20}, {"/src/c.c", c.c}, {"/out/app", 20}};
        StoredRecipe fresh(c.fresh);
        EXPECT_EQ(recipeUpToDate(fresh, stored, times, cache.run), c.reuseA && c.reuseC) << c.change;
        EXPECT_EQ(fresh.inputs[0].reuse, c.reuseA) << c.change;
        EXPECT_EQ(fresh.inputs[1].reuse, c.reuseC) << c.change;
    }
}

// A stale link step gets the objects of its unchanged sources; other context flags reuse nothing.
TEST_F(CacheClaimTest, ReusesIntermediatesOnlyUnderSameContext) {
    CachedRecipe link;
    for (const CachedRecipe& object : {compile("a"), compile("b")}) link.inputs.push_back(object.inputs[0]);
    link.outputs.push_back(set("BIN", path("/out/app"), 1));
    builder.recipes.recipes = {link};
    loaded({link}, {set("FLAGS", str("-DFOO"))});
    times.ticks["/src/b.c"] = 40;
    EXPECT_EQ(jobsOf(claim()), "FLAGS=-DFOO OBJ=/out/a.o SRC=/src/b.c");

    loaded({link}, {set("FLAGS", str("-DBAR"))});
    EXPECT_EQ(jobsOf(claim()), "FLAGS=-DFOO SRC=/src/a.c /src/b.c");
}

// The claim slices the stale recipes by the job count and the tool's limit.
TEST_F(CacheClaimTest, SplitsRecipesIntoWorkers) {
    for (int i = 0; i < 8; ++i) builder.recipes.recipes.push_back(compile("s" + std::to_string(i)));
    builder.recipes.maxParallelJobs = 3;
    EXPECT_EQ(claim(8).jobContexts.size(), 3u);
}

// A failed claim keeps the recipes whose jobs succeeded; the others keep their old form only under
// the same flags (under others, c.c and d.c untouched would pass). A record the claim made and
// nothing completed in is gone again.
TEST_F(CacheClaimTest, FailedClaimKeepsWhatCompleted) {
    builder.recipes.recipes = {compile("a"), compile("b"), compile("c"), compile("d")};
    builder.recipes.maxParallelJobs = -1;
    for (const auto& [oldFlags, tick] : {std::pair{"-DFOO", 25}, {"-DBAR", 10}}) {
        times.ticks = {{"/src/a.c", 25}, {"/src/b.c", 25}, {"/src/c.c", tick}, {"/src/d.c", tick}};
        for (const char* name : {"a", "b", "c", "d"}) times.ticks[std::string("/out/") + name + ".o"] = 20;
        loaded(builder.recipes.recipes, {set("FLAGS", str(oldFlags))});
        CacheClaim failed = claim(2);
        // The first job wrote a.o and b.o, the second failed.
        times.ticks["/out/a.o"] = times.ticks["/out/b.o"] = 30;
        releaseFailedClaim(cache, "proj/main::app", failed, failed.jobRecipes.at(0), times);
        EXPECT_EQ(jobsOf(claim()), "FLAGS=-DFOO SRC=/src/c.c /src/d.c") << oldFlags;
    }
    cache.records.clear();
    CacheClaim created = claim();
    releaseFailedClaim(cache, "proj/main::app", created, {}, times);
    EXPECT_TRUE(cache.records.empty());
}

// Worker count: one worker unless every bound allows two, each worker getting at least two recipes.
TEST(WorkerCountTest, Table) {
    const std::uint64_t none = static_cast<std::uint64_t>(-1);
    const struct {
        std::uint64_t jobs, limit, recipes, expected;
    } cases[] = {
        {1, none, 10, 1}, {0, none, 10, 1}, {8, none, 11, 5}, {8, 0, 10, 1}, {8, 3, 10, 3},
        {8, none, 3, 1},  {8, none, 0, 1},  {4, none, 100, 4}, {2, 2, 4, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(computeWorkerCount(c.jobs, c.limit, c.recipes), c.expected)
            << c.jobs << " " << c.limit << " " << c.recipes;
}

// Slices are contiguous and in order, the first ones one larger; each job carries the target's
// name and instance, its inputs (intermediates where reused) and then the set's context.
TEST(WorkerGroupingTest, ContiguousSlices) {
    Tolm::TargetContext target(Tolm::Context(), {"proj", "main", "app"});
    target.instanceText = "x";
    std::vector<CachedRecipe> recipes;
    for (const char* name : {"a", "b", "c", "d", "e"}) recipes.push_back(compile(name));
    recipes[3].inputs[0].reuse = true;
    recipes[4].inputs[0].reuse = true;
    recipes[4].inputs[0].intermediate = {};
    std::vector<CachedRecipe*> pointers;
    for (CachedRecipe& recipe : recipes) pointers.push_back(&recipe);
    const std::vector<Tolm::Assignment> context{set("SRC", str("extra")), set("FLAGS", str("-O2"))};

    auto jobs = groupIntoWorkerContexts(target, pointers, context, 2);
    ASSERT_EQ(jobs.size(), 2u);
    CacheClaim asClaim;
    asClaim.jobContexts = jobs;
    EXPECT_EQ(jobsOf(asClaim),
              "FLAGS=-O2 SRC=/src/a.c /src/b.c /src/c.c extra|FLAGS=-O2 OBJ=/out/d.o SRC=/src/e.c extra");
    auto& first = dynamic_cast<Tolm::TargetContext&>(*jobs[0]);
    EXPECT_EQ(first.instanceName(), target.instanceName());
    EXPECT_TRUE(first.dependencies.empty());

    EXPECT_EQ(groupIntoWorkerContexts(target, pointers, context, 9).size(), 5u);
    EXPECT_TRUE(groupIntoWorkerContexts(target, pointers, context, 0).empty());
    EXPECT_TRUE(groupIntoWorkerContexts(target, {}, context, 3).empty());
}

// Cache comparison is exact: letter case and value type count (a raw text is a text: the cache
// file stores a text holding a double quote as one), nested contexts compare by content, paths by
// the file they name however it is spelled.
TEST(CachedValueTest, ExactComparison) {
    const struct {
        TolmValuePtr a, b;
        bool same;
    } cases[] = {
        {str("-DFOO"), str("-Dfoo"), false},
        {str("-DV=\"1\""), raw("-DV=\"1\""), true},
        {raw("/a/b"), path("/a/b"), false},
        {num(5), str("5"), false},
        {path("/a/./b"), path("/a/b"), true},
        {path("/a/b"), path("/a/b/"), false},
        // A path read back from the cache file (based at ".") against the same path resolved now
        // (no base), and relative texts against their base directories.
        {CacheTest::path(".", "/p/a.c"), CacheTest::path("", "/p/a.c"), true},
        {CacheTest::path("/p/", "a.c"), CacheTest::path("/p", "a.c"), true},
        {CacheTest::path("/p", "a.c"), CacheTest::path("/q", "a.c"), false},
        {CacheTest::path("/p", "../q/a.c"), CacheTest::path("", "/q/a.c"), true},
        {path("/a/B"), path("/a/b"), false},
        {listOf({str("a"), str("b")}), listOf({str("a"), str("b")}), true},
        {listOf({str("a")}), listOf({str("a"), str("b")}), false},
        {listOf({num(1)}), listOf({str("1")}), false},
        {contextValue({set("x", str("1"))}), contextValue({set("X", str("1"))}), true},
        {contextValue({set("x", str("1"))}), contextValue({set("x", str("2"))}), false},
        {ref("a.b"), ref("a.b"), true},
        {nullptr, nullptr, true},
        {nullptr, str(""), false},
    };
    for (const auto& c : cases) {
        const std::string shown = (c.a ? c.a->toLiteral() : "null") + " vs " + (c.b ? c.b->toLiteral() : "null");
        EXPECT_EQ(sameCachedValue(c.a, c.b), c.same) << shown;
    }
}

}  // namespace
