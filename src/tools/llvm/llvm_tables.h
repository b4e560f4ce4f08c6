#pragma once
// The static tables of the "llvm-clang" tool type: the matcher's variables
// and, per tool, the variables that make it applicable (match subjects) and
// the variables it understands with their score weights.
//
// Each table is a function-local static built on first use, so the
// registration can build them before main without depending on the order in
// which the program's static objects are constructed.

#include "tools/builder.h"

namespace Tolm {

struct LLVMToolTable {
    NameMap matchSubjects;
    ToolVariableMap variables;
};

// The toolchain wants and the LLVM/CLANG markers a target may set.
const NameMap& llvmIdentityNames();

const LLVMToolTable& llvmClangTable();
const LLVMToolTable& llvmClangppTable();
const LLVMToolTable& llvmArTable();
const LLVMToolTable& llvmLdTable();
const LLVMToolTable& llvmObjcopyTable();

}  // namespace Tolm
