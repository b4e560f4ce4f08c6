#include "tools/llvm/llvm_tables.h"

#include "tools/tool_tables.h"

namespace Tolm {

namespace {

// Set without a value, an entry weighted like this adds 5 to the tool's score;
// with a value it adds nothing.
ToolVariableEntry decisive(const char* name) { return makeToolVariableEntry(name, ToolVariable{nullptr, 0, 0, 5}); }

ToolVariableEntry plain(const char* name) { return makeToolVariableEntry(name, nullptr); }

}  // namespace

const NameMap& llvmIdentityNames()
{
    static const NameMap table = makeAssignmentMap({{"LLVM", nullptr},
                                                    {"CLANG", nullptr},
                                                    {"toolchain_path", nullptr},
                                                    {"toolchain_version", nullptr},
                                                    {"toolchain_min_version", nullptr},
                                                    {"arch", nullptr},
                                                    {"TOOLCHAIN_TRIPLET", nullptr}});
    return table;
}

const LLVMToolTable& llvmClangTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"C_FILES", nullptr}}),
        makeToolVariableMap({plain("EXE"), plain("C_FLAGS"), plain("C_FILES"), plain("C_DEFINES"), plain("INCLUDE"),
                             plain("LIB"), decisive("OUTPUT_NAME"), plain("OBJS"), plain("LD_SCRIPT"),
                             plain("LIBPATH"), plain("LINK_FLAGS")}),
    };
    return table;
}

const LLVMToolTable& llvmClangppTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"CPP_FILES", nullptr}}),
        makeToolVariableMap({plain("EXE"), plain("C_FLAGS"), plain("C_FILES"), plain("CPP_FILES"), plain("C_DEFINES"),
                             plain("INCLUDE"), plain("LIB"), decisive("OUTPUT_NAME"), plain("OBJS"),
                             plain("LD_SCRIPT"), plain("LIBPATH"), plain("LINK_FLAGS")}),
    };
    return table;
}

const LLVMToolTable& llvmArTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"OBJS", nullptr}}),
        makeToolVariableMap({decisive("STATIC"), plain("AR"), plain("LIB"), decisive("OUTPUT_NAME"), plain("OBJS")}),
    };
    return table;
}

const LLVMToolTable& llvmLdTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"OBJS", nullptr}}),
        makeToolVariableMap({plain("LD"), plain("SO"), plain("DLL"), plain("KO"), plain("SHARED"), plain("OBJS"),
                             plain("LIB"), plain("LIBPATH"), plain("LINK_FLAGS"), plain("LD_SCRIPT")}),
    };
    return table;
}

const LLVMToolTable& llvmObjcopyTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"INPUT", nullptr}}),
        makeToolVariableMap({plain("OBJCOPY"), plain("INPUT"), plain("OBJCOPY_FLAGS"), plain("OUTPUT_NAME")}),
    };
    return table;
}

}  // namespace Tolm
