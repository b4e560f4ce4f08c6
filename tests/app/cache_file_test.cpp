#include "app/cache_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/cache_test_support.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"

namespace {

using namespace TestSupport;
using CacheTest::describe;
using CacheTest::make;
namespace fs = std::filesystem;

void addRecord(BuildCache& cache, const std::string& key, std::vector<Tolm::CachedRecipe> recipes,
               std::vector<Tolm::Assignment> context)
{
    auto record = CacheTest::record(std::move(recipes), std::move(context));
    record->verified = true;
    cache.records.emplace(key, std::move(record));
}

// A time as seconds and nanoseconds since 1970, "-" for none.
std::string timeText(const FileTime& time)
{
    if (!time) return "-";
    const auto since = std::chrono::file_clock::to_sys(*time).time_since_epoch();
    const auto whole = std::chrono::floor<std::chrono::seconds>(since);
    return std::to_string(whole.count()) + "s+" + std::to_string((since - whole).count());
}

// Every record as text, in key order, with what a load must leave in it.
std::string dump(BuildCache& cache)
{
    std::vector<std::string> records;
    for (const auto& [key, record] : cache.records) {
        std::string text = key.str();
        if (record->verified || record->state != 0 || record->claimToken != 0) text += " (not as loaded)";
        if (!record->program.empty()) text += "\n  program " + record->program;
        for (const auto& [hash, recipe] : record->recipes) {
            text += "\n  recipe";
            if (hash != hashCacheInputs(recipe.inputs)) text += " (wrong key)";
            for (const auto& entry : recipe.inputs) {
                text += "\n    in " + describe(entry.input);
                if (entry.hasIntermediate()) text += " -> " + describe(entry.intermediate);
                if (entry.reuse) text += " (reuse)";
            }
            for (const auto& output : recipe.outputs) text += "\n    out " + describe(output);
            if (!recipe.outputTimes.empty()) text += "\n    times";
            for (const auto& time : recipe.outputTimes) text += " " + timeText(time);
            if (!recipe.outputFingerprints.empty()) text += "\n    contents";
            for (const auto& fingerprint : recipe.outputFingerprints)
                text += fingerprint ? " " + std::to_string(*fingerprint) : " -";
            if (!recipe.inputTimes.empty()) text += "\n    started";
            for (const auto& time : recipe.inputTimes) text += " " + timeText(time);
        }
        for (const auto& assignment : record->context) text += "\n  context " + describe(assignment);
        for (const auto& file : record->madeFiles)
            text += "\n  made " + file.path + " " + std::to_string(file.written.tv_sec) + "s+" +
                    std::to_string(file.written.tv_nsec) + " #" + std::to_string(file.inode) + " " +
                    std::to_string(file.size) + "B";
        records.push_back(text);
    }
    std::sort(records.begin(), records.end());
    std::string all;
    for (const auto& record : records) all += record + "\n";
    return all;
}

// A string element of the file, for files made by hand.
std::string element(const std::string& text)
{
    return std::to_string(text.size()) + "\n" + text + "\n";
}

std::string assignmentLines(const std::string& text, const std::string& numbers = "1 0")
{
    return "A " + numbers + "\n" + element(text);
}

// A project directory holding a cache file.
class CacheFileTest : public testing::Test {
protected:
    fs::path cacheFile() const { return scratch.path() / "proj" / ".tolm_cache"; }

    // Loads `content` as the cache file; gives what the load logged.
    std::string load(const std::string& content, BuildCache& cache)
    {
        scratch.write("proj/.tolm_cache", content);
        LogCapture capture(5);
        loadBuildCache(cache);
        return capture.text();
    }

    std::string save(BuildCache& cache)
    {
        LogCapture capture(5);
        saveBuildCache(cache);
        return capture.text();
    }

    // No save leaves a temporary file behind.
    long projectFiles() const { return std::distance(fs::directory_iterator(cacheFile().parent_path()), {}); }

