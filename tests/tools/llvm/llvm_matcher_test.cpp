// The "llvm-clang" tool type against stand-in toolchains in scratch
// directories: what its factory refuses, which toolchain it keeps, and which
// targets it takes with which of its tools.

#include <gtest/gtest.h>

#include <algorithm>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/fake_tool.h"
#include "tools/llvm/llvm_matcher.h"
#include "tools/llvm/llvm_test_support.h"

namespace Tolm {
namespace {

namespace fs = std::filesystem;
using LLVMTestSupport::targetOf;
using TestSupport::failureOf;

// clang<suffix> answering for its version and triple (and the extra probes),
// with every companion; each name in `dangling` is a link to nothing.
void writeToolchain(const fs::path& bin, const std::string& suffix, const std::string& version,
                    const std::string& triple, std::map<std::string, std::string> answers = {},
                    const std::vector<std::string>& dangling = {}, const fs::path& log = {})
{
    answers.emplace("-dumpversion", version);
    answers.emplace("-print-target-triple", triple);
    FakeTool::write(bin / ("clang" + suffix), answers, log);
    for (const char* companion : {"clang++", "llvm-ar", "llvm-objcopy", "ld.lld", "lld-link"}) {
        const fs::path file = bin / (companion + suffix);
        if (std::find(dangling.begin(), dangling.end(), companion) != dangling.end())
            fs::create_symlink(bin / "nowhere", file);
        else
            FakeTool::writeExecutable(file, "#!/bin/sh\n");
    }
}

// A matcher made through the registry, as tool set-up makes it, from the
// definition's lines (a "!" line goes to the required variables).
std::unique_ptr<Matcher> create(const std::vector<std::string>& lines)
{
    NameMap variables;
    NameMap required;
    for (const std::string& line : lines) {
        if (line.front() != '!') {
            const Assignment assignment = parseAssignment(line, "/");
            variables.insert_or_assign(assignment.name, assignment);
            continue;
        }
        Assignment assignment = parseAssignment(line.substr(1), "/");
        assignment.modifier = Assignment::RequiredModifier;
        required.insert_or_assign(assignment.name, assignment);
    }
    return std::unique_ptr<Matcher>(Matcher::create("LLVM-Clang", "llvm", variables, required));
}

std::string pathLine(const fs::path& path) { return "toolchain_path = \"" + path.string() + "\""; }

// Every way a definition can fail, with the exact message; an invalid triple
// fails before anything is probed.
TEST(LLVMMatcherTest, FactoryFailures)
{
    const ScratchDir dir;
    const fs::path log = dir.path() / "probes.log";
    writeToolchain(dir.path() / "ok/bin", "-17", "17.0.6", "x86_64-pc-linux-gnu", {}, {}, log);
    writeToolchain(dir.path() / "noar/bin", "", "17.0.6", "x86_64-pc-linux-gnu", {}, {"llvm-ar"});
    writeToolchain(dir.path() / "msvc/bin", "", "17.0.6", "x86_64-pc-windows-msvc", {}, {"lld-link"});
    writeToolchain(dir.path() / "gnu/bin", "", "17.0.6", "x86_64-pc-linux-gnu", {}, {"ld.lld"});
    fs::create_directories(dir.path() / "empty");

    const struct {
        std::vector<std::string> lines;
        std::string expected;
    } cases[] = {
        {{}, "LLVMMatcher requires want variable 'toolchain_path'."},
        {{R"(toolchain_path = "")"}, "LLVMMatcher requires want variable 'toolchain_path'."},
        {{"!" + pathLine(dir.path() / "ok")}, "LLVMMatcher requires want variable 'toolchain_path'."},
        {{pathLine(dir.path() / "ok"), R"(TOOLCHAIN_TRIPLET = "x86_64 pc")"},
         "Invalid LLVM TOOLCHAIN_TRIPLET 'x86_64 pc'."},
        {{pathLine(dir.path() / "empty")}, "Couldn't find LLVM toolchain from provided 'wants' variables."},
        {{pathLine(dir.path() / "noar")}, "Required LLVM tool missing: 'llvm-ar'."},
        {{pathLine(dir.path() / "msvc")}, "Required LLVM tool missing: 'lld-link'."},
        {{pathLine(dir.path() / "gnu")}, "Required LLVM tool missing: 'ld.lld'."},
        {{pathLine(dir.path() / "ok"), R"(toolchain_min_version = "99999999999999999999")"},
         "Couldn't find LLVM toolchain from provided 'wants' variables."},
        {{pathLine(dir.path() / "ok"), R"(toolchain_min_version = "17")"}, "no failure"},
    };
    for (const auto& c : cases) {
        fs::remove(log);
        EXPECT_EQ(failureOf([&] { create(c.lines); }), c.expected) << testing::PrintToString(c.lines);
        if (c.expected.rfind("Invalid", 0) == 0) {
            EXPECT_FALSE(fs::exists(log));
        }
    }
}

// Of several toolchains the newest is kept, its clang logged; its five tools
// run the programs of that toolchain, and clones share them.
TEST(LLVMMatcherTest, KeepsTheNewestToolchain)
{
    const ScratchDir dir;
    writeToolchain(dir.path() / "bin", "-16", "16.0.6", "x86_64-pc-linux-gnu");
    writeToolchain(dir.path() / "bin", "-18", "18.1.3", "x86_64-pc-linux-gnu");
    writeToolchain(dir.path() / "llvm-17/bin", "", "17.0.6", "x86_64-pc-linux-gnu");

    TestSupport::LogCapture log(1);
    const auto matcher = create({pathLine(dir.path())});
    ASSERT_NE(matcher, nullptr);
    EXPECT_EQ(log.text(), "LLVM compiler at " + (dir.path() / "bin/clang-18").string() + " added.\n");

    auto& llvm = dynamic_cast<LLVMMatcher&>(*matcher);
    EXPECT_EQ(llvm.toolchain().version, "18.1.3");
    std::string names;
    for (const auto& tool : llvm.tools()) names += tool->name() + " ";
    EXPECT_EQ(names, "clang-18 clang++-18 llvm-ar-18 ld.lld-18 llvm-objcopy-18 ");

    const std::unique_ptr<Matcher> copy = matcher->clone();
    EXPECT_EQ(dynamic_cast<LLVMMatcher&>(*copy).tools(), llvm.tools());
    EXPECT_EQ(copy->name, "llvm");

    const auto older = create({pathLine(dir.path()), R"(toolchain_version = "16.0.6")"});
    EXPECT_EQ(dynamic_cast<LLVMMatcher&>(*older).toolchain().version, "16.0.6");
}

// Paths found on disk are probed as they are, never through a shell: a
// directory name full of shell syntax is just a name.
TEST(LLVMMatcherTest, ProbesNeverGoThroughTheShell)
{
    const ScratchDir dir;
    const fs::path odd = dir.path() / "a'b \"c\" $(touch pwned) `touch pwned2`; x" / "bin";
    writeToolchain(odd, "", "17.0.6", "x86_64-pc-linux-gnu");
    const auto matcher = create({"toolchain_path = P\"(" + odd.string() + ")\""});
    ASSERT_NE(matcher, nullptr);
    EXPECT_EQ(dynamic_cast<LLVMMatcher&>(*matcher).toolchain().clang, odd / "clang");
    for (const char* planted : {"pwned", "pwned2"}) {
        EXPECT_FALSE(fs::exists(planted));
        EXPECT_FALSE(fs::exists(dir.path() / planted));
    }
}

// A target narrows the toolchain with ARCH, TOOLCHAIN_TRIPLET (the one it was
// probed for or the one it printed), toolchain_version and
// toolchain_min_version; then the best-scoring tool that accepts it builds it:
// C to clang, any C++ to clang++, objects to the archiver for a static library
// and to the linker otherwise, INPUT to the copier. Output variables never decide.
TEST(LLVMMatcherTest, MatchesAndSelects)
{
    const ScratchDir dir;
    writeToolchain(dir.path() / "bin", "", "17.0.6", "x86_64-pc-linux-gnu",
                   {{"--target=x86_64-linux-gnu -print-target-triple", "x86_64-unknown-linux-gnu"}});
    const auto matcher = create({pathLine(dir.path() / "bin"), R"(TOOLCHAIN_TRIPLET = "x86_64-linux-gnu")"});
    ASSERT_NE(matcher, nullptr);

    const struct {
        std::vector<std::string> lines;
        const char* selected;  // "" when impossible
    } cases[] = {
        {{R"(C_FILES = "a.c")"}, "clang"},
        {{R"(C_FILES = "a.c")", R"(CPP_FILES = ["b.cpp"])"}, "clang++"},
        {{R"(C_FILES = "a.c")", R"(^CPP_FILES = "b.cpp")"}, "clang"},
        {{R"(^C_FILES = "a.c")"}, ""},
        {{R"(C_FILES = "a.c")", R"(OBJS = ["b.o"])"}, "clang"},
        {{R"(OBJS = ["b.o"])"}, "ld.lld"},
        {{R"(OBJS = ["b.o"])", "STATIC"}, "llvm-ar"},
        {{R"(OBJS = ["b.o"])", R"(AR = "1")"}, "llvm-ar"},
        {{R"(OBJS = ["b.o"])", R"(OUTPUT_NAME = "x.LIB")"}, "llvm-ar"},
        {{R"(OBJS = ["b.o"])", R"(^OUTPUT_NAME = "libx.a")"}, "ld.lld"},
        {{R"(OBJS = ["b.o"])", "^STATIC"}, "ld.lld"},
        {{R"(INPUT = "x.elf")"}, "llvm-objcopy"},
        // A shared library: the linker's, unless the target has sources for a compiler to link.
        {{R"(OBJS = ["b.o"])", "SHARED", R"(C_FLAGS = "-Wall")", R"(OUTPUT_NAME = "libx.so")"}, "ld.lld"},
        {{R"(OBJS = ["b.o"])", "STATIC", "SO"}, "ld.lld"},
        {{R"(OBJS = ["b.o"])", "DLL", R"(OUTPUT_NAME = "x.lib")"}, "ld.lld"},
        {{R"(OBJS = ["b.o"])", "SO", "C_FILES"}, "clang"},
        {{R"(OBJS = ["b.o"])", "SHARED", R"(C_FILES = "a.c")"}, "clang"},
        {{R"(INPUT = "x.elf")", "SHARED"}, ""},
        {{R"(OBJS = ["b.o"])", "STATIC", R"(shared += { LIB = "x" })"}, "llvm-ar"},
        {{R"(CFLAGS = "-O2")"}, ""},
        {{R"(C_FILES = "a.c")", R"(ARCH = "X86_64")"}, "clang"},
        {{R"(C_FILES = "a.c")", "ARCH"}, "clang"},
        {{R"(C_FILES = "a.c")", R"(ARCH = "aarch64")"}, ""},
        {{R"(C_FILES = "a.c")", R"(TOOLCHAIN_TRIPLET = "x86_64-linux-gnu")"}, "clang"},
        {{R"(C_FILES = "a.c")", R"(TOOLCHAIN_TRIPLET = "X86_64-Unknown-Linux-GNU")"}, "clang"},
        {{R"(C_FILES = "a.c")", R"(TOOLCHAIN_TRIPLET = "x86_64-pc-linux-gnu")"}, ""},
        {{R"(C_FILES = "a.c")", R"(toolchain_version = ["16.0.0", ["17.0.6"]])"}, "clang"},
        {{R"(C_FILES = "a.c")", R"(toolchain_version = "17")"}, ""},
        {{R"(C_FILES = "a.c")", "toolchain_version"}, ""},
        {{R"(C_FILES = "a.c")", R"(toolchain_min_version = "17.0")"}, "clang"},
        {{R"(C_FILES = "a.c")", R"(toolchain_min_version = "17.99999999999999999999")"}, ""},
    };
    for (const auto& c : cases) {
        const auto target = targetOf(c.lines);
        const MatchResult result = matcher->match(*target);
        const std::shared_ptr<Builder> builder = matcher->selectBuilder(*target);
        // A refusal carries no scores: none of these targets meets a minimum version.
        EXPECT_EQ(result.possible() ? builder->name() : std::to_string(result.scores.size()),
                  *c.selected ? c.selected : "0")
            << testing::PrintToString(c.lines);
    }
    EXPECT_EQ(matcher->selectBuilder(*targetOf({R"(CFLAGS = "-O2")"})), nullptr);

    // A met minimum version counts as an exact match in the chosen tool's scores;
    // with no tool for the target the matcher's own scores come back, refused.
    const MatchResult taken = matcher->match(*targetOf({R"(C_FILES = "a.c")", R"(toolchain_min_version = "17")"}));
    EXPECT_TRUE(taken.possible());
    EXPECT_EQ(taken.scores.at(Util::CiString("toolchain_min_version")).kind, MatchKind::ExactMatch);
    EXPECT_EQ(taken.scores.at(Util::CiString("C_FILES")).claimed, 1u);

    const MatchResult refused = matcher->match(*targetOf({R"(toolchain_min_version = "17")"}));
    EXPECT_FALSE(refused.possible());
    ASSERT_EQ(refused.scores.size(), 1u);
    EXPECT_EQ(refused.scores.begin()->second.kind, MatchKind::ExactMatch);
}

}  // namespace
}  // namespace Tolm
