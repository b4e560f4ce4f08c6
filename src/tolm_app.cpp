#include "tolm_app.h"

#include <string_view>

#include <fmt/format.h>

#include "app/build_cache.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

constexpr const char* kVersion = "3.12.0.0";

// A mode whose work is not part of this build yet must fail loudly rather
// than end in a silent success.
constexpr const char* kNotAvailable = "{} is not available yet.";

Tolm::TolmException notAvailable(std::string_view mode) {
    return Tolm::TolmException(fmt::format(kNotAvailable, mode));
}

}  // namespace

TolmApplication::TolmApplication() = default;

TolmApplication::~TolmApplication() = default;

// Exactly one mode runs. The order of the checks decides which one wins when
// several options are given: the version first, then project creation (before
// the registry is read), toolchain detection (before the project search),
// registration (after the project is loaded), the lists, and last the build.
int TolmApplication::Run() {
    if (showVersion) {
        Log::log(5, "{}\n", kVersion);
        return 0;
    }
    if (createProject)
        throw notAvailable("--create-project");

    // The registry is read here, before toolchain detection.
    if (findCompilersMode)
        throw notAvailable("--find-compilers");

    // The project is found and loaded here, before registration.
    if (registerProject)
        throw notAvailable("-r");

    // Tools, units and the positional words are set up here, before the lists.
    if (!listTargetsUnit.empty())
        throw notAvailable("-l");
    if (listUnits)
        throw notAvailable("-u");
    if (listProfiles)
        throw notAvailable("-p");

    // The build: cache load, target walk, cache save.
    throw notAvailable("Building");
}