    ScratchDir scratch;
};

// Hand-made files of each version. V7 holds the header, the record count,
// then per record its key, the program that ran its commands, recipes (each
// input followed by its intermediate flag, then the outputs, the times the
// job left their files at and their contents' fingerprints, and the times
// the input files had when it started) and context; it reads and saves back
// to the same bytes. V6 has no fingerprints and no start times, V5 no program
// and no times either, V4 no intermediate flags, V3 drops the context too;
// the next save writes V7.
TEST_F(CacheFileTest, HandMadeFilesOfEachVersion)
{
    const std::string key = "1\n" + element("app::main");
    const std::string recipes = "1\n2\n";
    const std::string source = assignmentLines("C_FILE = P\"(/p/a.c)\"");
    const std::string object = "1\n" + assignmentLines("O_FILE = P\"(/o/a.o)\"");
    const std::string number = assignmentLines("N += 4", "2 0");
    const std::string output = "1\n" + assignmentLines("BIN = \"app\"", "1 1");
    const std::string context = "1\n" + assignmentLines("CFLAGS = \"-g\"");
    const std::string times = "3\n-5 000000007\n1765099999 123456789\n-\n";
    const std::string v6Recipe = source + object + number + "0\n" + output + times;
    const std::string v7 = "TOLM_CACHE_V7\n" + key + element("/usr/bin/gcc") + recipes + v6Recipe +
                           "3\n00000000000000ff\n-\nffffffffffffffff\n1\n1765099990 000000001\n" + context;
    const std::string v6 = "TOLM_CACHE_V6\n" + key + element("/usr/bin/gcc") + recipes + v6Recipe + context;
    const std::string v5 = "TOLM_CACHE_V5\n" + key + recipes + source + object + number + "0\n" + output + context;
    auto recipe = [](const std::string& intermediate, const std::string& timed) {
        return "  recipe\n    in C_FILE 1/0 path(.|/p/a.c)" + intermediate +
               "\n    in N 2/0 TolmInt(4)\n    out BIN 1/1 TolmString(app)\n" + timed;
    };
    const std::string withObject = " -> O_FILE 1/0 path(.|/o/a.o)";
    const std::string contextShown = "  context CFLAGS 1/0 TolmString(-g)\n";
    const std::string timesShown = "    times -5s+7 1765099999s+123456789 -\n";

    BuildCache current(cacheFile());
    EXPECT_EQ(load(v7, current), "");
    EXPECT_EQ(dump(current), "app::main\n  program /usr/bin/gcc\n" +
                                 recipe(withObject, timesShown + "    contents 255 - 18446744073709551615\n"
                                                                 "    started 1765099990s+1\n") +
                                 contextShown);
    ASSERT_EQ(save(current), "");
    EXPECT_EQ(contentOf(cacheFile()), v7);
    EXPECT_EQ(projectFiles(), 1);

    BuildCache timedOnly(cacheFile());
    EXPECT_EQ(load(v6, timedOnly), "");
    EXPECT_EQ(dump(timedOnly), "app::main\n  program /usr/bin/gcc\n" + recipe(withObject, timesShown) + contextShown);
    BuildCache older(cacheFile());
    EXPECT_EQ(load(v5, older), "");
    EXPECT_EQ(dump(older), "app::main\n" + recipe(withObject, "") + contextShown);
    BuildCache v4(cacheFile());
    EXPECT_EQ(load("TOLM_CACHE_V4\n" + key + recipes + source + number + output + context, v4), "");
    EXPECT_EQ(dump(v4), "app::main\n" + recipe("", "") + contextShown);
    BuildCache v3(cacheFile());
    EXPECT_EQ(load("TOLM_CACHE_V3\n" + key + recipes + source + number + output + context, v3), "");
    EXPECT_EQ(dump(v3), "app::main\n" + recipe("", ""));

    ASSERT_EQ(save(timedOnly), "");
    EXPECT_EQ(contentOf(cacheFile()),
              "TOLM_CACHE_V7\n" + key + element("/usr/bin/gcc") + recipes + v6Recipe + "0\n0\n" + context);
    ASSERT_EQ(save(older), "");
    EXPECT_EQ(contentOf(cacheFile()), "TOLM_CACHE_V7\n" + key + element("") + recipes + source + object + number +
                                          "0\n" + output + "0\n0\n0\n" + context);
    ASSERT_EQ(save(v4), "");
    EXPECT_EQ(contentOf(cacheFile()), "TOLM_CACHE_V7\n" + key + element("") + recipes + source + "0\n" + number +
                                          "0\n" + output + "0\n0\n0\n" + context);
}

// Each way a file can break gives its own warning and an empty cache, even
// after good records.
TEST_F(CacheFileTest, DamagedFileWarnings)
{
    const std::string good = element("good") + "0\n0\n";
    const std::string v5 = "TOLM_CACHE_V5\n2\n" + good;
    const std::string in = v5 + element("bad") + "1\n1\n" + assignmentLines("X = 1");
    const auto timed = [](const std::string& time) {
        return "TOLM_CACHE_V6\n1\n" + element("bad") + element("") + "1\n0\n0\n1\n" + time + "\n";
    };
    const auto fingerprinted = [](const std::string& rest) {
        return "TOLM_CACHE_V7\n1\n" + element("bad") + element("") + "1\n0\n0\n0\n" + rest;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "has invalid header"},
        {"TOLM_CACHE_V8\n0\n", "has unsupported header 'TOLM_CACHE_V8'"},
        {"TOLM_CACHE_V5\r\n0\n", "has unsupported header 'TOLM_CACHE_V5\r'"},
        {"TOLM_CACHE_V5\n", "has invalid records count"},
        {"TOLM_CACHE_V5\n-1\n", "has invalid records count"},
        {"TOLM_CACHE_V5\n18446744073709551616\n", "has invalid records count"},
        {v5, "is malformed (record key)"},
        {v5 + "5\nab\n", "is malformed (record key)"},
        {v5 + "2\nabc\n", "is malformed (record key)"},
        {v5 + "18446744073709551615\nx\n", "is malformed (record key)"},
        {v5 + element("bad") + "x\n", "is malformed (recipe count)"},
        {v5 + element("bad") + "1\n", "is malformed (inputs count)"},
        {v5 + element("bad") + "1\n1\nB 1 0\n1\nX\n", "is malformed (input assignment)"},
        {v5 + element("bad") + "1\n1\n" + assignmentLines("X = [1,]"), "is malformed (input assignment)"},
        {in, "is malformed (input intermediate flag)"},
        {in + "1\n" + assignmentLines("\"no name\""), "is malformed (input intermediate assignment)"},
        {in + "0\n", "is malformed (outputs count)"},
        {in + "0\n1\n" + assignmentLines("X = \"\xFF\""), "is malformed (output assignment)"},
        {in + "0\n0\n", "is malformed (env/context count)"},
        {in + "0\n0\n18446744073709551615\n", "is malformed (env/context assignment)"},
        // What V6 adds: the program after the key, the times after the outputs.
        {"TOLM_CACHE_V6\n1\n" + element("bad") + "9\nshort\n", "is malformed (program)"},
        {"TOLM_CACHE_V6\n1\n" + element("bad") + element("") + "1\n0\n0\n", "is malformed (output times count)"},
        {timed("soon"), "is malformed (output time)"},
        {timed("1765099999"), "is malformed (output time)"},
        {timed("1765099999 1000000000"), "is malformed (output time)"},
        {timed("1765099999 -1"), "is malformed (output time)"},
        {timed("1765099999x 0"), "is malformed (output time)"},
        // Beyond what the file clock holds: about the year 2500.
        {timed("16725225600 0"), "is malformed (output time)"},
        {timed("-9223372036854775808 0"), "is malformed (output time)"},
        // What V7 adds: the outputs' fingerprints and the inputs' start times after the times.
        {fingerprinted(""), "is malformed (output fingerprints count)"},
        {fingerprinted("1\n"), "is malformed (output fingerprint)"},
        {fingerprinted("1\n00000000000000FF\n"), "is malformed (output fingerprint)"},
        {fingerprinted("1\nff\n"), "is malformed (output fingerprint)"},
        {fingerprinted("1\n0000000000000000ff\n"), "is malformed (output fingerprint)"},
        {fingerprinted("1\n-\n"), "is malformed (input times count)"},
        {fingerprinted("0\n1\n"), "is malformed (input time)"},
        {fingerprinted("0\n1\nnow\n"), "is malformed (input time)"},
    };
    for (const auto& [content, problem] : cases) {
        BuildCache cache(cacheFile());
        const std::string expected =
            "Cache file '" + cacheFile().string() + "' " + problem + ". Starting with empty cache.\n";
        EXPECT_EQ(load(content, cache), expected) << content;
        EXPECT_TRUE(cache.records.empty()) << content;
        EXPECT_EQ(cache.nextClaimToken, 1u);
    }
}

