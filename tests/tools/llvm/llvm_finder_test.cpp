// The LLVM toolchain search against stand-in clangs in scratch directories,
// and the numeric version rules it filters by.

#include <gtest/gtest.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/fake_tool.h"
#include "tools/llvm/llvm_finder.h"
#include "tools/probe_batch.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::failureOf;
using TestSupport::set;
using TestSupport::str;

// A complete toolchain in `directory`: clang<suffix> and its companions.
void writeToolchain(const ScratchDir& dir, const fs::path& directory, const std::string& suffix,
                    const std::string& version, const std::string& triple, const fs::path& log = {})
{
    FakeTool::clang(directory / ("clang" + suffix), version, triple, log);
    for (const char* companion : {"clang++", "llvm-ar", "llvm-objcopy", "ld.lld"})
        dir.write(fs::relative(directory / (companion + suffix), dir.path()), "");
}

std::string describe(const LLVMToolchainInfo& t)
{
    return t.version + "|" + t.target.text + "|" + t.binDirectory.filename().string() + "|" +
           t.clang.filename().string() + "|" + t.linker.filename().string();
}

std::vector<std::string> search(const LLVMWants& wants, const fs::path& root)
{
    std::vector<std::string> found;
    for (const LLVMToolchainInfo& t : LLVMFinder::searchRoot(wants, root)) found.push_back(describe(t));
    return found;
}

// Pieces by position, whatever they name; the OS piece decides Windows, the ABI piece MSVC.
TEST(TargetTriple, SplitsByPosition)
{
    const std::pair<const char*, const char*> cases[] = {
        {"x86_64-pc-linux-gnu", "x86_64|pc|linux|gnu"},
        {"x86_64-linux-gnu", "x86_64|linux|gnu|"},
        {"x86_64-pc-windows-msvc-coff", "x86_64|pc|windows|msvc-coff windows msvc"},
        {"x86_64-w64-windows-gnu", "x86_64|w64|windows|gnu windows"},
        {"i686-pc-Win32-MSVC", "i686|pc|Win32|MSVC windows msvc"},
        {"aarch64--linux-", "aarch64||linux|"},
        {"arm", "arm|||"},
        {"", "|||"},
    };
    for (const auto& [text, expected] : cases) {
        const TargetTriple triple = parseTargetTriple(text);
        EXPECT_EQ(triple.text, text);
        EXPECT_EQ(triple.arch + "|" + triple.vendor + "|" + triple.os + "|" + triple.abi +
                      (isWindowsToolchain(triple) ? " windows" : "") + (isMsvcToolchain(triple) ? " msvc" : ""),
                  expected)
            << text;
    }
}

// Leading numbers count; a number too large to hold makes the version
// incomparable, so it neither satisfies nor equals nor wins.
TEST(NumericVersion, ComparesLeadingNumbers)
{
    using Parts = std::vector<std::uint32_t>;
    const std::pair<const char*, std::optional<Parts>> splits[] = {
        {"18rc.x. 3.-1", Parts{18, 0, 0, 0}},
        {"4294967295", Parts{4294967295u}},
        {"4294967296", std::nullopt},
    };
    for (const auto& [text, parts] : splits) EXPECT_EQ(splitVersionNumeric(text), parts) << text;

    struct Case {
        const char* a;
        const char* b;
        std::partial_ordering order;
    };
    const Case comparisons[] = {
        {"17.0.6git", "17.0.6", std::partial_ordering::equivalent},
        {"1.2", "1.2.0", std::partial_ordering::equivalent},
        {"1.9", "1.10", std::partial_ordering::less},
        {"1.99999999999", "1.0", std::partial_ordering::unordered},
        {"1.0", "99999999999999999999999", std::partial_ordering::unordered},
    };
    for (const Case& c : comparisons) EXPECT_EQ(compareVersionsNumeric(c.a, c.b), c.order) << c.a << " vs " << c.b;

    struct Minimum {
        const char* version;
        const char* minimum;
        bool satisfied;
    };
    const Minimum minimums[] = {
        {"", "", true},           {"17.0.0", "17", true},         {"16.0.6", "17", false},
        {"99999999999999999999999", "1", false}, {"18", "99999999999999999999999", false}, {"4294967296", "0", true},
    };
    for (const Minimum& m : minimums)
        EXPECT_EQ(versionAtLeast(m.version, m.minimum), m.satisfied) << m.version << " >= " << m.minimum;
}

