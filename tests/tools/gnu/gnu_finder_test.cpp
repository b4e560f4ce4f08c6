// The GNU toolchain search against stand-in compilers in scratch directories.

#include <gtest/gtest.h>

#include <regex>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/fake_tool.h"
#include "tools/gnu/gnu_finder.h"
#include "tools/probe_batch.h"
#include "types/context_template.h"

namespace {

namespace fs = std::filesystem;

// The fields of a toolchain record as one line, for whole-record comparisons.
std::string describe(const GNUToolchainInfo& t)
{
    return t.version + "|" + t.prefix + "|" + t.arch + "|" + t.os + "|" + t.abi + "|" + t.toolchainPath.string() +
           "|" + t.rootPath.string();
}

// Compiler names read as the family's regular expressions read them, version in the name included.
TEST(GNUScanDirectory, CompilerNamesReadAsThePatterns)
{
    const char* names[] = {"gcc", "cc", "gcc-12", "x86_64-linux-gnu-gcc", "arm-none-eabi-gcc-13.2.1", "c99-gcc",
                           "g++", "c++", "g++-12", "x86_64-w64-mingw32-g++", "x-c++-9", "gcc-ar", "gccgo", "c++filt",
                           "x86_64-linux-gnu-gcc-nm-12", "gnatgcc", "xgcc", "-gcc", "--gcc", "a-b-gcc", "gcc-",
                           "gcc-12.", "gcc-.1", "gcc-1..2", "gcc-1.2.3", "gcc-12-13", "x-gcc-12-13", "a\n-gcc",
                           "a\r-gcc", "ab\n-gcc-1", "\n-gcc", "gcc\n", "g++-1.x", "cc-0", "gcc-007", ""};
    for (const std::string family : {"gcc", R"(g\+\+)"}) {
        const std::string pattern = family == "gcc" ? "(?:gcc|cc)" : R"((?:g\+\+|c\+\+))";
        const std::regex whole("^(?:.+-)?" + pattern + R"((?:-[0-9]+(?:\.[0-9]+)*)?$)");
        const std::regex versioned("^(?:.+-)?" + pattern + R"(-([0-9]+(?:\.[0-9]+)*)$)");
        for (const std::string name : names) {
            std::smatch match;
            const std::string version = std::regex_match(name, match, versioned) ? match.str(1) : "";
            const GNUFinder::CompilerName read = GNUFinder::readCompilerName(family, name);
            EXPECT_EQ(read.matches, std::regex_match(name, whole)) << family << " " << name;
            EXPECT_EQ(read.version, read.matches ? version : "") << family << " " << name;
        }
    }
    // Any other family text is a pattern of its own.
    EXPECT_TRUE(GNUFinder::readCompilerName("tcc", "x-tcc-2").matches);
    EXPECT_EQ(GNUFinder::readCompilerName("tcc", "x-tcc-2").version, "2");
    EXPECT_FALSE(GNUFinder::readCompilerName("tcc", "gcc").matches);
}

// The version comes from -dumpfullversion, then -dumpversion (the search's
// test), then the name; a compiler that names an empty machine is no toolchain.
TEST(GNUScanDirectory, VersionFallbacksAndSilentCompilers)
{
    ScratchDir dir;
    FakeTool::write(dir.path() / "b" / "x86_64-linux-gnu-gcc-11", {{"-dumpmachine", "m"}});
    FakeTool::write(dir.path() / "c" / "gcc", {{"-dumpmachine", "m"}});
    FakeTool::write(dir.path() / "d" / "gcc", {{"-dumpmachine", ""}, {"-dumpfullversion", "12"}});
    FakeTool::write(dir.path() / "f" / "gcc", {{"-dumpmachine", "m"}, {"-dumpfullversion", "12.2.0"},
                                              {"-dumpversion", "12"}});

    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"b", {"11"}}, {"c", {""}}, {"d", {}}, {"f", {"12.2.0"}},
    };
    for (const auto& [sub, versions] : cases) {
        std::vector<std::string> found;
        for (const GNUCompilerProbe& probe : GNUFinder::scanDirectory("gcc", dir.path() / sub)) {
            EXPECT_EQ(probe.machine, "m");
            found.push_back(probe.version);
        }
        EXPECT_EQ(found, versions) << sub;
    }
}

