#include "tools/llvm/llvm_tables.h"

#include "tools/tool_tables.h"

namespace Tolm {

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
        makeToolVariableMap({standardVariable("EXE"), standardVariable("C_FLAGS"), standardVariable("C_FILES"), standardVariable("C_DEFINES"), standardVariable("INCLUDE"),
                             standardVariable("LIB"), selectorVariable("OUTPUT_NAME"), standardVariable("OBJS"), standardVariable("LD_SCRIPT"),
                             standardVariable("LIBPATH"), standardVariable("LINK_FLAGS")}),
    };
    return table;
}

const LLVMToolTable& llvmClangppTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"CPP_FILES", nullptr}}),
        makeToolVariableMap({standardVariable("EXE"), standardVariable("C_FLAGS"), standardVariable("C_FILES"), standardVariable("CPP_FILES"), standardVariable("C_DEFINES"),
                             standardVariable("INCLUDE"), standardVariable("LIB"), selectorVariable("OUTPUT_NAME"), standardVariable("OBJS"),
                             standardVariable("LD_SCRIPT"), standardVariable("LIBPATH"), standardVariable("LINK_FLAGS")}),
    };
    return table;
}

const LLVMToolTable& llvmArTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"OBJS", nullptr}}),
        makeToolVariableMap({selectorVariable("STATIC"), standardVariable("AR"), standardVariable("LIB"), selectorVariable("OUTPUT_NAME"), standardVariable("OBJS")}),
    };
    return table;
}

const LLVMToolTable& llvmLdTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"OBJS", nullptr}}),
        makeToolVariableMap({standardVariable("LD"), standardVariable("SO"), standardVariable("DLL"), standardVariable("KO"), standardVariable("SHARED"), standardVariable("OBJS"),
                             standardVariable("LIB"), standardVariable("LIBPATH"), standardVariable("LINK_FLAGS"), standardVariable("LD_SCRIPT")}),
    };
    return table;
}

const LLVMToolTable& llvmObjcopyTable()
{
    static const LLVMToolTable table{
        makeAssignmentMap({{"INPUT", nullptr}}),
        makeToolVariableMap({standardVariable("OBJCOPY"), standardVariable("INPUT"), standardVariable("OBJCOPY_FLAGS"), standardVariable("OUTPUT_NAME")}),
    };
    return table;
}

}  // namespace Tolm
