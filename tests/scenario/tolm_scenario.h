#pragma once

// The fixture of scenario tests on projects: a scratch work directory to
// write a project into, a scratch home directory, and runs of the real
// binary in either.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "scenario/run_tolm.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"

class TolmScenario : public testing::Test {
protected:
    using Words = std::vector<std::string>;

    // A run in `subdirectory` of the work directory.
    Scenario::RunResult tolm(const Words& words, const std::string& subdirectory = "") const {
        return Scenario::runTolm(words, work_.path() / subdirectory, home_.path());
    }
    std::filesystem::path write(const std::string& relative, const std::string& text) const {
        return work_.write(relative, text);
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

    ScratchDir work_;
    ScratchDir home_;
};
