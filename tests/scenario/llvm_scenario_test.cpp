// The llvm-clang tool type through the real binary with this machine's LLVM
// toolchain: toolchain detection into the registry and its use by a later
// run.

#include <sstream>
#include <string>

#include "scenario/tolm_scenario.h"
#include "tools/llvm/llvm_finder.h"
#include "tools/probe.h"

namespace {

namespace fs = std::filesystem;
using Scenario::RunResult;

// What /usr/bin/<tool> prints for the arguments; empty when it fails.
std::string ask(const char* tool, const char* arguments)
{
    const CommandOutput answer = captureCommandOutput(fs::path("/usr/bin") / tool, arguments);
    return answer.exitStatus == 0 ? answer.output.string() : std::string();
}

class LLVMScenario : public TolmScenario {
protected:
    void SetUp() override
    {
        for (const char* tool : {"clang", "clang++", "llvm-ar", "llvm-objcopy", "ld.lld"})
            if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
        write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } }\n");
        write("tolm.txt", "unit app\nmain: { }\n");
    }
};

// "--find-compilers" writes one definition for the gcc and one for the clang
// of /usr/bin, named and filled from what they report; a later run reads it
// back and makes the LLVM tool from it.
TEST_F(LLVMScenario, FindCompilersStoresThisMachinesToolchains)
{
    const std::string machine = ask("gcc", "-dumpmachine");
    const std::string gccVersion = ask("gcc", "-dumpfullversion");
    const std::string clangVersion = ask("clang", "-dumpversion");
    const std::string triple = ask("clang", "-print-target-triple");
    if (machine.empty() || gccVersion.empty() || clangVersion.empty() || triple.empty())
        GTEST_SKIP() << "gcc or clang in /usr/bin does not answer";
    std::vector<std::string> pieces;
    std::istringstream machinePieces(machine);
    for (std::string piece; std::getline(machinePieces, piece, '-');) pieces.push_back(piece);
    pieces.resize(std::max<std::size_t>(pieces.size(), 3));
    const TargetTriple target = parseTargetTriple(triple);

    const RunResult run = tolm({"--find-compilers"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Updated file '" + registryFile().string() + "'.\n");
    EXPECT_EQ(contentOf(registryFile()),
              "tools {\n"
              "  default_gnu_" + sanitizeToolchainName(pieces[0]) + "_" + sanitizeToolchainName(gccVersion) + " {\n"
              "    tool_type = \"gnu-gcc\"\n"
              "    toolchain_version = \"" + gccVersion + "\"\n"
              "    prefix = \"" + machine + "\"\n"
              "    arch = \"" + pieces[0] + "\"\n"
              "    os = \"" + pieces[1] + "\"\n"
              "    abi = \"" + pieces[2] + "\"\n"
              "    toolchain_path = \"/usr/bin\"\n"
              "  }\n"
              "  default_llvm_" + sanitizeToolchainName(triple) + "_" + sanitizeToolchainName(clangVersion) + " {\n"
              "    tool_type = \"llvm-clang\"\n"
              "    toolchain_version = \"" + clangVersion + "\"\n"
              "    TOOLCHAIN_TRIPLET = \"" + triple + "\"\n"
              "    arch = \"" + target.arch + "\"\n"
              "    vendor = \"" + target.vendor + "\"\n"
              "    os = \"" + target.os + "\"\n"
              "    abi = \"" + target.abi + "\"\n"
              "    toolchain_path = \"/usr/bin\"\n"
              "  }\n"
              "}\n");

    const RunResult later = tolm({"-v", "1", "-u"});
    EXPECT_EQ(later.exitCode, 0);
    EXPECT_TRUE(hasLine(later.out, "LLVM compiler at /usr/bin/clang added.\n") ||
                hasLine(later.out, "LLVM compiler at /usr/bin/clang-" + clangVersion.substr(0, clangVersion.find('.')) +
                                       " added.\n"))
        << later.out;
    EXPECT_EQ(later.out.find("default_llvm_"), std::string::npos) << later.out;
}

}  // namespace
