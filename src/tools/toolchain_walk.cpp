#include "tools/toolchain_walk.h"

#include <system_error>

#include "tools/probe.h"
#include "util/ci_string.h"

namespace fs = std::filesystem;

fs::path withoutTrailingSeparator(const fs::path& path)
{
    if (path.has_filename() || !path.has_relative_path()) return path;
    return path.parent_path();
}

bool isDirectoryQuietly(const fs::path& path)
{
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

bool isSymlinkQuietly(const fs::path& path)
{
    std::error_code ignored;
    return fs::is_symlink(path, ignored);
}

bool isRegularFileQuietly(const fs::path& path)
{
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

void addBinDirectoriesBelow(const fs::path& root, const BinDirectoryRules& rules, std::set<std::string>& visited,
                            std::vector<fs::path>& found)
{
    std::error_code error;
    fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::path& path = walk->path();
        const std::string name = path.filename().string();
        const bool named = rules.ignoreCase ? Util::ciEquals(name, "bin") : name == "bin";
        if (!named || !isDirectoryQuietly(path)) continue;
        if (markVisited(visited, path)) found.push_back(path);
        if (!rules.descendIntoBin) walk.disable_recursion_pending();
    }
}

std::vector<fs::directory_entry> listDirectory(const fs::path& directory)
{
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    fs::directory_iterator list(directory, fs::directory_options::skip_permission_denied, error);
    for (; !error && list != fs::directory_iterator(); list.increment(error)) entries.push_back(*list);
    return entries;
}
