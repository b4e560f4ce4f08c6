#pragma once
// A Builder for the build driver's tests, whose recipes and commands a test
// chooses.

#include <string>
#include <vector>

#include "support/test_support.h"
#include "tools/builder.h"
#include "types/target_context.h"
#include "types/tolm_list.h"
#include "types/variable_access.h"

namespace AppTest {

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
    Tolm::Context createOutputContext(Tolm::Context&, int exitCode) override {
        calls.push_back("output " + std::to_string(exitCode));
        return {};
    }
    Tolm::RecipeSet createRecipes(const Tolm::TargetContext&) override { return recipes; }
    // One command per item of the job's CMD list; "never" is one that may not run.
    std::vector<Tolm::Command> createCommands(Tolm::Context& job) override {
        calls.push_back("commands");
        if (failCommands) throw Tolm::TolmException("commands failed");
        std::vector<Tolm::Command> commands;
        if (!Tolm::hasVariable(job, "CMD")) return commands;
        const auto& lines = dynamic_cast<const Tolm::TolmList&>(*Tolm::getVariable(job, "CMD"));
        for (const Tolm::TolmValuePtr& item : lines.items()) {
            const std::string line = item->toString();
            commands.push_back(Tolm::Command{line, {}, line == "never" ? Tolm::Command::NotRun : 0u, {}});
        }
        return commands;
    }

    Tolm::RecipeSet recipes;
    bool failPrepare = false;
    bool failCommands = false;
    std::vector<std::string> calls;
};

}  // namespace AppTest
