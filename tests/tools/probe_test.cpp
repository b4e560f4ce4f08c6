// Probe helpers: running probe programs safely, reading versions, comparing
// dotted versions, path de-duplication and the per-user configuration
// directory.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/fake_tool.h"
#include "tools/probe.h"

namespace {

namespace fs = std::filesystem;

fs::path script(const ScratchDir& dir, const std::string& name, const std::string& body)
{
    const fs::path file = dir.path() / name;
    FakeTool::writeExecutable(file, "#!/bin/sh\n" + body + "\n");
    return file;
}

// Sets (or with nullopt unsets) an environment variable while it lives.
class EnvironmentGuard {
public:
    EnvironmentGuard(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str())) saved_ = old;
        if (value) ::setenv(name_.c_str(), value->c_str(), 1);
        else ::unsetenv(name_.c_str());
    }
    ~EnvironmentGuard()
    {
        if (saved_) ::setenv(name_.c_str(), saved_->c_str(), 1);
        else ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Runs the test in another working directory while it lives.
class WorkingDirectoryGuard {
public:
    explicit WorkingDirectoryGuard(const fs::path& directory) : saved_(fs::current_path())
    {
        fs::current_path(directory);
    }
    ~WorkingDirectoryGuard() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

// Output is trimmed of blanks, tabs, CR and LF only; the exit status is the
// program's own, or -1 when it did not exit normally.
TEST(CaptureCommandOutput, TrimsOutputAndReportsExitStatus)
{
    struct Case {
        const char* body;
        const char* arguments;
        const char* output;
        int status;
    };
    const Case cases[] = {
        {"printf '  17.0.6\\n'", "", "17.0.6", 0},
        {"printf '\\t\\r\\n a  b \\r\\n\\n'", "", "a  b", 0},
        {"printf '\\v1\\f'", "", "\v1\f", 0},
        {"printf '1.2.3\\n'; exit 3", "", "1.2.3", 3},
        {"echo gone; kill -9 $$", "", "gone", -1},
        {"echo noise >&2; echo kept", "", "kept", 0},
        {"cat; echo after", "", "after", 0},  // stdin is empty, never the terminal
        {"printf 'ab\\0cd\\nef\\0\\n'", "", "abef", 0},  // a NUL ends its line
        // Arguments split at blanks and tabs only; quotes and $(...) are plain text.
        {"printf '%s|' \"$@\"", " -a\t\"q\"  $(y) ", "-a|\"q\"|$(y)|", 0},
    };
    ScratchDir dir;
    int index = 0;
    for (const Case& c : cases) {
        const fs::path program = script(dir, "probe" + std::to_string(index++), c.body);
        const CommandOutput result = captureCommandOutput(program, c.arguments);
        EXPECT_EQ(result.output.string(), c.output) << c.body;
        EXPECT_EQ(result.exitStatus, c.status) << c.body;
    }
}

TEST(CaptureCommandOutput, ProgramThatCannotStartGivesMinusOne)
{
    ScratchDir dir;
    for (const fs::path& program : {dir.path() / "missing", dir.path(), fs::path()}) {
        const CommandOutput result = captureCommandOutput(program, "-v");
        EXPECT_EQ(result.exitStatus, -1) << program;
        EXPECT_EQ(result.output.string(), "") << program;
    }
}

// Inside an answer scope each program and argument text runs once, nested scopes included; outside
// one, and after it ends, every call runs the program again.
TEST(CaptureCommandOutput, AnswerScopeRunsEachQuestionOnce)
{
    ScratchDir dir;
    const fs::path log = dir.path() / "runs.log";
    const fs::path gcc = dir.path() / "gcc";
    FakeTool::gnuCompiler(gcc, "x86_64-linux-gnu", "12.2.0", log);
    const auto runs = [&] { return FakeTool::logLines(log).size(); };
    captureCommandOutput(gcc, "-dumpmachine");
    EXPECT_EQ(runs(), 1u);
    {
        ProbeAnswerScope outer;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(captureCommandOutput(gcc, "-dumpmachine").output.string(), "x86_64-linux-gnu");
            EXPECT_EQ(captureCommandOutput(gcc, "-dumpfullversion").output.string(), "12.2.0");
            EXPECT_EQ(captureCommandOutput(gcc, "-v").exitStatus, 1);
        }
        EXPECT_EQ(runs(), 4u);
        {
            ProbeAnswerScope inner;
            captureCommandOutput(gcc, "-dumpmachine");
            captureCommandOutput(dir.path() / "." / "gcc", "-dumpmachine");  // another spelling runs
        }
        captureCommandOutput(gcc, "-dumpmachine");
        EXPECT_EQ(runs(), 5u);
    }
    captureCommandOutput(gcc, "-dumpmachine");
    EXPECT_EQ(runs(), 6u);
}

// A batch runs as many programs side by side as its limit allows, and no more.
TEST(ProbeBatch, RunsUpToTheLimitAtOnce)
{
    ScratchDir dir;
    // Each run counts the runs alive once two have started.
    const fs::path probe = script(dir, "probe",
                                  "touch \"$0.$$\"; echo >> \"$0.log\"; i=0\n"
                                  "while [ $(wc -l < \"$0.log\") -lt 2 ] && [ $i -lt 1500 ]; do i=$((i+1)); sleep 0.01; done\n"
                                  "ls \"$0\".[0-9]* | wc -l; rm \"$0.$$\"");
    const std::size_t processors = setProbeLimit(2);
    std::vector<std::string> alive;
    ProbeBatch batch;
    for (int i = 0; i < 5; ++i)
        batch.ask(probe, "", [&alive](const CommandOutput& answer) { alive.push_back(answer.output.string()); });
    batch.run();
    setProbeLimit(processors);
    ASSERT_EQ(alive.size(), 5u);
    EXPECT_EQ(*std::max_element(alive.begin(), alive.end()), "2");
}

// A path holding shell syntax is a name like any other: only the file runs.
TEST(CaptureCommandOutput, PathIsNeverReadByAShell)
{
    ScratchDir dir;
    const fs::path odd = dir.path() / "dir $(touch x)\"q" / "cc`touch y`'\"$(touch x)";
    FakeTool::writeExecutable(odd, "#!/bin/sh\necho ran\n");
    WorkingDirectoryGuard inside(dir.path());
    const CommandOutput result = captureCommandOutput(odd, "-dumpmachine");
    EXPECT_EQ(result.output.string(), "ran");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(fs::exists(dir.path() / "x"));
    EXPECT_FALSE(fs::exists(dir.path() / "y"));
    EXPECT_EQ(probeToolVersion(odd), std::nullopt);  // runs, prints no number
    EXPECT_FALSE(fs::exists(dir.path() / "x"));
}

// The version is the first dotted number; without one, the first number that
// stands alone.
TEST(ProbeToolVersion, ReadsTheStatedVersion)
{
    struct Case {
        const char* printed;
        std::optional<std::string> version;
    };
    const Case cases[] = {
        {"c3c version 0.7.0", "0.7.0"},
        {"gcc-12 (Debian 12.2.0-14) 12.2.0", "12.2.0"},
        {"v3.4.", "3.4"},
        {"c3c build 42", "42"},
        {"tool 12.", "12"},
        {"x86_64 i686 c3c", std::nullopt},
        {"", std::nullopt},
    };
    ScratchDir dir;
    int index = 0;
    for (const Case& c : cases) {
        const fs::path tool = dir.path() / ("tool" + std::to_string(index++));
        FakeTool::write(tool, {{"--version", c.printed}});
        const std::optional<ToolchainPaths> found = probeToolVersion(tool);
        ASSERT_EQ(found.has_value(), c.version.has_value()) << c.printed;
        if (!found) continue;
        EXPECT_EQ(found->version, *c.version) << c.printed;
        EXPECT_EQ(found->executable, tool);
        EXPECT_EQ(found->directory, dir.path());
    }
}

TEST(ProbeToolVersion, RefusesWhatIsNoRunnableRegularFile)
{
    ScratchDir dir;
    const fs::path failing = script(dir, "failing", "echo 1.2.3; exit 3");
    EXPECT_EQ(probeToolVersion(failing), std::nullopt);
    EXPECT_EQ(probeToolVersion(dir.path()), std::nullopt);
    EXPECT_EQ(probeToolVersion(dir.path() / "missing"), std::nullopt);
}

TEST(VersionText, SplitsIntoNumbers)
{
    using Parts = std::vector<std::uint32_t>;
    const std::pair<const char*, Parts> cases[] = {
        {"", {}},
        {"12.2.0", {12, 2, 0}},
        {"1.2.", {1, 2}},
        {"1..2", {1, 0, 2}},
        {"3rc1.x", {3, 0}},
        {"4294967295.4294967296", {4294967295u, 0}},
        {"99999999999999999999999.1", {0, 1}},
    };
    for (const auto& [text, parts] : cases) EXPECT_EQ(splitVersion(text), parts) << text;
}

TEST(VersionText, ComparesAndChecksMinimums)
{
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case comparisons[] = {
        {"1.2", "1.2.0", 0}, {"1.10", "1.9", 1}, {"1.9", "1.10", -1}, {"", "0.0", 0}, {"2.x", "2.0", 0},
    };
    for (const Case& c : comparisons) EXPECT_EQ(compareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;

    struct Minimum {
        const char* version;
        const char* minimum;
        bool satisfied;
    };
    const Minimum minimums[] = {
        {"", "", true}, {"", "0", true}, {"9.4.0", "10", false}, {"10.0", "10", true}, {"", "10", false},
    };
    for (const Minimum& m : minimums)
        EXPECT_EQ(versionSatisfiesMinimum(m.version, m.minimum), m.satisfied) << m.version << " >= " << m.minimum;
}

TEST(PathHelpers, NormaliseAndVisitOnce)
{
    ScratchDir dir;
    const fs::path real = dir.path() / "usr" / "bin";
    fs::create_directories(real);
    fs::create_directories(dir.path() / "usr" / "local");
    fs::create_directory_symlink(real, dir.path() / "linked");

    std::set<std::string> visited;
    EXPECT_TRUE(markVisited(visited, dir.path() / "usr" / "local" / ".." / "bin"));
    EXPECT_FALSE(markVisited(visited, real));
    EXPECT_FALSE(markVisited(visited, dir.path() / "linked"));
    EXPECT_FALSE(markVisited(visited, dir.path() / "usr" / "bin" / "."));
    EXPECT_TRUE(markVisited(visited, dir.path() / "usr" / "missing" / ".." / "other"));
    EXPECT_EQ(visited.size(), 2u);

    // A path that does not exist still gets a normal absolute form.
    EXPECT_EQ(normalizePath(dir.path() / "no" / "such" / ".." / "file"), dir.path() / "no" / "file");
    WorkingDirectoryGuard inside(dir.path());
    EXPECT_EQ(normalizedPathString("usr/./bin"), real.string());
}

TEST(PathHelpers, FileNamesAndToolchainNames)
{
    const std::pair<const char*, const char*> names[] = {
        {"/opt/llvm/bin/clang.exe", "clang"}, {"clang-17.1", "clang-17.1"}, {"C:/X/CLANG.EXE", "CLANG"},
        {"/usr/bin/", ""},                     {"tool.exe.bak", "tool.exe.bak"},
    };
    for (const auto& [path, name] : names) EXPECT_EQ(fileNameWithoutExe(path), name) << path;

    const std::pair<std::string, const char*> sanitised[] = {
        {"", "unknown"}, {"x86_64", "x86_64"}, {"aarch64-linux", "aarch64-linux"}, {"i686 pc/w+1.0", "i686_pc_w_1_0"},
        {"\xc3\xa9t\xc3\xa9", "__t__"},
    };
    for (const auto& [text, name] : sanitised) EXPECT_EQ(sanitizeToolchainName(text), name) << text;
}

TEST(ConfigDirectory, FollowsHomeAndCreatesTheDirectory)
{
    for (const std::optional<std::string>& unusable : {std::optional<std::string>(""), std::optional<std::string>()}) {
        EnvironmentGuard home("HOME", unusable);
        EXPECT_EQ(TestSupport::failureOf<std::runtime_error>([] { configDirectory(); }), "Unable to resolve HOME path.");
    }
    ScratchDir dir;
    {
        EnvironmentGuard home("HOME", dir.path().string() + "/");
        const fs::path config = configDirectory();
        EXPECT_EQ(config.string(), dir.path().string() + "/.config/tolm");
        EXPECT_TRUE(fs::is_directory(config));
        EXPECT_EQ(configDirectory(), config);  // an existing directory is fine
    }
    {
        // A file where the directory should be cannot be replaced.
        ScratchDir blocked;
        blocked.write(".config", "not a directory");
        EnvironmentGuard home("HOME", blocked.path().string());
        EXPECT_THROW(configDirectory(), fs::filesystem_error);
    }
}

}  // namespace
