#include "app/build_jobs.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>

#include "app/app_test_support.h"
#include "app/file_times.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "types/tolm_list.h"

namespace {

using namespace TestSupport;
using AppTest::FakeBuilder;
using Tolm::Command;

// Runs no process: "exit N" gives N, "throw" throws, everything else succeeds. Records what ran.
class FakeRunner : public ProcessRunner {
public:
    CommandResult run(const Command& command) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ran.push_back(command.commandLine);
        if (command.commandLine.rfind("exit ", 0) == 0) return {std::stoi(command.commandLine.substr(5)), {}};
        if (command.commandLine == "throw") throw std::runtime_error("runner broke");
        return {};
    }
    std::vector<std::string> ran;

private:
    std::mutex mutex_;
};

std::shared_ptr<Tolm::Context> job(std::vector<TolmValuePtr> commands) {
    auto context = std::make_shared<Tolm::Context>();
    context->addAssignment(set("CMD", listOf(std::move(commands))), 0);
    return context;
}

std::vector<BuildJob> jobsOf(const std::vector<std::shared_ptr<Tolm::Context>>& contexts) {
    std::vector<BuildJob> jobs;
    for (const auto& context : contexts) jobs.push_back(BuildJob{context, {}, false, {}, nullptr, {}});
    return jobs;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
    return text;
}

// Each job's commands run in order until the first failure; the others run to their end. Builder
// failures pass through, finishBuild following once prepareOutput has run, never before.
TEST(BuildJobsTest, FailingJobFailsTheTargetAfterAllEnded) {
    const struct {
        std::vector<std::shared_ptr<Tolm::Context>> jobs;
        const char* ran;    // sorted: jobs run at once
        const char* calls;  // the Builder's, in order
        const char* failure;
        bool failPrepare = false, failCommands = false;
    } cases[] = {
        {{job({str("a1"), str("a2")}), job({str("b1")})}, "a1,a2,b1",
         "prepare 2,commands,commands,output 0,output 0,finish", "no failure"},
        {{job({str("exit 3"), str("after")}), job({str("b1"), str("b2")})}, "b1,b2,exit 3",
         "prepare 2,commands,commands,finish", "Build failed."},
        {{job({str("never"), str("after")})}, "", "prepare 1,commands,finish", "Build failed."},
        {{job({str("throw"), str("after")}), job({str("b1")})}, "b1,throw", "prepare 2,commands,commands,finish",
         "runner broke"},
        {{job({}), nullptr}, "", "prepare 1,commands,output 0,finish", "no failure"},
        {{nullptr, nullptr}, "", "", "no failure"},
        {{}, "", "", "no failure"},
        {{job({str("a1")})}, "", "prepare 1", "prepare failed", true},
        {{job({str("a1")})}, "", "prepare 1,commands,finish", "commands failed", false, true},
    };
    for (const auto& c : cases) {
        FakeBuilder builder;
        builder.failPrepare = c.failPrepare;
        builder.failCommands = c.failCommands;
        FakeRunner runner;
        Tolm::Context output;
        LogCapture capture(7);
        std::vector<BuildJob> jobs = jobsOf(c.jobs);
        const std::string failure = failureOf([&] { runJobs(builder, jobs, "main::app", output, runner); });
        const std::string log = capture.text();
        std::sort(runner.ran.begin(), runner.ran.end());
        EXPECT_EQ(joined(runner.ran), c.ran) << c.calls;
        EXPECT_EQ(joined(builder.calls), c.calls);
        EXPECT_EQ(failure, c.failure) << c.calls;
        EXPECT_EQ(log, failure == "Build failed." ? "Build of main::app failed. Exiting..\n" : "") << c.calls;
    }
}

