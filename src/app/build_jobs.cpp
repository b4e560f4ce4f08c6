#include "app/build_jobs.h"

#include <time.h>

#include <algorithm>
#include <exception>
#include <future>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "app/build_cache.h"
#include "app/build_interrupt.h"
#include "app/job_outputs.h"
#include "tolm_app.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Starting = "Starting build job\n";
constexpr const char* CommandLine = "{}\n";
constexpr const char* NotStarted = "Unable to start the command of '{}': {}\n";
constexpr const char* Failed = "Build of {} failed. Exiting..\n";
constexpr const char* FailedError = "Build failed.";
}  // namespace Messages

// Result of a job whose command may not be run.
constexpr int NotRunResult = 38;
// Result of a job stopped by a signal before its next command.
constexpr int InterruptedResult = -1;

struct Job {
    BuildJob* job;
    std::vector<Tolm::Command> commands;
    // Its declared outputs as they were before the jobs started.
    std::optional<JobOutputs> outputs;
};

// Starts every job and waits for all of them in launch order; true when all
// succeeded. The first task's exception is kept in `failure`, the job counting
// as failed.
bool runAll(std::vector<Job>& jobs, ProcessRunner& runner, const std::string& name, std::exception_ptr& failure) {
    std::vector<std::future<int>> tasks;
    tasks.reserve(jobs.size());
    for (const Job& job : jobs)
        tasks.push_back(std::async(std::launch::async, [commands = job.commands, &runner, &name] {
            return runCommands(commands, runner, name);
        }));
    bool succeeded = true;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        try {
            jobs[i].job->succeeded = tasks[i].get() == 0;
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        succeeded = succeeded && jobs[i].job->succeeded;
    }
    return succeeded;
}

}  // namespace

int runCommands(const std::vector<Tolm::Command>& commands, ProcessRunner& runner, const std::string& name) {
    for (const Tolm::Command& command : commands) {
        if (BuildInterrupt::stopped()) return InterruptedResult;
        Log::log(5, fmt::runtime(Messages::CommandLine), command.commandLine);
        if (command.kind == Tolm::Command::NotRun) return NotRunResult;
        // What tolm printed goes out before the command's own output; a
        // command whose line never reached the reader is not started.
        if (!Log::flush()) return InterruptedResult;
        const CommandResult result = runner.run(command);
        if (!result.startFailure.empty()) Log::log(7, fmt::runtime(Messages::NotStarted), name, result.startFailure);
        if (result.code != 0) return result.code;
    }
    return 0;
}

void runJobs(Tolm::Builder& builder, std::vector<BuildJob>& jobs, const Util::CiString& name, Tolm::Context& output,
             ProcessRunner& runner) {
    // No job starts once the build is being stopped.
    BuildInterrupt::throwIfCaught();
    std::vector<Job> running;
    for (BuildJob& job : jobs) {
        job.succeeded = !job.context;
        if (!job.context) continue;
        Log::log(5, fmt::runtime(Messages::Starting));
        running.push_back(Job{&job, {}, std::nullopt});
    }
    if (running.empty()) return;

    builder.prepareOutput(*running.front().job->context, running.size());
    try {
        for (Job& job : running) job.commands = builder.createCommands(*job.job->context);
        JobOutputs::Directories directories;
        for (Job& job : running)
            job.outputs.emplace(job.job->outputFiles, job.job->readFiles, job.job->history, directories);
        timespec start{};
        clock_gettime(CLOCK_REALTIME, &start);
        std::exception_ptr taskFailure;
        const bool succeeded = runAll(running, runner, name.str(), taskFailure);
        InputFiles inputs(running.front().job->history);
        for (Job& job : running) {
            if (job.job->succeeded)
                job.job->madeFiles = job.outputs->made(inputs);
            else
                job.outputs->removeUnfinished(start, inputs);
        }
        if (taskFailure) std::rethrow_exception(taskFailure);
        if (!succeeded) {
            BuildInterrupt::throwIfCaught();
            Log::log(7, fmt::runtime(Messages::Failed), name);
            throw Tolm::TolmException(Messages::FailedError);
        }
        std::vector<Tolm::Assignment> produced;
        for (Job& job : running) {
            const Tolm::Context jobOutput = builder.createOutputContext(*job.job->context, 0);
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

void TolmApplication::runBuildJobs(Tolm::Builder& builder, std::vector<BuildJob>& jobs, const Util::CiString& name,
                                   Tolm::Context& output) {
    // Commands may write any file, the outputs of earlier targets included.
    const bool runsCommands = std::any_of(jobs.begin(), jobs.end(), [](const BuildJob& job) { return job.context; });
    if (runsCommands && buildCache) buildCache->fileTimes.forget();
    ShellProcessRunner runner;
    runJobs(builder, jobs, name, output, runner);
}