// The newest toolchain wins, the first among equals; one whose version cannot
// be compared wins only against others like it.
TEST(NumericVersion, ChoosesTheNewestToolchain)
{
    const auto choose = [](const std::vector<const char*>& versions) -> std::string {
        std::vector<LLVMToolchainInfo> found;
        for (std::size_t i = 0; i < versions.size(); ++i) {
            found.emplace_back();
            found.back().version = versions[i];
            found.back().clang = "clang" + std::to_string(i);
        }
        const std::optional<LLVMToolchainInfo> chosen = LLVMFinder::chooseNewest(found);
        return chosen ? chosen->clang.string() : "none";
    };
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{}, "none"},
        {{"17.0.6", "18.1.3"}, "clang1"},
        {{"17.0.6", "17.0.6git", "17"}, "clang0"},
        {{"99999999999.1", "16"}, "clang1"},
        {{"16", "99999999999.1"}, "clang0"},
        {{"99999999999.1", "99999999999.2"}, "clang0"},
    };
    for (const auto& [versions, chosen] : cases) EXPECT_EQ(choose(versions), chosen);
}

// A wanted triple, its name in any case, holds only the characters a triple may hold.
TEST(LLVMWants, ChecksTheTriple)
{
    const auto withTriple = [](const char* triple) {
        std::map<Util::CiString, Tolm::Assignment> variables;
        variables.emplace("toolchain_triplet", set("toolchain_triplet", str(triple)));
        return LLVMWants::fromVariables(variables);
    };
    EXPECT_EQ(withTriple("armv7+a_b.c-x").TOOLCHAIN_TRIPLET, "armv7+a_b.c-x");
    EXPECT_EQ(withTriple("").TOOLCHAIN_TRIPLET, "");

    for (const char* bad : {"x86_64 pc", "a;b", "x/y", "t\xc3\xa9"})
        EXPECT_EQ(failureOf([&] { withTriple(bad); }), "Invalid LLVM TOOLCHAIN_TRIPLET '" + std::string(bad) + "'.");
}

// A clang needs every companion with its own suffix, and the linker its
// triple calls for.
TEST(LLVMSearchRoot, NeedsCompanionsAndTheRightLinker)
{
    ScratchDir dir;
    const fs::path root = dir.path();
    writeToolchain(dir, root / "full" / "bin", "-17", "17.0.6", "x86_64-pc-linux-gnu");
    FakeTool::clang(root / "mixed" / "bin" / "clang-17", "17.0.6", "x86_64-pc-linux-gnu");
    for (const char* companion : {"clang++-17", "llvm-ar", "llvm-objcopy-17", "ld.lld-17"})
        dir.write(fs::path("mixed/bin") / companion, "");
    writeToolchain(dir, root / "msvc" / "bin", "", "18.1.3", "x86_64-pc-windows-msvc");
    writeToolchain(dir, root / "msvclink" / "bin", "", "18.1.3", "x86_64-pc-windows-msvc");
    dir.write("msvclink/bin/lld-link.exe", "");
    writeToolchain(dir, root / "mingw" / "bin", "", "18.1.3", "x86_64-w64-windows-gnu");
    writeToolchain(dir, root / "silent" / "bin", "", "17", "x86_64-pc-linux-gnu");
    FakeTool::write(root / "silent" / "bin" / "clang", {{"-dumpversion", "17"}});  // no triple
    writeToolchain(dir, root / "names" / "bin", "-17.0", "17.0.1", "x86_64-pc-linux-gnu");
    for (const char* name : {"clang++", "clang-cl", "clang-format", "clang17"})
        FakeTool::clang(root / "names" / "bin" / name, "1", "x86_64-pc-linux-gnu");

    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"full", {"17.0.6|x86_64-pc-linux-gnu|bin|clang-17|ld.lld-17"}},
        {"mixed", {}},
        {"msvc", {}},
        {"msvclink", {"18.1.3|x86_64-pc-windows-msvc|bin|clang|lld-link.exe"}},
        {"mingw", {"18.1.3|x86_64-w64-windows-gnu|bin|clang|ld.lld"}},
        {"silent", {}},
        {"names", {"17.0.1|x86_64-pc-linux-gnu|bin|clang-17.0|ld.lld-17.0"}},
        {"missing", {}},
    };
    for (const auto& [sub, found] : cases) EXPECT_EQ(search(LLVMWants{}, root / sub), found) << sub;

    const std::vector<LLVMToolchainInfo> full = LLVMFinder::searchRoot(LLVMWants{}, root / "full");
    ASSERT_EQ(full.size(), 1u);
    const fs::path bin = root / "full" / "bin";
    EXPECT_EQ(full[0].clangxx, bin / "clang++-17");
    EXPECT_EQ(full[0].ar, bin / "llvm-ar-17");
    EXPECT_EQ(full[0].objcopy, bin / "llvm-objcopy-17");
}

