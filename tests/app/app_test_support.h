#pragma once
// Helpers of the build driver's tests: a Builder whose recipes, commands and
// outputs a test chooses, and a log kept quiet without capturing it.

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tools/builder.h"
#include "types/target_context.h"
#include "types/tolm_list.h"
#include "types/variable_access.h"

namespace AppTest {

// Hides the log below level 8 while it lives, leaving standard output alone
// so that test failures still show.
class QuietLog {
public:
    QuietLog() { Log::verbosity = 8; }
    ~QuietLog() { Log::verbosity = saved_; }
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;

private:
    int saved_ = Log::verbosity;
};

// Records every call the driver makes, in order.
class FakeBuilder : public Tolm::Builder {
public:
    FakeBuilder() : Tolm::Builder({}, {}) {}

    std::string name() const override { return "fake"; }
    void prepareOutput(Tolm::Context&, const std::size_t& jobCount) override {
        calls.push_back("prepare " + std::to_string(jobCount));
        if (failPrepare) throw Tolm::TolmException("prepare failed");
    }
    void finishBuild() override { calls.push_back("finish"); }
    Tolm::Context createOutputContext(Tolm::Context& job, int exitCode) override {
        calls.push_back("output " + std::to_string(exitCode));
        Tolm::Context output;
        if (outputOf) outputOf(job, output);
        return output;
    }
    Tolm::RecipeSet createRecipes(const Tolm::TargetContext&) override {
        calls.push_back("recipes");
        return recipes;
    }
    // One command per item of the job's CMD variable (its text when not a list).
    std::vector<Tolm::Command> createCommands(Tolm::Context& job) override {
        calls.push_back("commands");
        if (failCommands) throw Tolm::TolmException("commands failed");
        std::vector<Tolm::Command> commands;
        if (!Tolm::hasVariable(job, "CMD")) return commands;
        const Tolm::TolmValuePtr value = Tolm::getVariable(job, "CMD");
        std::vector<std::string> lines;
        if (auto* list = dynamic_cast<const Tolm::TolmList*>(value.get()))
            for (const Tolm::TolmValuePtr& item : list->items()) lines.push_back(item->toString());
        else if (value)
            lines.push_back(value->toString());
        for (const std::string& line : lines)
            commands.push_back(Tolm::Command{line, {}, line == "never" ? Tolm::Command::NotRun : 0u, {}});
        return commands;
    }

    Tolm::RecipeSet recipes;
    std::function<void(Tolm::Context& job, Tolm::Context& output)> outputOf;
    bool failPrepare = false;
    bool failCommands = false;
    std::vector<std::string> calls;
};

}  // namespace AppTest
