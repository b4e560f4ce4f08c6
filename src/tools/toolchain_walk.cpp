#include "tools/toolchain_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string_view>
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

namespace {

// Whether the entry is a directory itself (links are not followed); the
// listing's type when it gives one, else the file's own status.
bool isRealDirectory(int directoryFd, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
    struct stat status;
    return ::fstatat(directoryFd, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

// Walks below one directory depth first, in listing order, as a recursive
// directory iterator that skips what it may not read: a directory that may
// not be opened is passed over, any other error ends the whole walk (false).
// Only names are read, and paths are made only for directories: a bin
// directory below the root holds a thousand files and no directory.
bool walkBelow(const fs::path& directory, const BinDirectoryRules& rules, std::set<std::string>& visited,
               std::vector<fs::path>& found)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.c_str()), &::closedir);
    if (!stream) return errno == EACCES;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) return errno == 0;
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        const bool named = rules.ignoreCase ? Util::ciEquals(name, "bin") : name == "bin";
        if (named) {
            const fs::path bin = directory / name;
            if (isDirectoryQuietly(bin) && markVisited(visited, bin)) found.push_back(bin);
            if (!rules.descendIntoBin) continue;
        }
        if (isRealDirectory(::dirfd(stream.get()), *entry) && !walkBelow(directory / name, rules, visited, found))
            return false;
    }
}

}  // namespace

void addBinDirectoriesBelow(const fs::path& root, const BinDirectoryRules& rules, std::set<std::string>& visited,
                            std::vector<fs::path>& found)
{
    walkBelow(root, rules, visited, found);
}

std::string nameWithoutExe(const std::string& fileName)
{
    // Only a name ending so can have that extension.
    if (fileName.size() < 4 || !Util::ciEquals(std::string_view(fileName).substr(fileName.size() - 4), ".exe"))
        return fileName;
    return fileNameWithoutExe(fileName);
}