// A file is probed once whatever names lead to it, and other names of it
// (gnatgcc linked to gcc) never hide it; compilers of one directory that
// report the same machine and version give one probe.
TEST(GNUScanDirectory, ProbesEachFileOnceAndMergesEqualAnswers)
{
    ScratchDir dir;
    const fs::path bin = dir.path() / "bin";
    const fs::path log = dir.path() / "probes.log";
    FakeTool::gnuCompiler(bin / "gcc", "x86_64-linux-gnu", "12.2.0", log);
    fs::create_symlink("gcc", bin / "cc");
    for (int i = 0; i < 20; ++i) fs::create_symlink("gcc", bin / ("x" + std::to_string(i) + "-gnatgcc"));
    FakeTool::gnuCompiler(bin / "x86_64-linux-gnu-gcc", "x86_64-linux-gnu", "12.2.0", log);

    const std::vector<GNUCompilerProbe> probes = GNUFinder::scanDirectory("gcc", bin);
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0].machine, "x86_64-linux-gnu");
    EXPECT_EQ(probes[0].version, "12.2.0");

    int machineProbes = 0;
    for (const std::string& line : FakeTool::logLines(log)) machineProbes += line.ends_with(" -dumpmachine");
    EXPECT_EQ(machineProbes, 2) << "gcc or cc once, x86_64-linux-gnu-gcc once";
}

TEST(GNUSelectCandidates, SplitsTheTripletAndAppliesWants)
{
    const std::vector<GNUCompilerProbe> probes = {
        {"12.2.0", "x86_64-linux-gnu", "/usr/bin/gcc"},
        {"12", "x86_64-pc-linux-gnu", "/usr/bin/x86_64-pc-linux-gnu-gcc"},
        {"9.4.0", "aarch64-elf", "/opt/a/bin/aarch64-elf-gcc"},
        {"", "arm", "/opt/b/bin/arm-gcc"},
        {"1", "a--b-c-d-", "/x/gcc"},
    };
    {
        std::vector<GNUToolchainInfo> all;
        GNUFinder::selectCandidates(GNUWants{}, "/root", probes, all);
        std::vector<std::string> lines;
        for (const GNUToolchainInfo& t : all) lines.push_back(describe(t));
        EXPECT_EQ(lines, (std::vector<std::string>{
                             "12.2.0|x86_64-linux-gnu|x86_64|linux|gnu|/usr/bin|/root",
                             "12|x86_64-pc-linux-gnu|x86_64|pc|linux|/usr/bin|/root",
                             "9.4.0|aarch64-elf|aarch64|elf||/opt/a/bin|/root",
                             "|arm|arm|||/opt/b/bin|/root",
                             "1|a--b-c-d-|a||b|/x|/root",
                         }));
    }

    struct Case {
        const char* description;
        GNUWants wants;
        std::vector<std::string> versions;
    };
    const auto with = [](auto change) {
        GNUWants wants;
        change(wants);
        return wants;
    };
    const Case cases[] = {
        {"any version", with([](GNUWants& w) { w.toolchain_version = "0"; }), {"12.2.0", "12", "9.4.0", "", "1"}},
        {"exact version", with([](GNUWants& w) { w.toolchain_version = "12.2.0"; }), {"12.2.0"}},
        {"minimum", with([](GNUWants& w) { w.toolchain_min_version = "10"; }), {"12.2.0", "12"}},
        {"minimum 0", with([](GNUWants& w) { w.toolchain_min_version = "0"; }), {"12.2.0", "12", "9.4.0", "", "1"}},
        {"arch any case", with([](GNUWants& w) { w.arch = "X86_64"; }), {"12.2.0", "12"}},
        {"prefix", with([](GNUWants& w) { w.prefix = "X86_64-LINUX-GNU"; }), {"12.2.0"}},
        {"abi of a short triplet", with([](GNUWants& w) { w.abi = "elf"; }), {}},
        {"abi", with([](GNUWants& w) { w.abi = "gnu"; }), {"12.2.0"}},
    };
    for (const Case& c : cases) {
        std::vector<GNUToolchainInfo> kept;
        GNUFinder::selectCandidates(c.wants, "/root", probes, kept);
        std::vector<std::string> versions;
        for (const GNUToolchainInfo& t : kept) versions.push_back(t.version);
        EXPECT_EQ(versions, c.versions) << c.description;
    }
}