// What the reader tolerates: a flag with a trailing blank, records beyond the
// count and bytes after the last record. Of two records whose keys differ in
// case the later wins; of two equal recipes the first. (No file at all is the
// first build of every scenario.)
TEST_F(CacheFileTest, LoadToleratesAndMerges)
{
    const std::string content = "TOLM_CACHE_V5\n  3 records\n" + element("App::Main") + "0\n1\n" +
                                assignmentLines("X = \"old\"") + element("app::main") + "2\n" +
                                "1\n" + assignmentLines("IN = \"a\"") + "1 \n" + assignmentLines("OBJ = \"first\"") +
                                "0\n" + "1\n" + assignmentLines("IN = \"a\"") + "0\n0\n" + "0\n" + element("next") +
                                "0\n0\n" + element("beyond the count") + "0\n0\ntrailing bytes";
    BuildCache cache(cacheFile());
    EXPECT_EQ(load(content, cache), "");
    EXPECT_EQ(dump(cache),
              "app::main\n"
              "  recipe\n"
              "    in IN 1/0 TolmString(a) -> OBJ 1/0 TolmString(first)\n"
              "next\n");
}

// The files a record's jobs made, as they left them (time, inode, size), follow the last record, where a
// reader that knows nothing of them ignores them: each list goes to its record whatever the key's
// case, sorted by path once, and one for no record is dropped; the save writes them back as read. A
// damaged list leaves every record without one, and the records as they are, without a warning.
TEST_F(CacheFileTest, MadeFilesFollowTheRecords)
{
    const std::string records = "TOLM_CACHE_V7\n2\n" + element("app::gen") + element("") + "0\n0\n" +
                                element("app::main") + element("") + "0\n0\n";
    const std::string made = "MADE_FILES\n2\n" + element("app::gen") + "2\n" + element("/p/a.txt") +
                             "1765099999\n7\n12\n5\n" + element("/p/b.txt") +
                             "0\n999999999\n18446744073709551615\n0\n" + element("app::main") + "1\n" +
                             element("/p/m.txt") + "1\n0\n3\n9223372036854775807\n";
    const std::string shown = "app::gen\n  made /p/a.txt 1765099999s+7 #12 5B\n"
                              "  made /p/b.txt 0s+999999999 #18446744073709551615 0B\n"
                              "app::main\n  made /p/m.txt 1s+0 #3 9223372036854775807B\n";
    BuildCache cache(cacheFile());
    EXPECT_EQ(load(records + made, cache), "");
    EXPECT_EQ(dump(cache), shown);
    cache.stored = true;
    ASSERT_EQ(save(cache), "");
    EXPECT_EQ(contentOf(cacheFile()), records + made);

    const std::string unsorted = "MADE_FILES\n2\n" + element("APP::GEN") + "3\n" + element("/p/b.txt") +
                                 "2\n0\n1\n1\n" + element("/p/a.txt") + "1\n0\n1\n1\n" + element("/p/b.txt") +
                                 "3\n0\n1\n1\n" + element("app::gone") + "1\n" + element("/p/x.txt") + "1\n0\n1\n1\n";
    BuildCache merged(cacheFile());
    EXPECT_EQ(load(records + unsorted, merged), "");
    EXPECT_EQ(dump(merged), "app::gen\n  made /p/a.txt 1s+0 #1 1B\n  made /p/b.txt 2s+0 #1 1B\napp::main\n");

    const std::string plain = "app::gen\napp::main\n";
    const std::string one = "MADE_FILES\n1\n" + element("app::gen") + "1\n" + element("/p/a.txt");
    for (const std::string& damaged :
         std::vector<std::string>{made.substr(0, made.size() - 22), "MADE_FILES\nmany\n", one, one + "1\n0\n1\n",
                                  one + "1\n1000000000\n1\n1\n", one + "-1\n0\n1\n1\n",
                                  one + "1\n0\n1\n9223372036854775808\n",
                                  "MADE_FILES\n2\n" + element("app::gen") + "1\n" + element("/p/a.txt") +
                                      "1\n0\n1\n1\n",
                                  "MADE_FILE\n" + made.substr(made.find('\n') + 1), std::string("trailing bytes")}) {
        BuildCache partial(cacheFile());
        EXPECT_EQ(load(records + damaged, partial), "") << damaged;
        EXPECT_EQ(dump(partial), plain) << damaged;
    }
}

