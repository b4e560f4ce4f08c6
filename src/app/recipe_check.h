#pragma once
// Whether a recipe recorded in the cache still holds for a new build.
//
// The comparison is exact and never throws: texts compare with their letter
// case, values of different types differ (a text never equals an integer or
// a path, whatever the value types' own comparisons would say), and a context
// value (a dependency's outputs) compares by its variables. Plain and raw
// texts are one type here: the cache file can only store a text holding a
// double quote as a raw text. A file counts as a recipe's input when any
// value names it, including values nested in dependency outputs, so a
// rebuilt dependency makes its dependants rebuild.

#include <string>
#include <vector>

#include "app/build_cache.h"
#include "app/file_times.h"
#include "tools/builder.h"
#include "types/assignment.h"
#include "types/tolm_value.h"

// Equal type and content; texts exactly (plain and raw alike), names of
// nested variables ignoring case. Null equals only null.
bool sameCachedValue(const Tolm::TolmValuePtr& a, const Tolm::TolmValuePtr& b);
// Names equal ignoring case and values by sameCachedValue.
bool sameCachedAssignment(const Tolm::Assignment& a, const Tolm::Assignment& b);
// Same count and pairwise sameCachedAssignment.
bool sameCachedAssignments(const std::vector<Tolm::Assignment>& a, const std::vector<Tolm::Assignment>& b);

// Appends the file named by every path value in the value: itself, the items
// of a list and the variables of a context value, at any depth.
void collectDependedPaths(const Tolm::TolmValuePtr& value, std::vector<std::string>& out);

// For a recipe whose outputs equal the stored ones: up to date when every
// output file exists with the write time its job left it at (or, written
// since but not after the run's start, still with the content it left),
// every output its job left a directory (the record holds no content of it)
// is one still (its time moves with each entry made, renamed or removed in
// it, by any job, so it is not dated at all), an output its job left a file
// is no directory now (nor a link to one), there are as many inputs as
// stored, and every input equals its stored counterpart and names only
// files that the stored job read as they are now. Those are judged by the
// earliest of the output files' stored and present times, so never by a new
// time later than the one the job left: a
// file strictly older than it, or of the same time and still with the time
// it had when the job started; a directory still with the time it had when
// the job ended (the job may write into it), or, when the record holds no
// input times, like a file. A file that an earlier check of the run found
// written again alike counts with the time its record had, while its time
// now is earlier than the outputs' (else the next run, finding it plainly,
// would disagree, so it counts with its time now). When every output is a
// directory its job left, no output time is left to judge by: each file and directory
// the inputs name must still have exactly the time recorded for it (outputs
// naming no file at all leave the recipe never up to date). Sets each
// input's reuse flag to whether it passed; an input naming no file passes
// on equal assignments alone. An output changed since its job (or never
// timed) makes nothing of the recipe trusted: no input is reused. An
// up-to-date recipe takes the stored record of its job, with the outputs'
// times as they are now, and notes its outputs written again alike in
// `run`.
bool recipeUpToDate(StoredRecipe& fresh, const StoredRecipe& stored, const FileTimes& times, RunChecks& run);

// Notes the write time every file the recipe's inputs name has as its job
// is about to start.
void recordInputTimes(StoredRecipe& recipe, const FileTimes& times);

// Once the recipe's job has ended: notes the write time and the content of
// every file its outputs name, and the time every directory its inputs name
// has now. When a file its inputs name (not a directory) no longer has the
// time noted at the start, the job may have read an older content than the
// one now there: nothing is noted, so the next run builds the recipe again.
void recordJobResult(StoredRecipe& recipe, const FileTimes& times);
