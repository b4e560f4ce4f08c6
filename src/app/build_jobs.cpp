#include "app/build_jobs.h"

#include <algorithm>
#include <future>
#include <utility>

#include <fmt/format.h>

#include "app/build_cache.h"
#include "tolm_app.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Starting = "Starting build job\n";
constexpr const char* CommandLine = "{}\n";
constexpr const char* Failed = "Build of {} failed. Exiting..\n";
constexpr const char* FailedError = "Build failed.";
}  // namespace Messages

// Result of a job whose command may not be run.
constexpr int NotRunResult = 38;

struct Job {
    std::shared_ptr<Tolm::Context> context;
    std::vector<Tolm::Command> commands;
    int result = 0;
};

// Starts every job and waits for all of them in launch order; true when all
// succeeded. A task's exception is rethrown; the futures still running are
// waited for as they are destroyed.
bool runAll(std::vector<Job>& jobs, ProcessRunner& runner) {
    std::vector<std::future<int>> tasks;
    tasks.reserve(jobs.size());
    for (const Job& job : jobs)
        tasks.push_back(std::async(std::launch::async,
                                   [commands = job.commands, &runner] { return runCommands(commands, runner); }));
    bool succeeded = true;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        jobs[i].result = tasks[i].get();
        if (jobs[i].result != 0) succeeded = false;
    }
    return succeeded;
}

}  // namespace

int runCommands(const std::vector<Tolm::Command>& commands, ProcessRunner& runner) {
    for (const Tolm::Command& command : commands) {
        Log::log(5, fmt::runtime(Messages::CommandLine), command.commandLine);
        if (command.kind == Tolm::Command::NotRun) return NotRunResult;
        if (const int result = runner.run(command); result != 0) return result;
    }
    return 0;
}

void runJobs(Tolm::Builder& builder, const std::vector<std::shared_ptr<Tolm::Context>>& jobContexts,
             const Util::CiString& name, Tolm::Context& output, ProcessRunner& runner) {
    std::vector<Job> jobs;
    for (const std::shared_ptr<Tolm::Context>& context : jobContexts) {
        if (!context) continue;
        Log::log(5, fmt::runtime(Messages::Starting));
        jobs.push_back(Job{context, {}, 0});
    }
    if (jobs.empty()) return;

    builder.prepareOutput(*jobs.front().context, jobs.size());
    try {
        for (Job& job : jobs) job.commands = builder.createCommands(*job.context);
        if (!runAll(jobs, runner)) {
            Log::log(7, fmt::runtime(Messages::Failed), name);
            throw Tolm::TolmException(Messages::FailedError);
        }
        std::vector<Tolm::Assignment> produced;
        for (Job& job : jobs) {
            const Tolm::Context jobOutput = builder.createOutputContext(*job.context, job.result);
            produced.clear();
            for (const auto& [key, assignment] : jobOutput.assignments)
                produced.emplace_back(assignment.name, assignment.value, assignment.type, assignment.modifier);
            output.mergeVariables(produced);
        }
    } catch (...) {
        builder.finishBuild();
        throw;
    }
    builder.finishBuild();
}

void TolmApplication::runBuildJobs(Tolm::Builder& builder,
                                   const std::vector<std::shared_ptr<Tolm::Context>>& jobContexts,
                                   const Util::CiString& name, Tolm::Context& output) {
    // Commands may write any file, the outputs of earlier targets included.
    const bool runsCommands =
        std::any_of(jobContexts.begin(), jobContexts.end(), [](const auto& context) { return context != nullptr; });
    if (runsCommands && buildCache) buildCache->fileTimes.forget();
    ShellProcessRunner runner;
    runJobs(builder, jobContexts, name, output, runner);
}
