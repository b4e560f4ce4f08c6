#pragma once

// Parses one statement of the language, such as a command-line word
// `CFLAGS += "-g"` or an assignment line of the build cache, into an
// assignment. A bare word on the right-hand side becomes text, not a
// reference to another variable.

#include <filesystem>
#include <string_view>

#include "types/assignment.h"

// The failure text for any syntax error, lexer errors and trailing text included.
inline constexpr const char* kAssignmentSyntaxError = "Parsing assignment failed due to syntax errors.";

// Throws std::runtime_error with kAssignmentSyntaxError when `text` is not
// exactly one assignment, with "assignment(line,column): nesting deeper than
// 200 levels" when it nests too deep to parse, std::invalid_argument when it is not valid UTF-8,
// and passes on the visitor's failures ("!" modifier, numbers out of range,
// pattern indexes). Path literals are based at `basePath`. Lexer errors go to
// standard error unless `quiet`: a user wants to see what was wrong with a
// word they typed, but a text read back from a file tolm wrote itself has its
// own warning.
Tolm::Assignment parseAssignment(std::string_view text, const std::filesystem::path& basePath, bool quiet = false);
