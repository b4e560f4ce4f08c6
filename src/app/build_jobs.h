#pragma once
// The build jobs of one target: each job context becomes a list of commands
// that runs on a thread of its own, command after command. A failing job
// does not stop the others; once every job has ended, one failure fails the
// target. Only when all succeeded are the Builder's outputs of every job
// gathered, a variable produced by several jobs becoming one list in job
// order. The Builder itself is called from the calling thread only.

#include <memory>
#include <vector>

#include "app/process_runner.h"
#include "tools/builder.h"
#include "types/context.h"
#include "util/ci_string.h"

// Runs the jobs' commands through `runner` and merges the outputs into
// `output`. `name` names the target in the failure line. Throws
// TolmException "Build failed." when a job failed; Builder failures pass
// through, after finishBuild once prepareOutput has run.
void runJobs(Tolm::Builder& builder, const std::vector<std::shared_ptr<Tolm::Context>>& jobContexts,
             const Util::CiString& name, Tolm::Context& output, ProcessRunner& runner);

// One job's commands in order; the first non-zero result ends it. A command
// of kind NotRun is announced but never started and gives 38.
int runCommands(const std::vector<Tolm::Command>& commands, ProcessRunner& runner);
