#include "tools/c3_toolchain_search.h"

#include <set>
#include <system_error>

#include "util/ci_string.h"

namespace Tolm {

namespace {

namespace fs = std::filesystem;

bool isC3ExecutableName(const fs::path& path)
{
    const std::string name = path.filename().string();
    return Util::ciEquals(name, "c3c") || Util::ciEquals(name, "c3c.exe");
}

class C3Search {
public:
    explicit C3Search(const C3Wants& wants) : wants_(wants) {}

    std::vector<ToolchainPaths> run(const fs::path& wanted)
    {
        std::error_code error;
        const fs::file_status status = fs::status(wanted, error);
        if (fs::is_regular_file(status) && isC3ExecutableName(wanted)) {
            tryCandidate(wanted);
        } else {
            for (const fs::path& place : {wanted / "c3c", wanted / "c3c.exe", wanted / "bin" / "c3c",
                                          wanted / "bin" / "c3c.exe"})
                tryCandidate(place);
        }
        if (fs::is_directory(status)) walk(wanted);

        // Every candidate is asked at once; the results keep their order.
        std::vector<ToolchainPaths> found;
        for (std::optional<ToolchainPaths>& toolchain : probeToolVersions(candidates_))
            if (toolchain && c3VersionPasses(wants_, toolchain->version)) found.push_back(std::move(*toolchain));
        return found;
    }

private:
    void tryCandidate(const fs::path& path)
    {
        if (markVisited(visited_, path)) candidates_.push_back(path);
    }

    // Depth first in directory order, like a recursive directory walk, but a
    // directory that cannot be read is skipped and the walk goes on. Linked
    // directories are not entered, so a link loop cannot trap the walk.
    void walk(const fs::path& directory)
    {
        std::error_code error;
        fs::directory_iterator entry(directory, fs::directory_options::skip_permission_denied, error);
        for (const fs::directory_iterator end; !error && entry != end; entry.increment(error)) {
            std::error_code ignored;
            const fs::file_status own = entry->symlink_status(ignored);
            if (isC3ExecutableName(entry->path()) &&
                (fs::is_symlink(own) || fs::is_regular_file(entry->status(ignored))))
                tryCandidate(entry->path());
            if (fs::is_directory(own)) walk(entry->path());
        }
    }

    const C3Wants& wants_;
    std::set<std::string> visited_;
    std::vector<fs::path> candidates_;
};

}  // namespace

bool c3VersionPasses(const C3Wants& wants, const std::string& version)
{
    const std::string& wanted = wants.toolchainVersion;
    if (!wanted.empty()) {
        const bool prefix = wanted.find('.') == std::string::npos && version.starts_with(wanted + ".");
        if (wanted != "0" && !Util::ciEquals(version, wanted) && !prefix) return false;
    }
    return wants.toolchainMinVersion.empty() || versionSatisfiesMinimum(version, wants.toolchainMinVersion);
}

std::vector<ToolchainPaths> findC3Toolchains(const C3Wants& wants)
{
    if (!wants.toolchainPath) return {};
    return C3Search(wants).run(*wants.toolchainPath);
}

}  // namespace Tolm
