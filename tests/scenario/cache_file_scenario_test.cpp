// The cache file across runs of the real binary: however it is damaged, the
// next build goes on and builds correctly, and a build or a save that fails
// leaves the file on disk as it was.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

using Scenario::RunResult;

const char* const kUnit = R"unit(unit main
app: lib { ^bin = P"(app.txt)" cmdline = "cat lib.txt > app.txt" }
lib: { ^out = P"(lib.txt)" cmdline = "echo one > lib.txt" }
)unit";

// Damaged files take one run each; the runs go in a few lanes at once, each
// lane a copy of the project of its own.
constexpr int kLanes = 4;

class CacheFileScenario : public TolmScenario {
protected:
    void SetUp() override {
        for (int lane = 0; lane < kLanes; ++lane) {
            write(laneDir(lane) + "/.tolm_project.txt", "name demo\nunits {\n  main { \"tolm.txt\" }\n}\n");
            write(laneDir(lane) + "/tolm.txt", kUnit);
        }
    }

    static std::string laneDir(int lane) { return std::to_string(lane); }
    std::string cacheOf(int lane) const { return at(laneDir(lane) + "/.tolm_cache"); }

    // The date words keep the cache file the same across midnight.
    RunResult build(int lane) const {
        return tolm({"app", "day=\"1\"", "month=\"1\"", "year=\"2000\""}, laneDir(lane));
    }

    // Empty when the run built both files correctly and said nothing but the
    // build's own lines and at most one load warning; else what went wrong.
    std::string problemOf(const RunResult& run, int lane) const {
        if (run.exitCode != 0) return "exit " + std::to_string(run.exitCode) + "\n" + run.out;
        if (!run.err.empty()) return "error output: " + run.err;
        for (const char* file : {"/lib.txt", "/app.txt"})
            if (contentOf(at(laneDir(lane) + file)) != "one\n") return std::string("wrong ") + file + "\n" + run.out;
        const std::string warning = "Cache file '" + cacheOf(lane) + "' ";
        int warnings = 0;
        std::size_t start = 0;
        while (start < run.out.size()) {
            const std::size_t end = run.out.find('\n', start);
            const std::string line = run.out.substr(start, end - start);
            start = end == std::string::npos ? run.out.size() : end + 1;
            if (line == "Starting build" || line.starts_with("[main::")) continue;
            if (line.starts_with(warning) && line.ends_with(". Starting with empty cache.") && ++warnings == 1) continue;
            return "unexpected line: " + line + "\n" + run.out;
        }
        return "";
    }

    // Runs `check` for each index below `count`, spread over the lanes, and
    // gives every problem found, by index.
    static std::vector<std::string> inLanes(std::size_t count, const std::function<std::string(int, std::size_t)>& check) {
        std::vector<std::vector<std::string>> found(kLanes);
        std::vector<std::thread> lanes;
        for (int lane = 0; lane < kLanes; ++lane)
            lanes.emplace_back([&, lane] {
                for (std::size_t index = lane; index < count; index += kLanes)
                    if (std::string problem = check(lane, index); !problem.empty())
                        found[lane].push_back(std::to_string(index) + ": " + problem);
            });
        for (std::thread& lane : lanes) lane.join();
        std::vector<std::string> all;
        for (const auto& problems : found) all.insert(all.end(), problems.begin(), problems.end());
        return all;
    }