// Wanted versions, minimums and an arch filter what is found; version "0" wants any.
TEST(LLVMSearchRoot, AppliesWants)
{
    ScratchDir dir;
    const fs::path log = dir.path() / "probes.log";
    writeToolchain(dir, dir.path() / "a" / "bin", "-16", "16.0.6", "x86_64-pc-linux-gnu");
    writeToolchain(dir, dir.path() / "a" / "bin", "-17", "17.0.6", "x86_64-pc-linux-gnu");
    writeToolchain(dir, dir.path() / "b" / "bin", "", "18.1.3", "aarch64-unknown-linux-gnu");
    writeToolchain(dir, dir.path() / "c" / "bin", "", "17.0.0", "x86_64-pc-linux-gnu");
    // Version and triple are asked at once: each answer waits for both questions.
    FakeTool::write(dir.path() / "c" / "bin" / "clang",
                    {{"-dumpversion", "17.0.0"},
                     {"-print-target-triple", "x86_64-pc-linux-gnu"},
                     {"--target=aarch64-linux-gnu -print-target-triple", "aarch64-unknown-linux-gnu"}},
                    log, 2);

    const auto versionsFound = [&](const LLVMWants& wants) {
        std::vector<std::string> versions;
        for (const LLVMToolchainInfo& t : LLVMFinder::searchRoot(wants, dir.path())) versions.push_back(t.version);
        std::sort(versions.begin(), versions.end());
        return versions;
    };
    const auto with = [](auto change) {
        LLVMWants wants;
        change(wants);
        return wants;
    };
    using Versions = std::vector<std::string>;
    EXPECT_EQ(versionsFound({}), (Versions{"16.0.6", "17.0.0", "17.0.6", "18.1.3"}));
    EXPECT_EQ(versionsFound(with([](LLVMWants& w) { w.toolchain_version = "0"; })),
              (Versions{"16.0.6", "17.0.0", "17.0.6", "18.1.3"}));
    EXPECT_EQ(versionsFound(with([](LLVMWants& w) { w.toolchain_version = "17.0.6"; })), (Versions{"17.0.6"}));
    EXPECT_EQ(versionsFound(with([](LLVMWants& w) { w.toolchain_min_version = "17"; })),
              (Versions{"17.0.0", "17.0.6", "18.1.3"}));
    EXPECT_EQ(versionsFound(with([](LLVMWants& w) { w.arch = "AARCH64"; })), (Versions{"18.1.3"}));

    // A wanted triple is asked of the compiler and kept with the toolchain.
    fs::remove(log);
    const std::vector<LLVMToolchainInfo> targeted =
        LLVMFinder::searchRoot(with([](LLVMWants& w) { w.TOOLCHAIN_TRIPLET = "aarch64-linux-gnu"; }), dir.path() / "c");
    ASSERT_EQ(targeted.size(), 1u);
    EXPECT_EQ(targeted[0].requestedTarget, "aarch64-linux-gnu");
    EXPECT_EQ(targeted[0].target.text, "aarch64-unknown-linux-gnu");
    const std::vector<std::string> probes = FakeTool::logLines(log);
    ASSERT_EQ(probes.size(), 2u);
    EXPECT_TRUE(probes[0].ends_with(" --target=aarch64-linux-gnu -print-target-triple")) << probes[0];
}

// Every clang is asked at once, its version and triple side by side: the first one answers only
// while all six questions run, so it ends last. One whose triple question fails is skipped; the
// results keep search order (bin, usr/bin, then the walk).
TEST(LLVMSearchRoot, AsksEveryClangAtOnceAndKeepsTheOrder)
{
    ScratchDir dir;
    const fs::path log = dir.path() / "probes.log";
    writeToolchain(dir, dir.path() / "bin", "-17", "17.0.6", "x86_64-pc-linux-gnu");
    FakeTool::write(dir.path() / "bin" / "clang-17",
                    {{"-dumpversion", "17.0.6"}, {"-print-target-triple", "x86_64-pc-linux-gnu"}}, log, 6);
    writeToolchain(dir, dir.path() / "usr" / "bin", "", "15.0.7", "x86_64-pc-linux-gnu");
    FakeTool::write(dir.path() / "usr" / "bin" / "clang", {{"-dumpversion", "15.0.7"}}, log);  // names no triple
    writeToolchain(dir, dir.path() / "opt" / "bin", "", "16.0.6", "aarch64-unknown-linux-gnu", log);

    const std::size_t processors = setProbeLimit(8);
    const std::vector<std::string> found = search(LLVMWants{}, dir.path());
    setProbeLimit(processors);
    EXPECT_EQ(found, (std::vector<std::string>{"17.0.6|x86_64-pc-linux-gnu|bin|clang-17|ld.lld-17",
                                               "16.0.6|aarch64-unknown-linux-gnu|bin|clang|ld.lld"}));
    EXPECT_EQ(FakeTool::logLines(log).size(), 6u);
}