// Where a search looks: root/bin, root/usr/bin and every bin below root, or a
// root that is itself a bin directory.
TEST(GNUSearchRoot, FindsToolchainsInBinDirectories)
{
    ScratchDir dir;
    FakeTool::gnuCompiler(dir.path() / "sys" / "usr" / "bin" / "gcc", "x86_64-linux-gnu", "12.2.0");
    FakeTool::gnuCompiler(dir.path() / "opt" / "cross" / "bin" / "arm-none-eabi-gcc", "arm-none-eabi", "13.2.1");
    FakeTool::gnuCompiler(dir.path() / "opt" / "cross" / "bin" / "arm-none-eabi-g++", "arm-none-eabi", "13.2.1");
    FakeTool::gnuCompiler(dir.path() / "cpp" / "bin" / "g++", "x86_64-linux-gnu", "11.4.0");
    dir.write("opt/cross/bin/README", "not a compiler");

    struct Case {
        fs::path root;
        std::vector<std::string> found;
    };
    const std::string d = dir.path().string();
    const Case cases[] = {
        {dir.path() / "sys", {"12.2.0|x86_64-linux-gnu|x86_64|linux|gnu|" + d + "/sys/usr/bin|" + d + "/sys/usr"}},
        {d + "/sys/usr/bin/", {"12.2.0|x86_64-linux-gnu|x86_64|linux|gnu|" + d + "/sys/usr/bin|" + d + "/sys/usr"}},
        {dir.path() / "opt",
         {"13.2.1|arm-none-eabi|arm|none|eabi|" + d + "/opt/cross/bin|" + d + "/opt/cross"}},
        {dir.path() / "cpp", {"11.4.0|x86_64-linux-gnu|x86_64|linux|gnu|" + d + "/cpp/bin|" + d + "/cpp"}},
        {dir.path() / "missing", {}},
        {dir.path() / "opt" / "cross" / "bin" / "README", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> found;
        for (const GNUToolchainInfo& t : GNUFinder::searchRoot(GNUWants{}, c.root)) found.push_back(describe(t));
        EXPECT_EQ(found, c.found) << c.root;
    }
}

// Every compiler is asked at once (the first one answers only while all eight first questions
// run), -dumpversion after the answer it follows, and the results keep search order.
TEST(GNUSearchRoot, AsksEveryCompilerAtOnceAndKeepsTheOrder)
{
    ScratchDir dir;
    const fs::path log = dir.path() / "probes.log";
    FakeTool::write(dir.path() / "bin" / "gcc", {{"-dumpmachine", "x86_64-linux-gnu"}, {"-dumpfullversion", "12.2.0"}},
                    log, 8);
    FakeTool::gnuCompiler(dir.path() / "bin" / "g++", "x86_64-linux-gnu", "12.3.0", log);
    FakeTool::write(dir.path() / "usr" / "bin" / "gcc", {{"-dumpmachine", "arm-eabi"}, {"-dumpversion", "9"}}, log);
    FakeTool::write(dir.path() / "usr" / "bin" / "cc", {{"-dumpfullversion", "1"}}, log);  // names no machine

    const std::size_t processors = setProbeLimit(8);
    std::vector<std::string> found;
    for (const GNUToolchainInfo& t : GNUFinder::searchRoot(GNUWants{}, dir.path())) found.push_back(describe(t));
    setProbeLimit(processors);
    const std::string d = dir.path().string();
    EXPECT_EQ(found, (std::vector<std::string>{"12.2.0|x86_64-linux-gnu|x86_64|linux|gnu|" + d + "/bin|" + d,
                                               "12.3.0|x86_64-linux-gnu|x86_64|linux|gnu|" + d + "/bin|" + d,
                                               "9|arm-eabi|arm|eabi||" + d + "/usr/bin|" + d + "/usr"}));
    EXPECT_EQ(FakeTool::logLines(log).size(), 9u);
}

// One registry definition per toolchain, even when two roots reach it; a compiler that names no
// version is version 0. What each definition holds is the detection test's.
TEST(FindGnuToolchains, MakesOneDefinitionPerToolchain)
{
    ScratchDir dir;
    const fs::path bin = dir.path() / "usr" / "bin";
    FakeTool::gnuCompiler(bin / "gcc", "x86_64-linux-gnu", "12.2.0");
    FakeTool::write(dir.path() / "noversion" / "bin" / "gcc", {{"-dumpmachine", "aarch64-linux-gnu"}});
    fs::create_directories(dir.path() / "usr" / "local");
    fs::create_directory_symlink(bin, dir.path() / "usr" / "local" / "bin");

    std::vector<std::string> found;
    for (const auto& definition : findGnuToolchains(
             {bin, dir.path() / "usr" / "local" / "bin", dir.path() / "missing", dir.path() / "noversion"}))
        found.push_back(definition->assignments.front().value->toString() + " " +
                        definition->assignments.back().value->toString());
    EXPECT_EQ(found, (std::vector<std::string>{"default_gnu_x86_64_12_2_0 " + bin.string(),
                                               "default_gnu_aarch64_0 " + (dir.path() / "noversion" / "bin").string()}));
}

}  // namespace
