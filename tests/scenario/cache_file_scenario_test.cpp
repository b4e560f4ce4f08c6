// The cache file across runs of the real binary: however it is damaged, the
// next build goes on and builds correctly; a build that fails before its jobs
// completed anything leaves the file on disk as it was, and runs at once
// never lose it.

#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

const char* const kUnit = R"unit(app: lib { ^bin = P"(app.txt)" cmdline = "cat lib.txt > app.txt" }
lib: { ^out = P"(lib.txt)" cmdline = "echo one > lib.txt" }
)unit";

// Damaged files take one run each; the runs go in a few lanes at once, each
// lane a copy of the project of its own.
constexpr int kLanes = 4;

class CacheFileScenario : public TolmScenario {
protected:
    void SetUp() override {
        for (int lane = 0; lane < kLanes; ++lane) writeProject(kUnit, "", laneDir(lane));
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
        if (run.exitCode != 0 || !run.err.empty()) return "exit " + std::to_string(run.exitCode) + "\n" + run.err + run.out;
        for (const char* file : {"/lib.txt", "/app.txt"})
            if (contentOf(at(laneDir(lane) + file)) != "one\n") return std::string("wrong ") + file + "\n" + run.out;
        const std::string warning = "Cache file '" + cacheOf(lane) + "' ";
        int warnings = 0;
        for (const std::string& line : linesOf(run.out)) {
            if (line == "Starting build" || line.starts_with("[app::")) continue;
            if (line.starts_with(warning) && line.ends_with(". Starting with empty cache.") && ++warnings == 1) continue;
            return "unexpected line: " + line + "\n" + run.out;
        }
        return "";
    }

