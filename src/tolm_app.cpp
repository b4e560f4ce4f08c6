#include "tolm_app.h"

#include <signal.h>

#include "app/build_cache.h"
#include "app/build_interrupt.h"
#include "app/cache_file.h"
#include "app/lists.h"
#include "app/run_locks.h"
#include "app/toolchain_storing.h"
#include "tolm_registry.h"
#include "tools/find_compilers.h"
#include "tools/matcher.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

constexpr const char* kVersion = "3.12.0.0";
constexpr const char* kRegistryOrigin = "Registry";

void ignoreFileSizeSignal(int) {}

// A write beyond the file-size limit (ulimit -f) then fails with EFBIG, and
// the writer says so, instead of SIGXFSZ ending the program with a file
// half-written. A handler rather than SIG_IGN: an ignored signal stays
// ignored in the commands the build starts, a handled one is reset to the
// default when they start.
void keepRunningPastFileSizeLimit() {
    struct sigaction action {};
    action.sa_handler = ignoreFileSizeSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGXFSZ, &action, nullptr);
}

void ignoreClosedPipeSignal(int) {}

// A write to a pipe or FIFO whose reader has left (`tolm | head`) then fails
// with EPIPE, an output failure like any other, instead of SIGPIPE ending
// the program without a word and without saving what the build did. A
// handler for the same reason as above, so the commands start with the
// default. One ignored when tolm started stays ignored, in them too: whoever
// started tolm ruled it out.
void keepRunningPastClosedPipe() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = ignoreClosedPipeSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace

TolmApplication::TolmApplication() = default;

TolmApplication::~TolmApplication() = default;

// Exactly one mode runs. The order of the checks decides which one wins when
// several options are given: the version first, then project creation (before
// the registry is read), toolchain detection (before the project search),
// registration (after the project is loaded), the lists, and last the build.
int TolmApplication::Run() {
    keepRunningPastFileSizeLimit();
    keepRunningPastClosedPipe();
    // Signals are handled from here on, through the toolchain checks too.
    BuildInterrupt::Scope signals;
    if (showVersion) {
        Log::log(LogLevel::Info, "{}\n", kVersion);
        return 0;
    }
    if (createProject) {
        std::string name;
        CreateProjectFile(name);
        return 0;
    }

    LoadRegistry();
    if (findCompilersMode) {
        // Checked before the search, which may take a while.
        RequireWritableRegistry();
        const auto detected = findCompilers();
        UpdateRegistry([&detected](TolmRegistry& changed) { storeDetectedToolchains(changed, detected); });
        return 0;
    }

    LoadRootProject();
    if (registerProject) {
        RegisterProject();
        return 0;
    }

    // The built-in variables and tools, then the units, then the positional
    // words, which may name any target of any loaded unit.
    CreateImplicitContext();
    tools.clear();
    CreateStaticTools();
    if (registry) {
        for (const auto& [name, definition] : registry->tools) AddTool({name.str(), definition, kRegistryOrigin});
    }
    AddProjectTools(project);
    LoadUnits();
    ApplyCommandLineArguments();

    if (!listTargetsUnit.empty()) return printTargetList(*this);
    if (listUnits) return printUnitList(*this);
    if (listProfiles) return printProfileList(*this);

    // The build: cache load, target walk, cache save, under the project lock
    // (app/run_locks.h). A build that fails or is interrupted still saves
    // what its jobs completed; one that stored nothing (it failed before any
    // job ended) leaves the file as it was. A save that fails fails a build
    // that succeeded and stored records, since they were not kept; one that
    // stored none lost nothing (a read-only project whose targets record
    // nothing). A failed or interrupted build keeps its own status.
    buildCache = std::make_unique<BuildCache>(projectRoot / ".tolm_cache");
    const ProjectLock projectLock(buildCache->cacheFile);
    loadBuildCache(*buildCache);
    try {
        StartBuild();
    } catch (...) {
        if (buildCache->stored) saveBuildCache(*buildCache);
        throw;
    }
    const bool saved = saveBuildCache(*buildCache);
    BuildInterrupt::throwIfCaught();
    return saved || !buildCache->stored ? 0 : 1;
}