// A run that stored nothing in a cache read from a file of the newest format leaves the file as it
// is, even when another run has replaced it since; one that stored a record, or read an older
// format, writes it.
TEST_F(CacheFileTest, SaveWithNothingStoredWritesNothing)
{
    const std::string v7 = "TOLM_CACHE_V7\n1\n" + element("app::main") + element("") + "0\n0\n";
    const std::string other = "TOLM_CACHE_V7\n0\n";
    for (const std::string header : {"TOLM_CACHE_V7", "TOLM_CACHE_V6"}) {
        BuildCache cache(cacheFile());
        load(header + v7.substr(v7.find('\n')), cache);
        scratch.write("proj/.tolm_cache", other);
        ASSERT_EQ(save(cache), "");
        EXPECT_EQ(contentOf(cacheFile()), header == "TOLM_CACHE_V7" ? other : v7) << header;
        cache.stored = true;
        ASSERT_EQ(save(cache), "");
        EXPECT_EQ(contentOf(cacheFile()), v7) << header;
    }
}

// A save that cannot complete says why and leaves the old cache file alone; a save of the same bytes
// writes nothing.
TEST_F(CacheFileTest, SaveFailuresKeepTheOldFile)
{
    const std::string old = "TOLM_CACHE_V5\n0\n";
    BuildCache cache(cacheFile());
    addRecord(cache, "app", {}, {make("X", str("x"), 1)});
    const std::string cachePath = cacheFile().string();

    // A cache file name so long that no temporary name fits beside it.
    const std::string longName = std::string(250, 'c');
    BuildCache tooLong(scratch.write("proj/" + longName, old));
    addRecord(tooLong, "app", {}, {});
    std::string message = save(tooLong);
    EXPECT_TRUE(message.starts_with("Unable to open cache file '" + tooLong.cacheFile.string() + ".tmp.")) << message;
    EXPECT_TRUE(message.ends_with("' for writing: File name too long\n")) << message;
    EXPECT_EQ(contentOf(tooLong.cacheFile), old);

    // A directory with content where the cache file goes: not removed.
    scratch.write("proj/.tolm_cache/keep", "x");
    message = save(cache);
    EXPECT_TRUE(message.starts_with("Unable to replace cache file '" + cachePath + "' with '" + cachePath + ".tmp."));
    EXPECT_TRUE(message.ends_with("': Is a directory\n")) << message;
    EXPECT_TRUE(fs::exists(cacheFile() / "keep"));
    EXPECT_EQ(projectFiles(), 2);
    fs::remove_all(cacheFile());

    ASSERT_EQ(save(cache), "");
    const auto written = fs::last_write_time(cacheFile()) - std::chrono::hours(1);
    fs::last_write_time(cacheFile(), written);
    ASSERT_EQ(save(cache), "");
    EXPECT_EQ(fs::last_write_time(cacheFile()), written);

    // A file where the project directory goes.
    scratch.write("file", "x");
    BuildCache below(scratch.path() / "file" / ".tolm_cache");
    message = save(below);
    EXPECT_TRUE(message.starts_with("Unable to create cache directory '" + (scratch.path() / "file").string() + "': "))
        << message;
    EXPECT_EQ(contentOf(scratch.path() / "file"), "x");
}

