#pragma once
// The names in one directory, without a std::filesystem::path per entry.
//
// directory_iterator builds and splits a path for every entry; a bin
// directory or a source directory holds a thousand entries or more, and the
// toolchain search and the wildcard expansion look only at their names.

#include <filesystem>
#include <string>
#include <vector>

namespace Util {

// The entry names of the directory in listing order, "." and ".." left out,
// as directory_iterator with skip_permission_denied lists them: a directory
// that cannot be opened gives none, and an error while reading ends the list.
std::vector<std::string> directoryNames(const std::filesystem::path& directory);

}  // namespace Util
