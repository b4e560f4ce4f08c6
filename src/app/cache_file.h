#pragma once
// The build cache between runs: the text file ".tolm_cache" in the project
// root, read once before the build and written once after it: after a build
// that succeeded, and after one that failed or was interrupted once it
// stored what its jobs completed.
//
// Layout (elements as in cache_lines.h):
//   TOLM_CACHE_V7
//   record count
//   per record: key string, program string (the path of the program that
//               ran the record's commands; empty for none of the tool's own),
//               recipe count,
//     per recipe: input count,
//       per input: input assignment, intermediate flag (0 or 1), and the
//                  intermediate assignment when the flag is 1;
//     output count, output assignments;
//     output time count, output times (one per file the outputs name, in
//       order, as the recipe's job left it);
//     fingerprint count, fingerprints (of the same files' contents);
//     input time count, input times (one per file the inputs name, in
//       order, as its job started; for a directory, as its job ended, since
//       the job may write into it: the kind is not stored, the check asks
//       the path as it is then);
//   context count, context assignments;
//   only when a record keeps made files (build_cache.h): the line
//   "MADE_FILES", a count, and per record that keeps some: its key string,
//   a file count, and per file its path string and, as a job left it, its
//   write time as two counts (seconds since 1970 and nanoseconds), its
//   inode and its size, each a count. A reader
//   that knows no such list ignores it with whatever else follows the last
//   record; one that finds it damaged reads no made files at all.
// Older files still read: "TOLM_CACHE_V6" files have no fingerprints and
// no input times, "TOLM_CACHE_V5" files not even a program and output
// times, "TOLM_CACHE_V4" files not even the flag and the intermediate,
// "TOLM_CACHE_V3" files are laid out like V4 and their context is read and
// dropped. A record without output times is never up to date, so each
// target of a V5 or older file is built once more; the recipes of a V6 file
// are checked by their times alone (a directory too). A V7 file written
// before directories took their time at the job's end holds their time at
// its start, which is the same: a record whose job moved a directory's time
// kept no times at all. Whatever is read is saved as V7. Recipe keys are
// not stored: the load computes them from the inputs. Whatever follows the
// last record is ignored.
//
// Two promises shape this file:
// - A cache file never stops a build. One that is missing or unreadable
//   gives an empty cache silently; one that is damaged in any way (a bad
//   count, a truncated record, bytes that are not text) gives one warning
//   and an empty cache, never an exception.
// - The file on disk is always a complete one. The save writes a new
//   temporary file beside it (cache path + ".tmp." + a random suffix,
//   created exclusively, never through a link) and renames it over the old
//   file; a save that fails leaves the old file as it was, and two runs
//   saving at once never leave it missing. A cache path that is not a
//   regular file (a FIFO, say) is read as no cache, with a warning, and
//   never written over. A save whose bytes equal the file's writes nothing,
//   and a run that stored nothing in a cache read whole from a file of the
//   newest format does not even make them.
//
// The save writes the records sorted by key and each record's recipes in
// their own order, so an unchanged cache gives the same bytes every time.
// A record holding a value that no text would read back (see
// cached_assignment_text.h) is left out, with a level-6 line naming the
// target and the value: that target rebuilds next time, rather than the
// whole file being refused.

#include <filesystem>
#include <string_view>

#include "app/build_cache.h"

// Replaces the cache's records with those of its file, sets the next claim
// token to 1 and the run's start to now. Logs a level-6 warning for a
// damaged file, and for a path that is not a regular file, which the save
// then leaves alone.
void loadBuildCache(BuildCache& cache);
// The same on the file's bytes, already read.
void loadBuildCacheBytes(BuildCache& cache, std::string_view bytes);

// Writes every record of the cache to its file. Failures are logged at
// level 7 with the system's reason and change nothing else: the old file
// stays in place and no temporary file is left. Returns false after such a
// failure, so the run can say that what it built was not recorded; true
// when the file holds the cache, and when the save was skipped on purpose
// (nothing changed, or a path that is not a regular file, left alone).
bool saveBuildCache(BuildCache& cache);
