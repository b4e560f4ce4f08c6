// The "gnu-gcc" tool type against stand-in toolchains in scratch directories:
// the factory's choice and errors, and how a matcher judges targets and picks
// one of its five tools.

#include <gtest/gtest.h>

#include <memory>

#include "parser/parse_assignment.h"
#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/c_builder.h"
#include "tools/gnu/gnu_matcher.h"
#include "tools/gnu/gnu_test_support.h"
#include "tools/tool_test_support.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using GnuTestSupport::fakeToolchain;
using ToolTestSupport::mapOf;
using ToolTestSupport::targetOf;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

NameMap definition(const Lines& lines)
{
    std::vector<Assignment> assignments;
    for (const std::string& line : lines) assignments.push_back(parseAssignment(line, "/"));
    return mapOf(assignments);
}

std::unique_ptr<Matcher> gnuMatcher(const Lines& variables, const Lines& required = {})
{
    return std::unique_ptr<Matcher>(Matcher::create("GNU-GCC", "gnu", definition(variables), definition(required)));
}

std::string pathWant(const fs::path& path) { return "toolchain_path = \"" + path.string() + "\""; }

// The chosen toolchain and the file name of each of its tools.
std::string choiceOf(const Matcher& matcher)
{
    const auto& gnu = dynamic_cast<const GNUMatcher&>(matcher);
    std::string text = gnu.toolchain().prefix + " " + gnu.toolchain().version + ":";
    for (const auto& tool : gnu.tools()) text += " " + tool->name();
    return text;
}

// The factory names the first thing that keeps it from making a matcher.
TEST(GNUMatcherFactory, Errors)
{
    ScratchDir root;
    const fs::path redhat = root.path() / "redhat/bin";
    fakeToolchain(redhat, "x86_64-redhat-linux", "x86_64-redhat-linux", "12.2.0", {});
    const fs::path arDirectory = root.path() / "ardir/bin";
    fakeToolchain(arDirectory, "", "x86_64-linux-gnu", "12.2.0", {"ld", "objcopy"});
    fs::create_directories(arDirectory / "ar");
    const fs::path silentCopier = root.path() / "copier/bin";
    fakeToolchain(silentCopier, "arm-none-eabi", "arm-none-eabi", "13.2.1", {"ar", "ld"});
    root.write("copier/bin/arm-none-eabi-objcopy", "#!/bin/sh\n");

    const std::string noPath = "GNUMatcher requires want variable 'toolchain_path'.";
    const std::string notFound = "Couldn't find GNU toolchain from provided 'wants' variables.";
    const struct {
        Lines variables;
        Lines required;
        std::string expected;
    } rows[] = {
        {{}, {}, noPath},
        {{"toolchain_path = \"\""}, {}, noPath},
        {{}, {pathWant(redhat)}, noPath},
        {{pathWant(root.path() / "none")}, {}, notFound},
        {{pathWant(redhat), "toolchain_min_version = \"13\""}, {}, notFound},
        {{pathWant(redhat)}, {}, "Required GNU tool missing: '" + (redhat / "x86_64-redhat-linux-ar").string() + "'."},
        {{pathWant(arDirectory)}, {}, "Required GNU tool missing: '" + (arDirectory / "x86_64-linux-gnu-ar").string() + "'."},
        {{pathWant(silentCopier)}, {},
         "Required GNU tool missing: '" + (silentCopier / "arm-none-eabi-objcopy").string() + "'."},
    };
    for (const auto& row : rows) EXPECT_EQ(failureOf([&] { gnuMatcher(row.variables, row.required); }), row.expected);
}