// The command's directories go in front of PATH; empty entries are left out.
TEST(ProcessRunnerTest, SearchPath) {
    const struct {
        std::vector<std::filesystem::path> directories;
        const char* inherited;
        const char* expected;  // nullptr: PATH stays as it is
    } cases[] = {
        {{"/d", ""}, "/p", "/d:/p"}, {{"/d", "/e"}, "/p:/q", "/d:/e:/p:/q"}, {{"/d"}, nullptr, "/d"},
        {{"/d"}, "", "/d"},          {{""}, "/p", "/p"},                     {{""}, nullptr, nullptr},
        {{}, "/p", nullptr},
    };
    for (const auto& c : cases) {
        const auto path = commandSearchPath(c.directories, c.inherited);
        EXPECT_EQ(path ? path->c_str() : std::string("<unchanged>"), c.expected ? c.expected : "<unchanged>");
    }
}

// Real processes: the command's directories go in front of PATH, and a command line longer than one
// argument may be runs from a script file, removed after. (The build scenarios show the rest.)
TEST(ProcessRunnerTest, RunsThroughTheShell) {
    ScratchDir scratch, temporary;
    setenv("TMPDIR", temporary.path().c_str(), 1);
    const auto tool = scratch.write("bin/tolmprobe", "#!/bin/sh\nexit 7\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const struct {
        Command command;
        int expected;
    } cases[] = {
        {{"tolmprobe", {}, 0, {"", scratch.path() / "bin"}}, 7},
        {{"tolmprobe 2>/dev/null", {}, 0, {}}, 127},
        {{": " + std::string(200000, 'x') + "; exit 4", {}, 0, {}}, 4},
    };
    ShellProcessRunner runner;
    for (const auto& c : cases) EXPECT_EQ(runner.run(c.command).code, c.expected) << c.command.commandLine.substr(0, 40);
    unsetenv("TMPDIR");
    EXPECT_TRUE(temporary.isEmpty());
}

// A file's write time is the library's, to the nanosecond, also one before 1970 and one past what
// nanoseconds since 1970 hold; a missing path has none. The same status tells a directory, also
// one reached through a link, from a file.
TEST(SystemFileTimesTest, ReadsWriteTimes) {
    ScratchDir scratch;
    const auto file = scratch.write("file", "x");
    for (const std::int64_t seconds :
         {std::int64_t{1'700'000'000}, std::int64_t{-1'000'000'000}, std::int64_t{1} << 34}) {
        const timespec times[2] = {{seconds, 7}, {seconds, 7}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        std::error_code error;
        const auto library = std::filesystem::last_write_time(file, error);
        EXPECT_EQ(systemFileTimes().lastWriteTime(file), error ? std::nullopt : std::optional(library)) << seconds;
    }
    EXPECT_FALSE(systemFileTimes().lastWriteTime(scratch.path() / "missing"));
    EXPECT_FALSE(systemFileTimes().status(file).directory);
    std::filesystem::create_symlink(scratch.path(), scratch.path() / "link");
    for (const char* directory : {"", "link"}) {
        const FileStatus status = systemFileTimes().status(scratch.path() / directory);
        EXPECT_TRUE(status.directory && status.time) << directory;
    }
}

// A content fingerprint follows the bytes only, also past one read's worth; a missing path, a
// directory and a FIFO (never opened for a blocking read) have none.
TEST(SystemFileTimesTest, FingerprintsContent) {
    ScratchDir scratch;
    const std::string large(3 << 20, 'a');
    const auto first = scratch.write("first", large);
    const auto second = scratch.write("second", large);
    const auto other = scratch.write("other", large.substr(1) + "b");
    EXPECT_TRUE(systemFileTimes().contentFingerprint(first));
    EXPECT_EQ(systemFileTimes().contentFingerprint(first), systemFileTimes().contentFingerprint(second));
    EXPECT_NE(systemFileTimes().contentFingerprint(first), systemFileTimes().contentFingerprint(other));
    EXPECT_NE(systemFileTimes().contentFingerprint(scratch.write("empty", "")),
              systemFileTimes().contentFingerprint(scratch.write("one", "\n")));
    const auto fifo = scratch.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& none : {scratch.path() / "missing", scratch.path(), fifo})
        EXPECT_FALSE(systemFileTimes().contentFingerprint(none)) << none;
}

}  // namespace
