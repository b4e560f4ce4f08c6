#include "app/build_jobs.h"

#include <gtest/gtest.h>

#include <chrono>
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
    for (const auto& context : contexts) jobs.push_back(BuildJob{context, {}, false});
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

// Real processes: the exit status, a signal, a working directory that cannot be entered, the PATH
// prefix, and a command line longer than one argument may be, run from a script file removed after.
TEST(ProcessRunnerTest, RunsThroughTheShell) {
    ScratchDir scratch, temporary;
    setenv("TMPDIR", temporary.path().c_str(), 1);
    const auto tool = scratch.write("bin/tolmprobe", "#!/bin/sh\nexit 7\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const std::string missing = (scratch.path() / "missing").string();
    const struct {
        Command command;
        int expected;
        std::string startFailure;
    } cases[] = {
        {{"exit 0", {}, 0, {}}, 0, ""},
        {{"exit 3", {}, 0, {}}, 3, ""},
        {{"kill -9 $$", {}, 0, {}}, -1, ""},
        {{"exit 0", missing, 0, {}}, ENOENT, "cannot change to directory '" + missing + "': No such file or directory"},
        {{"test \"$(pwd)\" = \"" + scratch.path().string() + "\"", scratch.path(), 0, {}}, 0, ""},
        {{"tolmprobe", {}, 0, {"", scratch.path() / "bin"}}, 7, ""},
        {{"tolmprobe 2>/dev/null", {}, 0, {}}, 127, ""},
        {{": " + std::string(200000, 'x') + "; exit 4", {}, 0, {}}, 4, ""},
    };
    ShellProcessRunner runner;
    for (const auto& c : cases) {
        const CommandResult result = runner.run(c.command);
        EXPECT_EQ(result.code, c.expected) << c.command.commandLine.substr(0, 40);
        EXPECT_EQ(result.startFailure, c.startFailure);
    }
    unsetenv("TMPDIR");
    EXPECT_TRUE(temporary.isEmpty());
}

// A file's write time is the library's, to the nanosecond, also far from today; a missing path or
// one below a plain file has none.
TEST(SystemFileTimesTest, ReadsWriteTimes) {
    ScratchDir scratch;
    const auto file = scratch.write("file", "x");
    EXPECT_EQ(systemFileTimes().lastWriteTime(file), std::filesystem::last_write_time(file));
    using namespace std::chrono;
    const auto now = std::filesystem::last_write_time(file);
    for (const auto time : {now + hours(24 * 365 * 200) + nanoseconds(7), now - hours(24 * 365 * 60) + nanoseconds(1)}) {
        std::filesystem::last_write_time(file, time);
        EXPECT_EQ(systemFileTimes().lastWriteTime(file), std::filesystem::last_write_time(file));
    }
    EXPECT_FALSE(systemFileTimes().lastWriteTime(scratch.path() / "missing"));
    EXPECT_FALSE(systemFileTimes().lastWriteTime(file / "below"));
}

}  // namespace
