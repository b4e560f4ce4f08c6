#include "app/project_discovery.h"

#include <system_error>

#include "tolm_app.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Found = "Found a project file at {}\n";
constexpr const char* NotFound = "No project file.\n";
constexpr const char* Root = "Setting project root to {}\n";
}  // namespace Messages

// Any entry counts, a dangling link or a directory included: loading it
// later reports what is wrong with it.
bool holdsProjectFile(const std::filesystem::path& directory) {
    std::error_code error;
    return std::filesystem::symlink_status(directory / kProjectFileName, error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

std::optional<std::filesystem::path> findProjectDirectory(const std::filesystem::path& start) {
    std::filesystem::path directory = start;
    while (true) {
        if (holdsProjectFile(directory)) return directory;
        std::filesystem::path parent = directory.parent_path();
        if (directory == directory.root_path() || parent.empty() || parent == directory) return std::nullopt;
        directory = std::move(parent);
    }
}

// Search mode 0 looks upward from the current directory; "-f" makes the
// named file's directory the root; "-c" works without any root.
void TolmApplication::FindProjectFile(const std::filesystem::path& rootOverride) {
    if (!rootOverride.empty()) {
        projectRoot = rootOverride;
    } else if (searchMode == 1) {
        projectRoot = defaultUnitFile.parent_path();
    } else if (searchMode == 0) {
        const std::filesystem::path current = std::filesystem::current_path();
        if (auto found = findProjectDirectory(current)) {
            Log::log(LogLevel::Trace, Messages::Found, found->string());
            projectRoot = *found;
            projectFile = *found / kProjectFileName;
        } else {
            Log::log(LogLevel::Trace, Messages::NotFound);
            projectRoot = std::filesystem::exists(defaultUnitFile)
                              ? std::filesystem::absolute(defaultUnitFile).parent_path()
                              : current;
        }
    }
    Log::log(LogLevel::Trace, Messages::Root, projectRoot.string());
}