// The save tells whether the file holds the cache afterwards, so the run can fail when it does not: a
// save skipped on purpose (nothing stored, the same bytes, a path the load found not to be a regular
// file) is true; a directory that cannot be made, a temporary that cannot be opened and a rename onto
// a directory made after the load are false.
TEST_F(CacheFileTest, SaveTellsWhetherTheFileHoldsTheCache)
{
    scratch.write("file", "x");
    scratch.write("proj/early/.tolm_cache/keep", "x");
    const struct {
        std::string file;
        bool store;
        bool occupyAfterLoad;
        bool saved;
    } cases[] = {
        {"proj/.tolm_cache", true, false, true},
        {"proj/.tolm_cache", false, false, true},
        {"proj/.tolm_cache", true, false, true},
        {"proj/early/.tolm_cache", true, false, true},
        {"file/.tolm_cache", true, false, false},
        {"proj/late/.tolm_cache", true, true, false},
        {"proj/" + std::string(250, 'c'), true, false, false},
    };
    for (const auto& c : cases) {
        BuildCache cache(scratch.path() / c.file);
        LogCapture log(5);
        loadBuildCache(cache);
        if (c.store) {
            addRecord(cache, "app", {}, {});
            cache.stored = true;
        }
        if (c.occupyAfterLoad) scratch.write(c.file + "/keep", "x");
        const bool saved = saveBuildCache(cache);
        const std::string said = log.text();
        EXPECT_EQ(saved, c.saved) << c.file << " " << c.store << "\n" << said;
    }
    EXPECT_EQ(contentOf(scratch.path() / "file"), "x");
    EXPECT_EQ(projectFiles(), 3);
}

