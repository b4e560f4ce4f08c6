#pragma once
// The text the cache file stores for one assignment.
//
// The reader parses each text as a statement of the language after turning
// every P"text" into P"(text)" (cached_assignment_parse.h). A text must read
// back to the same name and an equal value, or the whole file is refused on
// the next load and every target rebuilds. So the writer keeps the plain
// `name op literal` shape and picks, for each value, a literal the reader
// turns back into it:
// - texts in double quotes; a text holding a double quote (a -DNAME="x" flag)
//   as R"(...)", since a quoted text has no escapes;
// - paths as P"(...)", already joined with their base directory, except that a
//   path relative to "." (the base the reader gives every path) stays as
//   written, so reading and writing again changes nothing;
// - lists flat (the reader flattens them anyway), and a line break rather than
//   a blank after a text ending in P, where the path rewrite would otherwise
//   take `P", "` for a path;
// - a declaration or an assignment of an unknown type with a value as
//   `name = value`: the type travels on the "A" line, and only "=", "+=" and
//   "?=" can carry a value;
// - a context value (a dependency's outputs) as `{ name = value ... }`, its
//   variables in name order with their "^" and operator, one without a value
//   as its bare name, and a line feed after a variable whose text holds P"
//   (a path, or a text ending in P). It reads back as a new context with the
//   same variables, which the cache check compares by content.
// Anything else (contexts with conditional blocks or a "!" variable, names
// that are not identifiers, texts that are not UTF-8 or fit no literal) has
// no such text, and the caller leaves its record out of the file: that
// target then rebuilds instead of every target.

#include <optional>
#include <string>

#include "types/assignment.h"
#include "types/tolm_value.h"

// A literal that reads back to a value equal to `value`; nullopt when the
// language has none.
std::optional<std::string> cacheLiteral(const Tolm::TolmValue& value);

// The assignment's text in the cache file; nullopt when it has none that
// reads back to the same name and value.
std::optional<std::string> cacheAssignmentText(const Tolm::Assignment& assignment);
