#include "tools/c3_matcher.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "tools/c3_toolchain_search.h"
#include "tools/fake_c3c.h"
#include "tools/probe_batch.h"
#include "tools/tool_test_support.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using namespace ToolTestSupport;
namespace fs = std::filesystem;

// A "c3c" tool definition of the given assignment lines, made through the registry.
std::unique_ptr<Matcher> definedTool(const std::vector<std::string>& lines)
{
    NameMap variables;
    for (const std::string& line : lines) {
        const Assignment a = parseAssignment(line, ProjectRoot);
        variables.insert_or_assign(a.name, a);
    }
    return std::unique_ptr<Matcher>(Matcher::create("C3C", "c3", std::move(variables), {}));
}

std::string pathWant(const fs::path& path) { return "toolchain_path = P\"(" + path.string() + ")\""; }

const std::string NotFound = "Couldn't find C3 toolchain from provided 'wants' variables.";

// The version a definition ends up with, or the reason it cannot be made.
std::string chosen(const std::vector<std::string>& lines)
{
    std::string version;
    const std::string failure = failureOf([&] { version = static_cast<C3Matcher&>(*definedTool(lines)).version(); });
    return failure == "no failure" ? version : failure;
}

// Several stand-ins below one path: the highest accepted version wins, the wants filter what is accepted.
TEST(C3MatcherTest, VersionSelection)
{
    ScratchDir scratch;
    const fs::path root = scratch.path();
    FakeC3c::write(root / "c3c", "0.6.1");
    FakeC3c::write(root / "tools/deep/c3c", "0.7.0");
    FakeC3c::write(root / "tools/other/C3C.EXE", "0.5");
    FakeC3c::write(root / "only-old/bin/c3c", "0.6.1");
    struct Row {
        std::vector<std::string> wants;
        std::string expected;
    } rows[] = {
        {{}, "0.7.0"},
        {{"toolchain_version = \"0.6.1\""}, "0.6.1"},
        {{"toolchain_version = \"0.5\""}, "0.5"},
        {{"toolchain_min_version = \"0.8\""}, NotFound},
        {{"toolchain_version = \"0.6.1\"", "toolchain_min_version = \"0.7\""}, NotFound},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = row.wants;
        lines.push_back(pathWant(root));
        EXPECT_EQ(chosen(lines), row.expected) << lines.front();
    }
    EXPECT_EQ(chosen({pathWant(root / "only-old")}), "0.6.1");
    // The executable itself: no other place is tried.
    EXPECT_EQ(chosen({pathWant(root / "c3c")}), "0.6.1");
    EXPECT_EQ(chosen({pathWant(root / "missing")}), NotFound);
    for (const char* noPath : {"toolchain_version = \"0.7.0\"", "toolchain_path = \"\""})
        EXPECT_EQ(chosen({noPath}), "C3Matcher requires want variable 'toolchain_path'.") << noPath;
}

// Wanted versions: "0" takes any, a dotless text also the versions it begins, a dotted text only itself.
TEST(C3MatcherTest, VersionWants)
{
    struct Row {
        std::string version, minimum, found;
        bool passes;
    } rows[] = {
        {"", "", "0.7.0", true},         {"0", "", "12.1", true},        {"1", "", "1", true},
        {"1", "", "1.2.3", true},        {"1", "", "10.0", false},       {"0.6", "", "0.6.1", false},
        {"0.7.0-RC", "", "0.7.0-rc", true}, {"", "0.7", "0.6.9", false}, {"", "0.7", "0.7", true},
        {"0", "1.0", "0.9", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(c3VersionPasses(C3Wants{fs::path("/x"), row.version, row.minimum}, row.found), row.passes)
            << row.version << " / " << row.minimum << " / " << row.found;
}

// The version is the banner's first dotted number, not the digit of the tool's own name; every candidate
// is probed once, whatever path leads to it; equal versions keep the first one found.
TEST(C3MatcherTest, ProbesEachCandidateOnce)
{
    ScratchDir scratch;
    const fs::path root = scratch.path();
    FakeC3c::write(root / "bin/c3c", "0.7.0");
    FakeC3c::write(root / "z/c3c", "0.7.0");
    fs::create_directory_symlink(root / "bin", root / "linked");
    fs::create_symlink(root / "bin/c3c", root / "c3c.exe");

    auto matcher = definedTool({pathWant(root)});
    auto& c3 = static_cast<C3Matcher&>(*matcher);
    EXPECT_EQ(c3.version(), "0.7.0");
    EXPECT_EQ(c3.executable(), root / "c3c.exe");
    EXPECT_EQ(c3.directory(), root);
    EXPECT_EQ(FakeC3c::calls(root / "bin/c3c").size(), 1u);
    EXPECT_EQ(FakeC3c::calls(root / "z/c3c"), (std::vector<std::vector<std::string>>{{"--version"}}));
}

// Every candidate is asked at once: the first answers only while all three run, so it ends last.
// One that fails is left out; the others keep their order, the direct places before the walk.
TEST(C3MatcherTest, AsksEveryCandidateAtOnceAndKeepsTheOrder)
{
    ScratchDir scratch;
    const fs::path root = scratch.path(), log = root / "probes.log";
    FakeTool::write(root / "c3c", {{"--version", "c3c version 0.7.1"}}, log, 3);
    FakeTool::write(root / "bin/c3c", {}, log);
    FakeTool::write(root / "sub/c3c", {{"--version", "c3c version 0.6.0"}}, log);

    const std::size_t processors = setProbeLimit(8);
    const std::vector<ToolchainPaths> found = findC3Toolchains(C3Wants{root, "", ""});
    setProbeLimit(processors);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].executable, root / "c3c");
    EXPECT_EQ(found[0].version, "0.7.1");
    EXPECT_EQ(found[1].executable, root / "sub/c3c");
    EXPECT_EQ(found[1].version, "0.6.0");
    EXPECT_EQ(FakeTool::logLines(log).size(), 3u);
}

