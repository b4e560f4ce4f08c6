#pragma once

// Reading one unit file ("tolm.txt" or a file a project lists) into a unit
// that nobody else holds yet. Naming, merging and registering units is the
// caller's job.

#include <filesystem>
#include <memory>

#include "types/unit.h"

// Parses the file into a unit with its name (empty when the file names
// none), its targets and its default target. A relative path is taken in the
// current directory. Throws Tolm::TolmException "File not found at " + path,
// "Unit file '" + path + "' is not a regular file." (a FIFO or a device,
// refused without reading), "Unit file '" + path + "' is a directory.",
// "Unable to open file!" (unreadable), path + " Parsing failed
// due to syntax errors." or "Unable to parse unit file.", and
// std::runtime_error naming the file when it is not valid UTF-8.
std::shared_ptr<Tolm::Unit> loadUnitFile(const std::filesystem::path& file);
