#pragma once
// Which target instance of the run writes which file.
//
// Two instances whose outputs name one file overwrite each other's work: a
// dependant of the first links what the second wrote, and each sees the
// other's rewrite on every run. So the walk notes the files every instance's
// recipes name as outputs, before any of its commands runs, and refuses the
// second instance that names a file already noted, as it refuses two sources
// of one target compiled to one object.
//
// A file that reaches a target's output variables from a dependency is not
// that target's to write: a `+` dependency appends its output variables to
// the target, and an output variable may pass a dependency's file on
// (`^o = lib.libout`, `^o = P"(${lib.libout})"`, through other variables,
// conditional blocks, nested contexts, lists or parameters), so a command
// target lists them among its recipe outputs (and its record follows them,
// so it runs again when they change), but their writer is the dependency,
// which the walk has built before the target. Whether a value came from a
// dependency is decided by the value itself, which carries that mark
// (types/tolm_value.h), never by how the assignment is written: a passed-on
// file is one whose value is so marked, whether or not any instance of the
// run writes it (a dependency may name a source, a header the user edits).
// Such files, and every file of a `+` dependency's outputs, are taken out of
// what the target claims, and out of what a failed job of the target may
// remove. A file the target's own text names (`P"(gen.txt)"`,
// also `P"(${lib.dir}/gen.txt)"`, or a path made of a dependency's text,
// `P"(${lib.name})"`) is its own, whatever its dependencies write: a second
// writer of it is refused. A tool that derives its outputs
// from its inputs (a compiler) names only files it writes, so nothing is
// taken out of its outputs.
//
// Owners are named as users write references: "unit::target" in the project
// being built, "project/unit::target" in an imported one, so two projects'
// targets of one unit and name are two owners.

#include <string>
#include <unordered_map>
#include <vector>

#include "types/tolm_value.h"

class OutputOwners {
public:
    // Notes `owner` as the writer of each file. Throws TolmException naming
    // the earlier owner, `owner` and the file when another owner has one of
    // them; the same owner may name a file again.
    void claim(const std::vector<std::string>& files, const std::string& owner);

private:
    // Lexically normal path -> owner.
    std::unordered_map<std::string, std::string> owners_;
};

// The files of `named` the target writes itself: those that are none of
// `received` (the files its dependencies' outputs gave it), whatever way
// either spells them.
std::vector<std::string> ownOutputFiles(std::vector<std::string> named, const std::vector<std::string>& received);

// Appends the file of every path value in the value that was received from
// a dependency: itself, the items of a list and the variables of a context
// value, at any depth.
void collectReceivedPaths(const Tolm::TolmValuePtr& value, std::vector<std::string>& files);
