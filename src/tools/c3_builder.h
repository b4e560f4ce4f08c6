#pragma once
// The C3 compiler tool: one C3 target is one recipe and one c3c command.
//
// The output selectors EXE, STATIC, DLL and SO (only their presence counts)
// and the presence of C3_TEST_FILES choose the c3c subcommand. Options stand
// before the subcommand and the source files after it; the command runs in
// the output directory, so a relative output name names a file there. The
// output file reaches dependent targets as binary/binary_name plus one pair
// named after its kind (exe, lib, dll or so).

#include <string>
#include <vector>

#include "tools/c_builder.h"
#include "tools/probe.h"

namespace Tolm {

class C3Builder : public CBuilder {
public:
    enum OutputKind : int {
        Executable = 0,
        StaticLibrary = 1,
        Dll = 2,
        SharedObject = 3,
    };

    // The subjects and variable table are those of c3BuilderSubjects and
    // c3BuilderVariables; the toolchain is the one the matcher chose.
    C3Builder(NameMap matchSubjects, ToolVariableMap toolVariables, ToolchainPaths toolchain);

    std::string name() const override;  // "c3c"
    Context createOutputContext(Context& job, int exitCode) override;
    // Possible when the target sets C3_FILES, C3C_FILES or C3_TEST_FILES.
    MatchResult matchTarget(const Context& target) const override;
    // The CBuilder commands with the toolchain directory in front of PATH.
    std::vector<Command> createCommands(Context& job) override;
    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    // Exactly one line.
    std::vector<std::string> buildCommandLines(const std::string& targetName, Context& job) override;
    // "c3c-" and the version, e.g. c3c-0.7.0.
    std::string toolchainId() const override;

    // Throws TolmException for two or more selectors, or test files with a
    // library selector.
    static void checkOutputSelectors(const Context& context);
    static OutputKind outputKind(const Context& context);
    // OUTPUT_NAME's text, or the fallback when absent or without value; no
    // extension is added.
    static std::string outputBaseName(const Context& context, const std::string& fallback);

    const ToolchainPaths& toolchain() const { return toolchain_; }
    std::string program() const override { return toolchain_.executable.string(); }

private:
    ToolchainPaths toolchain_;
};

// The C3 tool's match subjects and variable table.
const NameMap& c3BuilderSubjects();
const ToolVariableMap& c3BuilderVariables();

}  // namespace Tolm
