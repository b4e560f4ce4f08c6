#pragma once

// Where the project root is. The project file ".tolm_project.txt" marks a
// project's root directory; a run started anywhere below it works on that
// project, so the search goes upward from the current directory and the
// nearest project file wins.

#include <filesystem>
#include <optional>

inline constexpr const char* kProjectFileName = ".tolm_project.txt";

// The nearest directory at or above `start` that holds an entry named
// ".tolm_project.txt" (of any file type); nothing when no directory up to the
// file-system root does. `start` should be absolute.
std::optional<std::filesystem::path> findProjectDirectory(const std::filesystem::path& start);
