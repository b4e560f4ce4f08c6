#pragma once
// The shared base of the five LLVM tools: clang, clang++, llvm-ar, the linker
// (ld.lld, or lld-link for the MSVC flavour of Windows) and llvm-objcopy.
//
// Each tool holds its own copy of the toolchain the matcher found and the
// path of the program it runs. The toolchain's target triple decides the
// platform conventions: it names the output directory (so toolchains for
// other targets never share one), and its os and abi choose the default file
// extensions and, for the linker, the command-line dialect. Every command
// gets the toolchain's bin directory on PATH, so programs the compiler starts
// by name (the linker) come from the same toolchain.
//
// The tools keep no per-build state beyond the CBuilder's; everything here
// runs on the main thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/c_builder.h"
#include "tools/llvm/llvm_finder.h"

namespace Tolm {

class LLVMTool : public CBuilder {
public:
    LLVMTool(NameMap matchSubjects, ToolVariableMap toolVariables, LLVMToolchainInfo toolchain,
             std::filesystem::path executable);

    // The executable's file name, e.g. clang++ or llvm-ar.exe.
    std::string name() const override;
    // The CBuilder commands, each with the toolchain's bin directory last on
    // its PATH list (none when that directory is empty).
    std::vector<Command> createCommands(Context& job) override;
    // The toolchain's whole target triple.
    std::string toolchainId() const override;
    // SO, SHARED or DLL (llvmAsksForSharedLibrary).
    bool readSharedRequest(const Context& target) const override;

    const LLVMToolchainInfo& toolchain() const { return toolchain_; }
    const std::filesystem::path& executable() const { return executable_; }
    std::string program() const override { return executable_.string(); }

protected:
    bool windows() const;
    bool msvc() const;
    // The executable's path between double quotes: how every line starts.
    std::string quotedExecutable() const;
    // The base with ".exe" added on Windows when it has no extension.
    std::string defaultBinaryName(const std::string& base) const;
    // The base with ".dll" (Windows) or ".so" added when it has no extension.
    std::string sharedLibraryName(const std::string& base) const;
    // The output pair of a shared library: DLL on Windows, SO elsewhere.
    const char* sharedPathVariable() const;
    const char* sharedNameVariable() const;

    // What the two compilers share; C++ files are named on the line only
    // with `withCppFiles`. A linked target that asks for a shared library
    // (SO, SHARED or DLL, decided as c_builder.h says) is linked with -shared
    // and named and exported as the linker's own shared link does.
    RecipeSet createCompilerRecipes(const TargetContext& target) const;
    std::int64_t compileOnlyJobLimit(const TargetContext& target) const;
    std::string buildClangCommand(const std::string& targetName, const Context& job, bool withCppFiles) const;
    Context declareCompilerOutputs(const Context& job) const;
    // The file a compiler's link writes: OUTPUT_NAME when the context holds
    // it, else the target's name as a program or as a shared library.
    std::string linkedFileName(const std::string& targetName, const Context& context) const;
    // Whether a compiler's job links a shared library: it asks for one and
    // does not compile only.
    bool linksShared(const Context& context) const;

private:
    LLVMToolchainInfo toolchain_;
    std::filesystem::path executable_;
};

// The name with the extension added when it has none (app -> app.exe;
// app.bin stays app.bin).
std::string withDefaultExtension(const std::string& name, const std::string& extension);

// Whether one blank-separated word of the flags is exactly "-c".
bool hasCompileOnlyFlag(const std::string& flags);

// Whether OUTPUT_NAME is set to a value, not as an output variable, and its
// extension is the given one, ignoring letter case.
bool outputNameHasExtension(const Context& context, const std::string& extension);

// Whether the target asks for a shared library: asksForSharedLibrary with SO,
// SHARED and DLL. Only the linker, or a compiler for a target with sources,
// takes it.
bool llvmAsksForSharedLibrary(const Context& target);

// The text of OUTPUT_NAME when the context holds the name (empty without a
// value); the fallback when it does not.
std::string outputNameOr(const Context& context, const std::string& fallback);

}  // namespace Tolm
