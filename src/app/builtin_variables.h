#pragma once

// The built-in variables every target can read: the operating-system family,
// today's date, the project root, the default output directory and the
// current directory. Most are "?=", so a project or the command line may set
// its own value; project_root and output_def_dir are plain "=".

#include <ctime>
#include <filesystem>
#include <vector>

#include "types/context.h"

// Adds the variables to `context`, the date taken from `now` in the local
// time zone.
void addBuiltinVariables(Tolm::Context& context, const std::filesystem::path& projectRoot, std::time_t now);

// The date variables (year, month, day) among the built-in ones, as they
// were set.
std::vector<Tolm::Assignment> builtinDateVariables(const Tolm::Context& builtins);