// The highest version wins, the first found among equal ones; the tools are found by the chosen
// prefix first. A definition that wants neither prefix nor arch gets the machine's own compiler,
// even beside a newer cross compiler.
TEST(GNUMatcherFactory, ChoosesOneToolchain)
{
    ScratchDir root;
    const fs::path mixed = root.path() / "mixed/bin";
    fakeToolchain(mixed, "", "x86_64-linux-gnu", "12.2.0", {"ar", "ld", "objcopy"});
    fakeToolchain(mixed, "arm-none-eabi", "arm-none-eabi", "13.2.1");
    const fs::path newer = root.path() / "newer/bin";
    fakeToolchain(newer, "", "x86_64-linux-gnu", "12.2.0");
    FakeTool::gnuCompiler(newer / "x86_64-linux-gnu-gcc-13", "x86_64-linux-gnu", "13.1.0");
    FakeTool::writeExecutable(newer / "x86_64-linux-gnu-ar", "#!/bin/sh\n");
    const fs::path cross = root.path() / "cross";
    fakeToolchain(cross / "bin", "aarch64-none-elf", "aarch64-none-elf", "12.3.0");
    fakeToolchain(cross / "usr/bin", "riscv64-unknown-elf", "riscv64-unknown-elf", "12.3.0");
    fakeToolchain(root.path() / "cross13/bin", "arm-none-eabi", "arm-none-eabi", "13.2.1");
    fakeToolchain(root.path() / "cross13/bin", "aarch64-none-elf", "aarch64-none-elf", "12.3.0");

    const std::string arm = "arm-none-eabi 13.2.1: arm-none-eabi-gcc arm-none-eabi-g++ arm-none-eabi-ar "
                            "arm-none-eabi-ld arm-none-eabi-objcopy";
    const struct {
        Lines variables;
        std::string expected;
    } rows[] = {
        {{pathWant(mixed)}, "x86_64-linux-gnu 12.2.0: gcc g++ ar ld objcopy"},
        {{pathWant(mixed), "arch = \"ARM\""}, arm},
        {{pathWant(newer)}, "x86_64-linux-gnu 13.1.0: gcc g++ x86_64-linux-gnu-ar ld objcopy"},
        {{pathWant(cross)}, "aarch64-none-elf 12.3.0: aarch64-none-elf-gcc aarch64-none-elf-g++ aarch64-none-elf-ar "
                            "aarch64-none-elf-ld aarch64-none-elf-objcopy"},
        {{pathWant(root.path() / "cross13")}, arm},
    };
    for (const auto& row : rows) {
        LogCapture log(1);
        const auto matcher = gnuMatcher(row.variables);
        const std::string logged = log.text();
        EXPECT_EQ(choiceOf(*matcher), row.expected) << row.variables.back();
        EXPECT_EQ(logged, "Compiler at " + row.variables[0].substr(18, row.variables[0].size() - 19) + " added.\n");
    }
}

// Choosing the machine's own toolchain asks its gcc for the machine once more; the answer the
// search got is taken instead.
TEST(GNUMatcherFactory, AsksEachCompilerOnce)
{
    ScratchDir root;
    const fs::path bin = root.path() / "bin";
    const fs::path log = root.path() / "probes.log";
    fakeToolchain(bin, "", "x86_64-linux-gnu", "12.2.0");
    FakeTool::gnuCompiler(bin / "gcc", "x86_64-linux-gnu", "12.2.0", log);
    LogCapture quiet(6);
    EXPECT_EQ(choiceOf(*gnuMatcher({pathWant(bin)})), "x86_64-linux-gnu 12.2.0: gcc g++ ar ld objcopy");
    EXPECT_EQ(FakeTool::logLines(log),
              (Lines{(bin / "gcc").string() + " -dumpfullversion", (bin / "gcc").string() + " -dumpmachine"}));
}

class GNUMatcherTest : public testing::Test {
protected:
    void SetUp() override
    {
        fakeToolchain(root_.path() / "bin", "", "x86_64-linux-gnu", "12.2.0");
        LogCapture quiet(6);
        matcher_ = gnuMatcher({pathWant(root_.path()), "toolchain_version = \"0\""});
    }

    MatchResult match(const Lines& variables) const { return matcher_->match(*targetOf(variables)); }

    ScratchDir root_;
    std::unique_ptr<Matcher> matcher_;
};

