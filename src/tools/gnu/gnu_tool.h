#pragma once
// The shared base of the five tools of one GNU toolchain (gcc, g++, ar, ld,
// objcopy).
//
// Every tool keeps a copy of the toolchain record its matcher chose and the
// path of the one program it runs. The program is found by name in the
// toolchain's bin directory, prefixed form first (x86_64-linux-gnu-ar before
// ar), and only a regular executable file counts: a directory or a plain data
// file of that name is no tool. Commands run with the bin directory in front
// of PATH, so whatever the tool starts by name (as, collect2, ...) comes from
// the same toolchain.

#include <filesystem>
#include <string>
#include <vector>

#include "tools/c_builder.h"
#include "tools/gnu/gnu_finder.h"

namespace Tolm {

class GNUTool : public CBuilder {
public:
    GNUTool(NameMap matchSubjects, ToolVariableMap toolVariables, GNUToolchainInfo toolchain,
            std::filesystem::path executable);

    // The first regular executable file of: prefix-tool, prefix-tool.exe,
    // tool, tool.exe in the bin directory; empty when there is none.
    static std::filesystem::path toolPath(const std::filesystem::path& binDirectory, const std::string& prefix,
                                          const std::string& tool);

    // The executable's file name, e.g. x86_64-linux-gnu-gcc.
    std::string name() const override;
    // The CBuilder commands with the toolchain directory in front of PATH.
    std::vector<Command> createCommands(Context& job) override;
    // arch-os-abi, both dashes always written: x86_64-linux-gnu, x86_64--gnu.
    std::string toolchainId() const override;
    // SO or SHARED (gnuAsksForSharedObject).
    bool readSharedRequest(const Context& target) const override;

    const GNUToolchainInfo& toolchain() const { return toolchain_; }
    const std::filesystem::path& executable() const { return executable_; }
    std::string program() const override { return executable_.string(); }

protected:
    // The executable between double quotes: the first piece of every line.
    std::string quotedExecutable() const;
    // The output name, or the fallback when it is empty.
    static std::string outputNameOr(const std::string& outputName, const std::string& fallback);
    // The output name, or for an empty one the target's name with its
    // extension replaced (x.so for a shared object).
    static std::string fileNameOr(const std::string& outputName, const std::string& targetName,
                                  const std::string& extension);

private:
    GNUToolchainInfo toolchain_;
    std::filesystem::path executable_;
};

// Whether the target asks for a shared object: asksForSharedLibrary with SO
// and SHARED. Only ld, or a compiler for a target with sources, takes it.
bool gnuAsksForSharedObject(const Context& target);

// Whether the flags ask for compiling only: `-c` is one of their
// blank-separated words. -fno-common or -I/opt/x-c are not.
bool gnuHasCompileOnlyFlag(const std::string& flags);

}  // namespace Tolm