// Found paths reach the probe and the build command as data: a directory name full of shell syntax runs
// only the stand-in inside it.
TEST(C3MatcherTest, PathsWithShellSyntax)
{
    ScratchDir scratch;
    const fs::path odd = scratch.path() / "it's $(touch pwned) `touch pwned` \"q\"";
    FakeC3c::write(odd / "c3c", "0.7.1");
    auto matcher = definedTool({pathWant(scratch.path())});
    EXPECT_EQ(static_cast<C3Matcher&>(*matcher).version(), "0.7.1");
    EXPECT_FALSE(fs::exists(scratch.path() / "pwned"));
    EXPECT_FALSE(fs::exists("pwned"));
}

// The target's own version wishes must meet the found version; then the builder decides.
TEST(C3MatcherTest, MatchAndBuilderChoice)
{
    ScratchDir scratch;
    FakeC3c::write(scratch.path() / "c3c", "0.7.0");
    auto matcher = definedTool({pathWant(scratch.path())});
    struct Row {
        std::vector<std::string> target;
        bool possible;
    } rows[] = {
        {{"C3_FILES = \"a.c3\""}, true},
        {{"C3_FILES = \"a.c3\"", "toolchain_version = \"0.7.0\""}, true},
        {{"C3_FILES = \"a.c3\"", "toolchain_version = \"0\""}, false},
        {{"C3_FILES = \"a.c3\"", "toolchain_min_version = \"0.8\""}, false},
        {{"C_FILES = \"a.c\""}, false},
    };
    for (const Row& row : rows) EXPECT_EQ(matcher->match(*targetOf(row.target)).possible(), row.possible);

    const std::unique_ptr<Matcher> copy = matcher->clone();
    const auto builder = matcher->selectBuilder(*targetOf({"C3C_FILES = \"a.c3\""}));
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(builder->name(), "c3c");
    EXPECT_EQ(copy->selectBuilder(*targetOf({"C3_TEST_FILES = \"t.c3\""})), builder);
    EXPECT_EQ(copy->selectBuilder(*targetOf({"C_FILES = \"a.c\""})), nullptr);
    EXPECT_EQ(static_cast<C3Builder&>(*builder).toolchainId(), "c3c-0.7.0");
}

// A build through the stand-in: the command line, run by the shell in the output directory, hands c3c
// exactly the arguments meant and leaves the output file where the output variables point.
TEST(C3MatcherTest, StandInBuild)
{
    ScratchDir scratch;
    const fs::path compiler = scratch.path() / "c3 tools/c3c";
    FakeC3c::write(compiler, "0.7.0");
    auto matcher = definedTool({pathWant(compiler.parent_path())});
    auto target = targetOf({"PROJECT_ROOT = P\"(" + scratch.path().string() + ")\"", "C3_FILES = [\"a b.c3\", \"c.c3\"]",
                            "C3C_FLAGS = \"-O2 -g\"", "LIB = \"m\"", "LIB_PATH = \"my libs\"", "LINK_FLAGS = \"now\"",
                            "OUTPUT_NAME = \"bin/tool\"", "DLL"});
    auto builder = std::static_pointer_cast<CBuilder>(matcher->selectBuilder(*target));
    ASSERT_NE(builder, nullptr);
    LogCapture quiet(6);
    builder->prepareOutput(*target, 1);
    const std::vector<Command> commands = builder->createCommands(*target);
    ASSERT_EQ(commands.size(), 1u);
    const std::string shellLine = "cd " + FakeTool::shellQuoted(commands[0].workingDirectory.string()) + " && " +
                                  commands[0].commandLine;
    ASSERT_EQ(std::system(shellLine.c_str()), 0) << commands[0].commandLine;

    EXPECT_EQ(FakeC3c::calls(compiler, true),
              (std::vector<std::vector<std::string>>{{"-O2", "-g", "-o", "bin/tool", "-L", "my libs", "-l", "m", "-z",
                                                      "now", "dynamic-lib", "a b.c3", "c.c3"}}));
    const Context outputs = builder->createOutputContext(*target, 0);
    builder->finishBuild();
    EXPECT_TRUE(fs::exists(scratch.path() / "c3c-0.7.0/unit/target/bin/tool"));
    EXPECT_EQ(textOf(outputs, "dll_name"), "tool");
    EXPECT_EQ(commands[0].pathDirectories, std::vector<fs::path>{compiler.parent_path()});
}

}  // namespace
}  // namespace Tolm
