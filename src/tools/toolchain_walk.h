#pragma once
// Directory walking shared by the GNU and LLVM toolchain searches.
//
// Both searches look for "bin" directories below a root and then for
// compiler files in them. The file system may change under the walk and
// parts of it may be unreadable; every operation here uses the error-code
// forms, so such places are skipped instead of failing the search.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// The path without a trailing separator, so "/usr/bin/" names "bin" as its
// last component like "/usr/bin". A root path stays as it is.
std::filesystem::path withoutTrailingSeparator(const std::filesystem::path& path);

// Whether the path is a directory (following links); false on any error.
bool isDirectoryQuietly(const std::filesystem::path& path);

// Whether the path itself is a symbolic link; false on any error.
bool isSymlinkQuietly(const std::filesystem::path& path);

// Whether the path is a regular file (following links); false on any error.
bool isRegularFileQuietly(const std::filesystem::path& path);

struct BinDirectoryRules {
    bool ignoreCase = false;      // also "BIN", "Bin"
    bool descendIntoBin = true;   // look for further bin directories inside one
};

// Appends, in walk order, every directory named bin that a recursive walk of
// root meets (directory links are not followed into) and that `visited` does
// not hold yet; marks each in `visited`. An error while walking ends the walk
// and keeps what was found.
void addBinDirectoriesBelow(const std::filesystem::path& root, const BinDirectoryRules& rules,
                            std::set<std::string>& visited, std::vector<std::filesystem::path>& found);

// fileNameWithoutExe of a name read from a directory listing, without
// making a path of it.
std::string nameWithoutExe(const std::string& fileName);
