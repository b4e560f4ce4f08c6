#pragma once

// Wildcard expansion of path patterns against the file system.
//
// A pattern may hold "*" (any run of bytes, also none) and "?" (any one
// byte) in any of its components; there are no character classes and no
// escapes, and letter case matters. Each wildcard component is matched
// against the entries of every directory reached so far, so "**" behaves
// as "*" and never descends into subdirectories.
//
// File-system trouble (missing or unreadable directories, files where a
// directory is needed, errors while listing) never throws: the affected
// branch simply contributes nothing.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace Tolm {

// True when `name` matches the single-component `pattern`.
bool matchWildcard(std::string_view name, std::string_view pattern);

// True when the text holds a "*" or a "?".
bool hasWildcard(std::string_view text);

// The existing paths that match `pattern`. Within each directory the matches
// come in byte order of their file names, so results do not depend on the
// order in which the operating system lists a directory. A pattern without
// wildcards gives the one path itself, whether it exists or not; a pattern
// that matches nothing gives an empty list.
std::vector<std::filesystem::path> expandGlob(const std::filesystem::path& pattern);
// The same as texts, without building a path for each match.
std::vector<std::string> expandGlobTexts(const std::string& pattern);

}  // namespace Tolm
