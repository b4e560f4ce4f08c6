// Two targets of one run whose outputs name the same file, with the real gcc
// and clang: the run stops before the second one's command, so nothing is
// linked with the wrong object.

#include <filesystem>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

TEST_F(TolmScenario, TwoTargetsWritingOneFileStopTheRun) {
    writeProject("prog: ta tb { C_FILES = P\"(m.c)\" OBJS = ta.objs OUTPUT_DIR = P\"(bin)\" }\n"
                 "ta: { C_FILES = P\"(a/x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n"
                 "tb: { C_FILES = P\"(b/x.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n",
                 "tools {\n  clang { tool_type = \"llvm-clang\" toolchain_path = \"/usr/bin\" !LLVM }\n"
                 "  gcc { tool_type = \"gnu-gcc\" toolchain_path = \"/usr/bin\" }\n}\n");
    write("a/x.c", "int x(void) { return 1; }\n");
    write("b/x.c", "int x(void) { return 2; }\n");
    write("m.c", "int x(void);\nint main(void) { return x(); }\n");
    // Each toolchain twice: ta built by it, then found up to date.
    int builtByTheRightCompiler = 0;
    for (const std::string compiler : {"gcc", "gcc", "clang", "clang"}) {
        const RunResult result = tolm(compiler == "clang" ? Words{"LLVM"} : Words{});
        builtByTheRightCompiler += result.out.find(compiler + "\" ") != std::string::npos;
        EXPECT_EQ(result.exitCode, 1) << result.out;
        EXPECT_TRUE(hasLine(result.out, "Error: Targets 'app::ta' and 'app::tb' would both write '" + at("obj/x.o") +
                                            "'; give one of them another output.\n"))
            << result.out;
        EXPECT_EQ(result.out.find("b/x.c"), std::string::npos) << result.out;
        EXPECT_FALSE(std::filesystem::exists(at("bin/prog")));
    }
    EXPECT_EQ(builtByTheRightCompiler, 2);
}

}  // namespace
