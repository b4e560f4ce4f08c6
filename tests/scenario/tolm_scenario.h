#pragma once

// The fixture of scenario tests on projects: a scratch work directory to
// write a project into, a scratch home directory, and runs of the real
// binary in either.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "scenario/run_tolm.h"
#include "scenario/scratch_dir.h"
#include "support/process_watch.h"
#include "support/test_support.h"

class TolmScenario : public testing::Test {
protected:
    using Words = std::vector<std::string>;
    using RunResult = Scenario::RunResult;

    // A run in `subdirectory` of the work directory (or in the directory, when absolute).
    RunResult tolm(const Words& words, const std::string& subdirectory = "") const {
        return Scenario::runTolm(words, work_.path() / subdirectory, {.home = home_.path().string()});
    }
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& text) const {
        return work_.write(relative, text);
    }
    // Project "demo" in `directory`: the tools block given and unit app, whose file holds `targets`.
    void writeProject(const std::string& targets, const std::string& tools = "", const std::string& directory = "") const {
        write(std::filesystem::path(directory) / ".tolm_project.txt",
              "name demo\n" + tools + "units { app { \"tolm.txt\" } }\n");
        write(std::filesystem::path(directory) / "tolm.txt", "unit app\n" + targets);
    }
    // A tools block of one tool, "t", of the type in the directory.
    static std::string tool(const std::string& type, const std::string& directory = "/usr/bin") {
        return "tools { t { tool_type = \"" + type + "\" toolchain_path = \"" + directory + "\" } }\n";
    }
    // A directory "bin" of GNU tools: a stand-in gcc that runs `script` once it has passed the
    // probes on to the machine's gcc, and the machine's other tools.
    std::filesystem::path toolDirectory(const std::string& script) const {
        const std::filesystem::path gcc =
            write("bin/gcc", "#!/bin/sh\ncase \"$1\" in -dump*) exec /usr/bin/gcc \"$@\";; esac\n" + script);
        std::filesystem::permissions(gcc, std::filesystem::perms::owner_all);
        for (const char* tool : {"g++", "ar", "ld", "objcopy"})
            std::filesystem::create_symlink("/usr/bin/" + std::string(tool), gcc.parent_path() / tool);
        return gcc.parent_path();
    }
    // A run in `subdirectory` whose command fails, or, when `stopped`, that gets SIGTERM once its
    // command has made the file "started" there.
    RunResult failedOrStopped(const Words& words, bool stopped, const std::string& subdirectory = "") const {
        const std::filesystem::path directory = work_.path() / subdirectory;
        std::filesystem::remove(directory / "started");
        std::atomic<pid_t> pid{0};
        auto run = std::async(std::launch::async, [&] {
            return Scenario::runTolm(words, directory,
                                     {.home = home_.path().string(), .started = [&](pid_t p) { pid = p; }});
        });
        if (stopped) {
            EXPECT_TRUE(TestSupport::eventually([&] { return std::filesystem::exists(directory / "started"); }))
                << words.front();
            if (pid > 0) kill(pid, SIGTERM);
        }
        return run.get();
    }
    // The path of a work file as tolm prints it.
    std::string at(const std::string& relative) const { return (work_.path() / relative).string(); }

    // Makes an output look written before an input changed: its time goes two seconds before
    // the input's, as if the input had been edited since.
    void makeOlder(const std::string& output, const std::string& input) const {
        std::filesystem::last_write_time(at(output),
                                         std::filesystem::last_write_time(at(input)) - std::chrono::seconds(2));
    }

    std::filesystem::path registryFile() const { return home_.path() / ".config/tolm/.tolm_registry.txt"; }

    static std::string contentOf(const std::filesystem::path& file) { return TestSupport::contentOf(file); }
    // Whether `line` (a whole line, end included) is among the output's lines.
    static bool hasLine(const std::string& output, const std::string& line) {
        return ("\n" + output).find("\n" + line) != std::string::npos;
    }
    // The lines of a text, without their ends.
    static Words linesOf(const std::string& text) {
        Words lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // How many of the output's lines are `line` (end excluded).
    static int count(const RunResult& run, const std::string& line) {
        const Words lines = linesOf(run.out);
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
    // What a program prints, run in its own directory with the environment entries given; its
    // status and error output when it fails.
    static std::string outputOfProgram(const std::filesystem::path& program, const Words& words = {},
                                       const Words& environment = {}) {
        const RunResult run = Scenario::runProgram(program.string(), words, program.parent_path(), {.extra = environment});
        return run.exitCode == 0 ? run.out : "exit " + std::to_string(run.exitCode) + ": " + run.err;
    }
    // Whether the run ended well without starting a job.
    static bool ranNothing(const RunResult& run) {
        return run.exitCode == 0 && run.out.find("Starting build job") == std::string::npos;
    }

    ScratchDir work_;
    ScratchDir home_;
};
