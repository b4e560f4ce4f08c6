#include "tools/gnu/gnu_tables.h"

#include "tools/tool_tables.h"

namespace Tolm {

const NameMap& gnuIdentityNames()
{
    static const NameMap table = makeAssignmentMap({{"GNU", nullptr},
                                                    {"toolchain_path", nullptr},
                                                    {"toolchain_version", nullptr},
                                                    {"toolchain_min_version", nullptr},
                                                    {"arch", nullptr},
                                                    {"TOOLCHAIN_TRIPLET", nullptr}});
    return table;
}

const std::array<GNUToolTable, 5>& gnuToolTables()
{
    static const std::array<GNUToolTable, 5> tables{{
        {"gcc", makeAssignmentMap({{"C_FILES", nullptr}, {"OBJS", nullptr}}),
         makeToolVariableMap({standardVariable("GCC"), standardVariable("EXE"), standardVariable("C_FLAGS"), standardVariable("C_FILES"), standardVariable("C_DEFINES"),
                              standardVariable("INCLUDE"), standardVariable("LIB"), selectorVariable("OUTPUT_NAME"), standardVariable("OBJS"),
                              standardVariable("LD_SCRIPT"), standardVariable("LIBPATH"), standardVariable("LINK_FLAGS")})},
        {"g++", makeAssignmentMap({{"CPP_FILES", nullptr}, {"OBJS", nullptr}}),
         makeToolVariableMap({standardVariable("GPP"), standardVariable("EXE"), standardVariable("C_FLAGS"), standardVariable("C_FILES"), standardVariable("CPP_FILES"),
                              standardVariable("C_DEFINES"), standardVariable("INCLUDE"), standardVariable("LIB"), selectorVariable("OUTPUT_NAME"),
                              standardVariable("OBJS"), standardVariable("LD_SCRIPT"), standardVariable("LIBPATH"), standardVariable("LINK_FLAGS")})},
        {"ar", makeAssignmentMap({{"OBJS", nullptr}}),
         makeToolVariableMap({selectorVariable("STATIC"), standardVariable("AR"), standardVariable("LIB"), selectorVariable("OUTPUT_NAME"), standardVariable("OBJS")})},
        {"ld", makeAssignmentMap({{"OBJS", nullptr}}),
         makeToolVariableMap({standardVariable("LD"), standardVariable("SO"), standardVariable("KO"), standardVariable("SHARED"), standardVariable("OBJS"), standardVariable("LIB"),
                              standardVariable("LIBPATH"), standardVariable("LINK_FLAGS"), standardVariable("LD_SCRIPT")})},
        {"objcopy", makeAssignmentMap({{"INPUT", nullptr}}),
         makeToolVariableMap({standardVariable("OBJCOPY"), standardVariable("INPUT"), standardVariable("OBJCOPY_FLAGS"), standardVariable("OUTPUT_NAME")})},
    }};
    return tables;
}

}  // namespace Tolm