    static void setContent(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
};

std::string firstOf(const std::vector<std::string>& problems) {
    return problems.empty() ? "" : problems.front();
}

// A cache file cut short anywhere, or with a byte changed, never stops the build: every run
// ends well with both files built, warning at most once. A cut file is replaced by a whole one.
TEST_F(CacheFileScenario, DamagedCacheFileNeverStopsTheBuild) {
    std::vector<std::string> good(kLanes);
    for (int lane = 0; lane < kLanes; ++lane) {
        ASSERT_EQ(problemOf(build(lane), lane), "");
        good[lane] = contentOf(cacheOf(lane));
        ASSERT_TRUE(good[lane].starts_with("TOLM_CACHE_V5\n2\n")) << good[lane];
        // The same run again is a hit on both records: the file keeps the dependant too.
        const RunResult again = build(lane);
        ASSERT_EQ(again.out.find("Starting build job"), std::string::npos) << again.out;
    }
    const std::size_t size = good[0].size();
    for (const std::string& file : good) ASSERT_EQ(file.size(), size);

    const auto cut = inLanes(size, [&](int lane, std::size_t length) {
        setContent(cacheOf(lane), good[lane].substr(0, length));
        if (std::string problem = problemOf(build(lane), lane); !problem.empty()) return problem;
        return contentOf(cacheOf(lane)) == good[lane] ? std::string() : "cache file not replaced";
    });
    EXPECT_TRUE(cut.empty()) << cut.size() << " cuts failed, first " << firstOf(cut);

    // A sample of offsets, each byte changed three ways: a letter's case, all bits, none.
    constexpr std::size_t kStep = 10;
    const auto changed = inLanes((size + kStep - 1) / kStep * 3, [&](int lane, std::size_t index) {
        const std::size_t offset = index / 3 * kStep;
        std::string bytes = good[lane];
        const char original = bytes[offset];
        bytes[offset] = index % 3 == 0 ? static_cast<char>(original ^ 0x20) : index % 3 == 1 ? '\xFF' : '\0';
        setContent(cacheOf(lane), bytes);
        return problemOf(build(lane), lane);
    });
    EXPECT_TRUE(changed.empty()) << changed.size() << " changed bytes failed, first " << firstOf(changed);

    // Even a file without its last line feed is damaged: the load warns and both are rebuilt.
    setContent(cacheOf(0), good[0].substr(0, size - 1));
    const RunResult rebuilt = build(0);
    EXPECT_TRUE(hasLine(rebuilt.out, "Cache file '" + cacheOf(0) + "' is malformed (env/context assignment). Starting "
                                     "with empty cache.\n")) << rebuilt.out;
    EXPECT_TRUE(hasLine(rebuilt.out, "[main::lib] Starting build job\n"));
    EXPECT_TRUE(hasLine(rebuilt.out, "[main::app] Starting build job\n"));
}

// A save that cannot write its temporary file says so at level 7, leaves the old cache file
// untouched, and does not fail a build that succeeded. A failed build leaves the cache file byte
// for byte as it was, even one the load found damaged.
TEST_F(CacheFileScenario, FailuresKeepTheOldFile) {
    ASSERT_EQ(problemOf(build(0), 0), "");
    const std::string old = contentOf(cacheOf(0));
    write(laneDir(0) + "/tolm.txt", R"unit(unit main
app: lib { ^bin = P"(app.txt)" cmdline = "cat lib.txt lib.txt > app.txt" }
lib: { ^out = P"(lib.txt)" cmdline = "echo one > lib.txt" }
broken: lib { cmdline = "exit 3" }
)unit");
    const std::string temporary = cacheOf(0) + ".tmp";
    std::filesystem::create_directory(temporary);
    const RunResult saved = build(0);
    EXPECT_EQ(saved.exitCode, 0) << saved.out;
    EXPECT_TRUE(hasLine(saved.out, "Unable to open cache file '" + temporary + "' for writing.\n")) << saved.out;
    EXPECT_EQ(contentOf(at(laneDir(0) + "/app.txt")), "one\none\n");
    EXPECT_EQ(contentOf(cacheOf(0)), old);
    EXPECT_TRUE(std::filesystem::is_directory(temporary));

    std::filesystem::remove(temporary);
    const std::string damaged = old.substr(0, 20);
    setContent(cacheOf(0), damaged);
    const RunResult failed = tolm({"broken"}, laneDir(0));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(hasLine(failed.out, "Cache file '" + cacheOf(0) + "' is malformed (record key). Starting with empty cache.\n"))
        << failed.out;
    EXPECT_TRUE(hasLine(failed.out, "[main::broken] Build of main::broken failed. Exiting..\n")) << failed.out;
    EXPECT_EQ(contentOf(cacheOf(0)), damaged);
}

}  // namespace
