#pragma once
// The build jobs of one target: each job context becomes a list of commands
// that runs on a thread of its own, command after command. A failing job
// does not stop the others; once every job has ended, one failure fails the
// target. Only when all succeeded are the Builder's outputs of every job
// gathered, a variable produced by several jobs becoming one list in job
// order. The Builder itself is called from the calling thread only.
//
// A job that fails or is stopped removes what it may have half-written
// (job_outputs.h).

#include <memory>
#include <string>
#include <vector>

#include "app/job_outputs.h"
#include "app/process_runner.h"
#include "tools/builder.h"
#include "types/context.h"
#include "util/ci_string.h"

// One job of a target.
struct BuildJob {
    // The context its commands are made from; a null one is skipped.
    std::shared_ptr<Tolm::Context> context;
    // The files its recipes declare as outputs, but those its target reads
    // or received: what a failed job removes where it changed them.
    std::vector<std::string> outputFiles;
    // Set by runJobs, also when it throws: every command of the job ran and
    // succeeded.
    bool succeeded = false;
    // The files its recipes declare as outputs that its target also reads: a
    // failed job removes one only where it made it, now or in an earlier job.
    std::vector<std::string> readFiles;
    // Its target's; none where no cache keeps a history, which leaves the
    // outputs its target reads by another path to the job.
    const TargetFileHistory* history = nullptr;
    // Set by runJobs once the job succeeded: the outputs it made (missing
    // before it) that its target also reads, by any path, and those its
    // target made before, with the times it left them at.
    std::vector<MadeFile> madeFiles;
};

// Runs the jobs' commands through `runner` and merges the outputs into
// `output`. `name` names the target in the failure lines. Throws
// TolmException "Build failed." when a job failed, BuildInterrupted when a
// signal stopped one and OutputFailed when failed standard output did;
// Builder failures pass through, after finishBuild once prepareOutput has
// run.
void runJobs(Tolm::Builder& builder, std::vector<BuildJob>& jobs, const Util::CiString& name, Tolm::Context& output,
             ProcessRunner& runner);

// One job's commands in order; the first non-zero result ends it, and so
// does a caught signal or failed standard output before a command starts,
// also when showing the command's line is what failed. A command of kind
// NotRun is announced but never started and gives 38. A command that cannot
// start is reported with the target's name.
int runCommands(const std::vector<Tolm::Command>& commands, ProcessRunner& runner, const std::string& name);
