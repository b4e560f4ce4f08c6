// Detection of installed toolchains: the definitions made from stand-ins in
// scratch directories. The machine's own compilers are checked through the
// program's --find-compilers.

#include <gtest/gtest.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/fake_tool.h"
#include "tools/toolchain_detection.h"
#include "types/context_template.h"

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::vector<std::pair<std::string, std::string>>>;

// Every definition as its assignments (name, value text), checking that each
// is a plain '=' assignment of a text.
Entries entriesOf(const std::vector<std::shared_ptr<Tolm::ContextTemplate>>& definitions)
{
    Entries entries;
    for (const auto& definition : definitions) {
        EXPECT_TRUE(definition->conditions.empty());
        auto& entry = entries.emplace_back();
        for (const Tolm::Assignment& a : definition->assignments) {
            EXPECT_EQ(a.type, Tolm::Assignment::AssignType::Set) << a.name;
            EXPECT_EQ(a.modifier, 0u) << a.name;
            entry.emplace_back(a.name, a.value ? a.value->toString() : "<none>");
        }
    }
    return entries;
}

void writeClangToolchain(const ScratchDir& dir, const std::string& bin, const std::string& version,
                         const std::string& triple)
{
    FakeTool::clang(dir.path() / bin / "clang", version, triple);
    for (const char* companion : {"clang++", "llvm-ar", "llvm-objcopy", "ld.lld"})
        dir.write(fs::path(bin) / companion, "");
}

// GNU toolchains come first, then LLVM ones; the same clang reached through
// two roots gives one definition, and names are made safe.
TEST(DetectToolchains, DescribesEveryToolchainOnce)
{
    ScratchDir dir;
    FakeTool::gnuCompiler(dir.path() / "gnu" / "bin" / "gcc", "x86_64-linux-gnu", "12.2.0");
    writeClangToolchain(dir, "llvm/bin", "17.0.6+git", "armv7.1-unknown-linux-gnueabihf-x");
    fs::create_directory_symlink(dir.path() / "llvm" / "bin", dir.path() / "again");

    const auto definitions = detectToolchains(
        {{dir.path() / "gnu", dir.path() / "missing"}, {dir.path() / "llvm", dir.path() / "again", dir.path()}});
    const std::string gnuBin = (dir.path() / "gnu" / "bin").string();
    const std::string llvmBin = (dir.path() / "llvm" / "bin").string();
    EXPECT_EQ(entriesOf(definitions),
              (Entries{
                  {{"toolchain_name", "default_gnu_x86_64_12_2_0"}, {"tool_type", "gnu-gcc"},
                   {"toolchain_version", "12.2.0"}, {"prefix", "x86_64-linux-gnu"}, {"arch", "x86_64"},
                   {"os", "linux"}, {"abi", "gnu"}, {"toolchain_path", gnuBin}},
                  {{"toolchain_name", "default_llvm_armv7_1-unknown-linux-gnueabihf-x_17_0_6_git"},
                   {"tool_type", "llvm-clang"}, {"toolchain_version", "17.0.6+git"},
                   {"TOOLCHAIN_TRIPLET", "armv7.1-unknown-linux-gnueabihf-x"}, {"arch", "armv7.1"},
                   {"vendor", "unknown"}, {"os", "linux"}, {"abi", "gnueabihf-x"}, {"toolchain_path", llvmBin}},
              }));
    EXPECT_TRUE(detectToolchains({}).empty());
}

// Two toolchains that would get the same registry name: the first is kept,
// and the second is named in a warning instead of replacing it.
TEST(DetectToolchains, KeepsTheFirstOfTwoToolchainsWithOneName)
{
    ScratchDir dir;
    FakeTool::gnuCompiler(dir.path() / "one" / "bin" / "gcc", "x86_64-linux-gnu", "12.2.0");
    FakeTool::gnuCompiler(dir.path() / "two" / "bin" / "gcc", "x86_64-pc-linux-gnu", "12.2.0");
    FakeTool::gnuCompiler(dir.path() / "two" / "bin" / "aarch64-linux-gnu-gcc", "aarch64-linux-gnu", "12.2.0");
    writeClangToolchain(dir, "llvm1/bin", "14.0.6", "x86_64-pc-linux-gnu");
    writeClangToolchain(dir, "llvm2/bin", "14.0.6", "X86_64-PC-LINUX-GNU");

    TestSupport::LogCapture log(6);
    const auto definitions =
        detectToolchains({{dir.path() / "one", dir.path() / "two"}, {dir.path() / "llvm1", dir.path() / "llvm2"}});
    const std::string printed = log.text();

    std::vector<std::string> kept;
    for (const auto& entry : entriesOf(definitions)) kept.push_back(entry.at(0).second + " " + entry.back().second);
    const std::string d = dir.path().string();
    EXPECT_EQ(kept, (std::vector<std::string>{
                        "default_gnu_x86_64_12_2_0 " + d + "/one/bin",
                        "default_gnu_aarch64_12_2_0 " + d + "/two/bin",
                        "default_llvm_x86_64-pc-linux-gnu_14_0_6 " + d + "/llvm1/bin",
                    }));
    EXPECT_EQ(printed, "Toolchain 'default_gnu_x86_64_12_2_0' found at '" + d +
                           "/two/bin' is not stored: the toolchain at '" + d +
                           "/one/bin' has the same name and is kept.\n"
                           "Toolchain 'default_llvm_X86_64-PC-LINUX-GNU_14_0_6' found at '" + d +
                           "/llvm2/bin' is not stored: the toolchain at '" + d +
                           "/llvm1/bin' has the same name and is kept.\n");
}

}  // namespace
