#pragma once

// "--create-project": a first project file for an existing tree of unit
// files. The project root is scanned for files named "tolm.txt" (any letter
// case); the unit each one declares on its first line ("unit <name>") becomes
// a unit entry listing its files. The project file goes to the current
// directory, with the unit files' paths relative to it; one already there is
// left as it is and the run fails.
//
// The written file must load again: a name that is no identifier is made
// into one, and a unit or file the language cannot spell is left out with a
// warning instead of breaking the whole file. Directories are scanned once
// each, so a symbolic link back up the tree cannot make the scan endless.

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "util/ci_string.h"

// One scanned directory.
struct DirectoryNode {
    std::filesystem::path path;
    std::vector<DirectoryNode> children;         // subdirectories, in listing order
    std::vector<std::filesystem::path> files;    // regular files, relative to the current directory
};

namespace Tolm {

struct ProjectTree {
    DirectoryNode root;
    // Unit name to its files, in discovery order; "" holds the unit files
    // that name no unit.
    std::map<Util::CiString, std::vector<std::filesystem::path>> units;
    // Directories already scanned, by their resolved path.
    std::set<std::filesystem::path> scanned;
};

}  // namespace Tolm

// Fills `node` with the content of `directory`, recursively, and records
// every unit file in the tree's map. A directory that cannot be listed
// yields nothing; a failure to tell what kind an entry is propagates.
void discoverUnitFiles(Tolm::ProjectTree& tree, const std::filesystem::path& directory, DirectoryNode& node);

// The name made into an identifier of the language: other bytes become
// '_', a leading digit or '-' gets a '_' in front, a keyword gets one behind,
// and the empty name becomes "project".
std::string projectIdentifier(std::string_view name);

// The project file's text for the tree's units (units without a name left out).
std::string projectFileText(const std::string& name, const Tolm::ProjectTree& tree);