// Which directories a root means: a file or link root means its directory
// alone; a bin root is searched itself; the walk does not enter bin
// directories.
TEST(LLVMSearchRoot, ChoosesCandidateDirectories)
{
    ScratchDir dir;
    const fs::path root = dir.path() / "llvm-17";
    writeToolchain(dir, root / "bin", "", "17.0.6", "x86_64-pc-linux-gnu");
    writeToolchain(dir, root / "bin" / "deep" / "bin", "", "1.0", "x86_64-pc-linux-gnu");
    writeToolchain(dir, root / "usr" / "bin", "", "2.0", "x86_64-pc-linux-gnu");
    writeToolchain(dir, root / "lib" / "x" / "BIN", "", "3.0", "x86_64-pc-linux-gnu");
    fs::create_directory_symlink(root, dir.path() / "link");
    writeToolchain(dir, dir.path(), "", "4.0", "x86_64-pc-linux-gnu");  // beside the link

    const auto versions = [](const fs::path& from) {
        std::vector<std::string> found;
        for (const LLVMToolchainInfo& t : LLVMFinder::searchRoot(LLVMWants{}, from)) found.push_back(t.version);
        return found;
    };
    using Versions = std::vector<std::string>;
    EXPECT_EQ(versions(root), (Versions{"17.0.6", "2.0", "3.0"}));
    EXPECT_EQ(versions(root / "bin"), (Versions{"17.0.6", "1.0"}));
    EXPECT_EQ(versions(root / "bin" / "clang"), (Versions{"17.0.6"}));
    EXPECT_EQ(versions(dir.path() / "link"), (Versions{"4.0"}));
}

// A link to an accepted clang is the same toolchain; a link from a directory
// without companions never hides the real one, whichever is listed first.
TEST(LLVMSearchRoot, FindsEachClangOnceWhateverTheOrder)
{
    ScratchDir dir;
    // x/bin comes first: it is root/bin, met before the walk.
    const fs::path first = dir.path() / "first";
    writeToolchain(dir, first / "y" / "bin", "", "14.0.6", "x86_64-pc-linux-gnu");
    fs::create_directories(first / "bin");
    fs::create_symlink(first / "y" / "bin" / "clang", first / "bin" / "clang");
    EXPECT_EQ(search(LLVMWants{}, first), (std::vector<std::string>{"14.0.6|x86_64-pc-linux-gnu|bin|clang|ld.lld"}));
    ASSERT_EQ(LLVMFinder::searchRoot(LLVMWants{}, first).at(0).binDirectory, first / "y" / "bin");

    // The real toolchain comes first: the link elsewhere adds nothing.
    const fs::path second = dir.path() / "second";
    writeToolchain(dir, second / "bin", "", "14.0.6", "x86_64-pc-linux-gnu");
    fs::create_directories(second / "x" / "bin");
    fs::create_symlink(second / "bin" / "clang", second / "x" / "bin" / "clang");
    fs::create_symlink("clang", second / "bin" / "clang-14");
    for (const char* companion : {"clang++-14", "llvm-ar-14", "llvm-objcopy-14", "ld.lld-14"})
        dir.write(fs::path("second/bin") / companion, "");
    const std::vector<LLVMToolchainInfo> found = LLVMFinder::searchRoot(LLVMWants{}, second);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].binDirectory, second / "bin");

    // A link that is asked and refused (its directory has no linker) hands on to the real one.
    const fs::path third = dir.path() / "third";
    writeToolchain(dir, third / "x" / "bin", "", "14.0.6", "x86_64-pc-linux-gnu");
    for (const char* companion : {"clang++", "llvm-ar", "llvm-objcopy"}) dir.write(fs::path("third/bin") / companion, "");
    fs::create_symlink(third / "x" / "bin" / "clang", third / "bin" / "clang");
    ASSERT_EQ(search(LLVMWants{}, third).size(), 1u);
    EXPECT_EQ(LLVMFinder::searchRoot(LLVMWants{}, third).at(0).binDirectory, third / "x" / "bin");
}

}  // namespace