// A target's own wishes about the machine and the version are met before any tool is asked; then
// the best-scoring possible tool builds the target, the earlier tool winning a tie.
TEST_F(GNUMatcherTest, MatchAndSelectBuilder)
{
    const struct {
        Lines variables;
        std::string tool;  // "" when the match is impossible
    } rows[] = {
        {{"C_FILES = \"a.c\""}, "gcc"},
        {{"C_FILES = \"a.c\"", "ARCH = \"arm\""}, ""},
        {{"C_FILES = \"a.c\"", "ARCH = \"X86_64\""}, "gcc"},
        {{"C_FILES = \"a.c\"", "ARCH = \"\""}, "gcc"},
        {{"C_FILES = \"a.c\"", "TOOLCHAIN_TRIPLET = \"X86_64-LINUX-GNU\""}, "gcc"},
        {{"C_FILES = \"a.c\"", "TOOLCHAIN_TRIPLET = \"arm-none-eabi\""}, ""},
        {{"C_FILES = \"a.c\"", "toolchain_version = [\"11\", \"12.2.0\"]"}, "gcc"},
        {{"C_FILES = \"a.c\"", "toolchain_version = \"12\""}, ""},
        {{"C_FILES = \"a.c\"", "toolchain_min_version = \"12.3\""}, ""},
        {{"C_FILES = \"a.c\"", "CPP_FILES = \"b.cpp\""}, "g++"},
        {{"OBJS = \"a.o\""}, "gcc"},
        {{"OBJS = \"a.o\"", "STATIC"}, "ar"},
        {{"OBJS = \"a.o\"", "SHARED"}, "ld"},
        // A shared object: the linker's, unless the target has sources for a compiler to link.
        {{"OBJS = \"a.o\"", "SHARED", "C_FLAGS = \"-Wall\"", "C_DEFINES = \"FOO\"", "OUTPUT_NAME = \"libx.so\""},
         "ld"},
        {{"OBJS = \"a.o\"", "SO = \"1\"", "STATIC", "OUTPUT_NAME = \"libx.a\""}, "ld"},
        {{"OBJS = \"a.o\"", "SHARED", "C_FILES"}, "gcc"},
        {{"OBJS = \"a.o\"", "SO", "CPP_FILES"}, "g++"},
        {{"OBJS = \"a.o\"", "SHARED", "C_FILES = \"b.c\""}, "gcc"},
        {{"OBJS = \"a.o\"", "SHARED", "^C_FILES = \"b.c\""}, "ld"},
        {{"INPUT = \"d.bin\"", "SHARED"}, ""},
        // A dependency named like a selector asks for nothing.
        {{"OBJS = \"a.o\"", "STATIC", "so += { lib = \"x\" }"}, "ar"},
        {{"INPUT = \"d.bin\"", "OUTPUT_NAME = \"d.o\""}, "objcopy"},
        {{"OTHER = \"x\""}, ""},
        {{"^C_FILES = \"a.c\""}, ""},
    };
    LogCapture quiet(5);
    for (const auto& row : rows) {
        const auto target = targetOf(row.variables);
        EXPECT_EQ(matcher_->match(*target).possible() ? matcher_->selectBuilder(*target)->name() : "", row.tool)
            << row.variables.back();
    }

    // The first possible tool's result, whole: gcc does not know CPP_FILES, g++ would.
    EXPECT_EQ(match({"C_FILES = \"a.c\"", "CPP_FILES = \"b.cpp\""}).scores.at("CPP_FILES").kind, MatchKind::NoMatch);
    // A shared object without sources is scored as the linker scores it, which tool selection
    // compares with other toolchains: the compiler's flags and defines do not count.
    const MatchResult shared = match({"OBJS = \"a.o\"", "SHARED", "C_FLAGS = \"-Wall\""});
    EXPECT_EQ(shared.scores.at("SHARED").kind, MatchKind::ExactMatch);
    EXPECT_EQ(shared.scores.at("C_FLAGS").kind, MatchKind::NoMatch);
    // No tool possible: the object copier's result.
    EXPECT_EQ(match({"OBJCOPY_FLAGS = \"-O binary\""}).scores.at("OBJCOPY_FLAGS").kind, MatchKind::PartialMatch);
}

// The tool handed out for a target notes then whether the target asks for a shared object, by the
// target's name: what its dependencies merge in afterwards, or a look-alike target it was not chosen
// for, leaves that answer alone.
TEST_F(GNUMatcherTest, ChosenToolKeepsTheSharedRequest)
{
    const auto program = targetOf({"C_FILES = \"m.c\""});
    const auto library = targetOf({"OBJS = \"a.o\"", "SHARED"});
    library->name.target = "library";
    const auto gcc = std::dynamic_pointer_cast<CBuilder>(matcher_->selectBuilder(*program));
    const auto ld = std::dynamic_pointer_cast<CBuilder>(matcher_->selectBuilder(*library));
    ASSERT_TRUE(gcc && ld);
    program->addAssignment(parseAssignment("SO = P\"(/l/libx.so)\"", "/"), 0);
    library->assignments.erase("SHARED");

    EXPECT_FALSE(gcc->sharedRequested(*program));
    EXPECT_TRUE(ld->sharedRequested(*library));
    const auto other = targetOf({"C_FILES = \"m.c\"", "SO"});
    other->name.target = "other";
    EXPECT_TRUE(gcc->sharedRequested(*other));
}

// A clone hands out the very same tools, and they outlive the matcher they came from.
TEST_F(GNUMatcherTest, ClonesShareTheTools)
{
    std::unique_ptr<Matcher> clone = matcher_->clone();
    const auto tools = dynamic_cast<GNUMatcher&>(*clone).tools();
    EXPECT_EQ(tools, dynamic_cast<GNUMatcher&>(*matcher_).tools());
    EXPECT_EQ(clone->name, "gnu");
    matcher_.reset();
    const std::shared_ptr<Builder> builder = clone->selectBuilder(*targetOf({"C_FILES = \"a.c\""}));
    EXPECT_EQ(builder, tools[GccTool]);
    EXPECT_EQ(builder->name(), "gcc");
}

}  // namespace
}  // namespace Tolm
