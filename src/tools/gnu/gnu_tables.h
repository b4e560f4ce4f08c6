#pragma once
// The fixed tables of the "gnu-gcc" tool type: the matcher's base variables
// and, per tool, its executable name, match subjects and variable table.
// Built on first use (the registration runs before main) and read-only after.

#include <array>
#include <string>

#include "tools/builder.h"

namespace Tolm {

struct GNUToolTable {
    std::string executable;  // gcc, g++, ar, ld, objcopy
    NameMap matchSubjects;
    ToolVariableMap variables;
};

// The index of each tool in gnuToolTables() and in a GNU matcher's tools.
enum GNUToolIndex : std::size_t { GccTool = 0, GppTool = 1, ArTool = 2, LdTool = 3, ObjcopyTool = 4 };

// GNU, toolchain_path, toolchain_version, toolchain_min_version, arch and
// TOOLCHAIN_TRIPLET, without values: the base variables of every GNU matcher.
const NameMap& gnuIdentityNames();

// The five tools in the order gcc, g++, ar, ld, objcopy.
const std::array<GNUToolTable, 5>& gnuToolTables();

}  // namespace Tolm