// A record holding a value that no text reads back is left out, saying which target and value, so
// the next load keeps every other record instead of refusing the file.
TEST_F(CacheFileTest, UnwritableRecordLeftOut)
{
    BuildCache cache(cacheFile());
    addRecord(cache, "keep", {}, {make("X", str("x"), 1)});
    addRecord(cache, "context", {}, {make("X", contextValue({set("A", str("1"))}), 1)});
    const auto recipeOf = [](Tolm::Assignment in) { return Tolm::CachedRecipe{{{std::move(in), {}, false}}, {}}; };
    addRecord(cache, "name", {recipeOf(make("name", str("x"), 1))}, {});
    addRecord(cache, "bytes", {recipeOf(make("X", listOf({str("a"), str("b\xFF")}), 1))}, {});
    ASSERT_EQ(save(cache), "Target 'bytes' is rebuilt on every run: its value 'b\xFF' of 'X' cannot be stored in the "
                           "cache file.\nTarget 'name' is rebuilt on every run: its value 'x' of 'name' cannot be "
                           "stored in the cache file.\n");

    BuildCache loaded(cacheFile());
    EXPECT_EQ(load(contentOf(cacheFile()), loaded), "");
    EXPECT_EQ(dump(loaded), "context\n  context X 1/0 context{A 1/0 TolmString(1);}\nkeep\n  context X 1/0 TolmString(x)\n");
}

}  // namespace
