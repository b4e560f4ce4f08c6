#include "tools/gnu/gnu_tables.h"

#include "tools/tool_tables.h"

namespace Tolm {

namespace {

// Weights of a selector that counts only when declared without a value.
ToolVariableEntry selector(const char* name) { return makeToolVariableEntry(name, ToolVariable{nullptr, 0, 0, 5}); }

ToolVariableEntry plain(const char* name) { return makeToolVariableEntry(name, nullptr); }

}  // namespace

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
         makeToolVariableMap({plain("GCC"), plain("EXE"), plain("C_FLAGS"), plain("C_FILES"), plain("C_DEFINES"),
                              plain("INCLUDE"), plain("LIB"), selector("OUTPUT_NAME"), plain("OBJS"),
                              plain("LD_SCRIPT"), plain("LIBPATH"), plain("LINK_FLAGS")})},
        {"g++", makeAssignmentMap({{"CPP_FILES", nullptr}, {"OBJS", nullptr}}),
         makeToolVariableMap({plain("GPP"), plain("EXE"), plain("C_FLAGS"), plain("C_FILES"), plain("CPP_FILES"),
                              plain("C_DEFINES"), plain("INCLUDE"), plain("LIB"), selector("OUTPUT_NAME"),
                              plain("OBJS"), plain("LD_SCRIPT"), plain("LIBPATH"), plain("LINK_FLAGS")})},
        {"ar", makeAssignmentMap({{"OBJS", nullptr}}),
         makeToolVariableMap({selector("STATIC"), plain("AR"), plain("LIB"), selector("OUTPUT_NAME"), plain("OBJS")})},
        {"ld", makeAssignmentMap({{"OBJS", nullptr}}),
         makeToolVariableMap({plain("LD"), plain("SO"), plain("KO"), plain("SHARED"), plain("OBJS"), plain("LIB"),
                              plain("LIBPATH"), plain("LINK_FLAGS"), plain("LD_SCRIPT")})},
        {"objcopy", makeAssignmentMap({{"INPUT", nullptr}}),
         makeToolVariableMap({plain("OBJCOPY"), plain("INPUT"), plain("OBJCOPY_FLAGS"), plain("OUTPUT_NAME")})},
    }};
    return tables;
}

}  // namespace Tolm