    // The file with each output time (a line of seconds since 1970 and nanoseconds) as "<time>":
    // the same records saved by another run differ only there.
    static std::string withoutTimes(const std::string& file) {
        std::string kept;
        for (const std::string& line : linesOf(file)) {
            const std::size_t blank = line.find(' ');
            const bool time = blank >= 9 && blank != std::string::npos &&
                              line.find_first_not_of("0123456789 ") == std::string::npos;
            kept += (time ? "<time>" : line) + "\n";
        }
        return kept;
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
};

// A cache file cut short anywhere, or with a byte changed, never stops the build: every run
// ends well with both files built, warning at most once. A cut file is replaced by a whole one.
TEST_F(CacheFileScenario, DamagedCacheFileNeverStopsTheBuild) {
    std::vector<std::string> good(kLanes);
    for (int lane = 0; lane < kLanes; ++lane) {
        ASSERT_EQ(problemOf(build(lane), lane), "");
        good[lane] = contentOf(cacheOf(lane));
        ASSERT_TRUE(good[lane].starts_with("TOLM_CACHE_V7\n2\n")) << good[lane];
        // The same run again is a hit on both records: the file keeps the dependant too.
        ASSERT_TRUE(ranNothing(build(lane)));
    }
    const std::size_t size = good[0].size();
    for (const std::string& file : good) ASSERT_EQ(file.size(), size);

    const auto cut = inLanes(size, [&](int lane, std::size_t length) {
        write(cacheOf(lane), good[lane].substr(0, length));
        if (std::string problem = problemOf(build(lane), lane); !problem.empty()) return problem;
        return withoutTimes(contentOf(cacheOf(lane))) == withoutTimes(good[lane]) ? std::string() : "cache file not replaced";
    });
    EXPECT_TRUE(cut.empty()) << cut.size() << " cuts failed, first " << cut.front();

    // A sample of offsets, each byte changed three ways: a letter's case, all bits, none.
    constexpr std::size_t kStep = 10;
    const auto changed = inLanes((size + kStep - 1) / kStep * 3, [&](int lane, std::size_t index) {
        const std::size_t offset = index / 3 * kStep;
        std::string bytes = good[lane];
        const char original = bytes[offset];
        bytes[offset] = index % 3 == 0 ? static_cast<char>(original ^ 0x20) : index % 3 == 1 ? '\xFF' : '\0';
        write(cacheOf(lane), bytes);
        return problemOf(build(lane), lane);
    });
    EXPECT_TRUE(changed.empty()) << changed.size() << " changed bytes failed, first " << changed.front();

    // Even a file without its last line feed is damaged: the load warns and both are rebuilt.
    write(cacheOf(0), good[0].substr(0, size - 1));
    const RunResult rebuilt = build(0);
    EXPECT_TRUE(hasLine(rebuilt.out, "Cache file '" + cacheOf(0) + "' is malformed (env/context assignment). Starting "
                                     "with empty cache.\n")) << rebuilt.out;
    EXPECT_TRUE(hasLine(rebuilt.out, "[app::lib] Starting build job\n"));
    EXPECT_TRUE(hasLine(rebuilt.out, "[app::app] Starting build job\n"));
}

// A cache path that is not a regular file (a FIFO) is read as no cache with a warning, and the build
// ends without touching it. A failed build keeps what its jobs completed before the failure; one that
// failed before any job ran leaves the cache file byte for byte as it was, even one the load found
// damaged.
TEST_F(CacheFileScenario, FailuresKeepTheOldFile) {
    ASSERT_EQ(mkfifo(cacheOf(1).c_str(), 0644), 0);
    const RunResult fifo = build(1);
    EXPECT_EQ(problemOf(fifo, 1), "");
    EXPECT_TRUE(hasLine(fifo.out, "Cache file '" + cacheOf(1) + "' is not a regular file and is left as it is. "
                                  "Starting with empty cache.\n")) << fifo.out;
    EXPECT_TRUE(std::filesystem::is_fifo(cacheOf(1)));

    ASSERT_EQ(problemOf(build(0), 0), "");
    writeProject(std::string(kUnit) + "broken: lib { cmdline = \"exit 3\" }\nbare: { X = \"1\" }\n", "", laneDir(0));
    write(cacheOf(0), contentOf(cacheOf(0)).substr(0, 20));
    const RunResult failed = tolm({"broken"}, laneDir(0));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(hasLine(failed.out, "Cache file '" + cacheOf(0) + "' is malformed (record key). Starting with empty cache.\n"))
        << failed.out;
    EXPECT_TRUE(hasLine(failed.out, "[app::lib] Starting build job\n")) << failed.out;
    EXPECT_TRUE(hasLine(failed.out, "[app::broken] Build of app::broken failed. Exiting..\n")) << failed.out;
    EXPECT_TRUE(ranNothing(tolm({"lib"}, laneDir(0))));

    const std::string damaged = contentOf(cacheOf(0)).substr(0, 20);
    write(cacheOf(0), damaged);
    EXPECT_EQ(tolm({"bare"}, laneDir(0)).exitCode, 1);
    EXPECT_EQ(contentOf(cacheOf(0)), damaged);
}

// Runs at once: in each round two that build and save (their words are new) and one with nothing to
// do, which finds its record whatever the others saved. The cache file is always there and whole, so
// no run ever warns about it; a link at the old temporary name is left alone.
TEST_F(CacheFileScenario, ConcurrentRunsKeepTheFile) {
    writeProject(std::string(kUnit) + "other: { ^out = P\"(other.txt)\" cmdline = \"echo other > other.txt\" }\n", "",
                 laneDir(0));
    const std::string victim = write("victim", "mine").string();
    std::filesystem::create_symlink(victim, cacheOf(0) + ".tmp");
    ASSERT_EQ(problemOf(build(0), 0), "");
    ASSERT_EQ(tolm({"other"}, laneDir(0)).exitCode, 0);
    for (int round = 0; round < 100; ++round) {
        RunResult building, rebuilding, idle;
        std::thread first([&] { building = tolm({"app", "X=\"" + std::to_string(round) + "\""}, laneDir(0)); });
        std::thread second([&] { idle = tolm({"other"}, laneDir(0)); });
        rebuilding = tolm({"lib", "Y=\"" + std::to_string(round) + "\""}, laneDir(0));
        first.join();
        second.join();
        for (const RunResult* run : {&building, &rebuilding, &idle}) {
            ASSERT_EQ(run->exitCode, 0) << round << run->out;
            ASSERT_EQ(run->out.find("Cache file"), std::string::npos) << round << run->out;
            ASSERT_EQ(run->out.find("Unable to"), std::string::npos) << round << run->out;
        }
        ASSERT_NE(building.out.find("[app::app] Starting build job"), std::string::npos) << round << building.out;
        ASSERT_NE(rebuilding.out.find("[app::lib] Starting build job"), std::string::npos) << round << rebuilding.out;
        ASSERT_TRUE(ranNothing(idle)) << round << idle.out;
        ASSERT_TRUE(contentOf(cacheOf(0)).starts_with("TOLM_CACHE_V7\n")) << round;
    }
    EXPECT_EQ(contentOf(victim), "mine");
    EXPECT_TRUE(std::filesystem::is_symlink(cacheOf(0) + ".tmp"));
}

// Under a file-size limit the cache save fails with the system's reason instead of ending tolm:
// status 1, since nothing the build did was recorded, the old cache file in place and no
// temporary file left. The target holds a value long enough to take the file past the limit; a
// new word makes the save write.
TEST_F(CacheFileScenario, SaveUnderFileSizeLimitSaysWhy) {
    writeProject("gen: { ^out = P\"(out.txt)\" cmdline = \"echo x > out.txt\" BIG = \"" + std::string(60000, 'b') +
                 "\" }\n");
    ASSERT_EQ(tolm({"gen"}).exitCode, 0);
    const std::string old = contentOf(at(".tolm_cache"));
    ASSERT_GT(old.size(), 40u * 512);

    // dash counts the limit in blocks of 512 bytes.
    const RunResult limited = Scenario::runProgram(
        "/bin/sh", {"-c", "ulimit -f 40; exec \"$0\" gen X=\\\"1\\\"", TOLM_BINARY}, work_.path(),
        {.home = home_.path().string()});
    EXPECT_EQ(limited.exitCode, 1) << limited.out;
    const std::string message = "Unable to flush cache file '" + at(".tolm_cache") + ".tmp.";
    const std::size_t line = limited.out.find(message);
    ASSERT_NE(line, std::string::npos) << limited.out;
    EXPECT_EQ(limited.out.substr(line + message.size() + 8), "': File too large\n");
    EXPECT_EQ(contentOf(at(".tolm_cache")), old);
    for (const auto& entry : std::filesystem::directory_iterator(work_.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

// On a read-only mount every save fails. A run with nothing to record still succeeds: targets that
// record nothing (no cache file there), and a target found up to date. A run whose records are lost
// fails with status 1: its target built, with no cache file or beside one, which keeps its bytes.
// The outputs go outside the mount.
TEST_F(CacheFileScenario, ReadOnlyProjectFailsOnlyWhenRecordsAreLost) {
    const auto readOnly = [&](const std::string& dir, const Words& words) {
        Words argv{"-m", "sh", "-c",
                   "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" \"$0\" && cd \"$0\" && exec \"$@\"",
                   at(dir)};
        argv.insert(argv.end(), words.begin(), words.end());
        return Scenario::runProgram("/usr/bin/unshare", argv, work_.path(), {.home = home_.path().string()});
    };
    write("probe/x", "");
    if (readOnly("probe", {"true"}).exitCode != 0) GTEST_SKIP() << "no read-only bind mount here";
    const std::string copy = "t: { IN = P\"(in.txt)\" ^o = P\"(" + at("outside/o.txt") +
                             ")\" cmdline = \"cp in.txt " + at("outside/o.txt") + "\" }\n";
    const struct {
        const char* form;
        std::string targets;
        bool cacheBefore;
        int status;
    } cases[] = {
        {"no-tool", "t: { NO_TOOL }\n", false, 0},
        {"command-without-outputs", "t: { cmdline = \"echo tests passed\" }\n", false, 0},
        {"up-to-date", copy, true, 0},
        {"built-without-cache", copy, false, 1},
        {"built-beside-a-cache", copy, true, 1},
    };
    for (const auto& c : cases) {
        writeProject(c.targets, "", c.form);
        write(std::string(c.form) + "/in.txt", "in\n");
        const std::string cache = at(std::string(c.form) + "/.tolm_cache");
        std::filesystem::remove_all(at("outside"));
        std::filesystem::create_directories(at("outside"));
        if (c.cacheBefore) {
            ASSERT_EQ(tolm({"t"}, c.form).exitCode, 0) << c.form;
        }
        // Built beside a cache: its output is gone.
        if (c.status == 1) std::filesystem::remove(at("outside/o.txt"));
        const std::string before = c.cacheBefore ? contentOf(cache) : "";
        const RunResult run = readOnly(c.form, {TOLM_BINARY, "t"});
        EXPECT_EQ(run.exitCode, c.status) << c.form << run.out << run.err;
        EXPECT_TRUE(hasLine(run.out, "[app::t] Build done\n")) << c.form << run.out;
        const std::string after = std::filesystem::exists(cache) ? contentOf(cache) : "none";
        EXPECT_EQ(after, c.cacheBefore ? before : "none") << c.form;
    }
}

// A tmpfs of one megabyte mounted on a directory, unmounted however the test ends.
class SmallDisk {
public:
    explicit SmallDisk(const std::filesystem::path& directory) : directory_(directory) {
        std::filesystem::create_directories(directory);
        mounted_ = mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(directory_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::filesystem::path directory_;
    bool mounted_ = false;
};

// A full disk at the save fails a build that succeeded (a script must not take it as recorded),
// while what it built stays and the previous cache file stays whole. The command fills the disk
// once the marker file is there.
TEST_F(CacheFileScenario, FullDiskAtTheSaveFailsTheRun) {
    const SmallDisk disk(at("disk"));
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    writeProject("gen: { IN = P\"(in.txt)\" ^out = P\"(out.txt)\" cmdline = \"cp in.txt out.txt && "
                 "if [ -e full ]; then cat /dev/zero > full 2>/dev/null || true; fi\" }\n",
                 "", "disk");
    write("disk/in.txt", "one\n");
    ASSERT_EQ(tolm({"gen"}, "disk").exitCode, 0);
    const std::string old = contentOf(at("disk/.tolm_cache"));
    ASSERT_TRUE(old.starts_with("TOLM_CACHE_V7\n")) << old;

    write("disk/in.txt", "two\n");
    write("disk/full", "");
    const RunResult full = tolm({"gen"}, "disk");
    EXPECT_EQ(full.exitCode, 1) << full.out;
    const std::string message = "Unable to flush cache file '" + at("disk/.tolm_cache") + ".tmp.";
    const std::size_t line = full.out.find(message);
    ASSERT_NE(line, std::string::npos) << full.out;
    EXPECT_EQ(full.out.substr(line + message.size() + 8), "': No space left on device\n");
    EXPECT_EQ(contentOf(at("disk/out.txt")), "two\n");
    EXPECT_EQ(contentOf(at("disk/.tolm_cache")), old);
    for (const auto& entry : std::filesystem::directory_iterator(at("disk")))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

}  // namespace
