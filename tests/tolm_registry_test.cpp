#include "tolm_registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "scenario/scratch_dir.h"
#include "types/context_test_support.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

using namespace Tolm::TestSupport;

// Captures what the log prints, plain, at threshold 5, while it lives.
class LogText {
public:
    LogText()
    {
        Log::verbosity = 5;
        Log::terminalCheck = [] { return false; };
        testing::internal::CaptureStdout();
    }
    ~LogText()
    {
        if (!taken_) text();
        Log::verbosity = verbosity_;
        Log::terminalCheck = check_;
    }
    std::string text()
    {
        taken_ = true;
        std::cout.flush();
        return testing::internal::GetCapturedStdout();
    }

private:
    int verbosity_ = Log::verbosity;
    Log::TerminalCheck check_ = Log::terminalCheck;
    bool taken_ = false;
};

std::string saveError(const TolmRegistry& registry)
{
    try {
        registry.save();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

std::string contentOf(const std::filesystem::path& file)
{
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

std::size_t entriesIn(const std::filesystem::path& directory)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

// The file's exact bytes: sections only when they have entries, names in
// case-insensitive order as stored, an empty line between the sections, an
// empty tool as its two lines; entries the reader would refuse are left out
// with a warning.
TEST(TolmRegistrySave, ByteLayout)
{
    auto gcc = std::make_shared<Tolm::ContextTemplate>(
        std::vector{set("toolchain_type", str("gnu-gcc")), append("CC", Tolm::makeIntValue(12))});
    const std::string gccLines = "  gcc-12 {\n    toolchain_type = \"gnu-gcc\"\n    CC += 12\n  }\n";
    auto quoted = std::make_shared<Tolm::ContextTemplate>(std::vector{set("QUOTE", str("a\"b"))});
    const std::vector<std::tuple<TolmRegistry, std::string, std::string>> cases = {
        {{"", {}, {}}, "", ""},
        {{"", {{"lib", "/src/lib/p.txt"}, {"App", "/src/App/p.txt"}}, {}},
         "projects {\n  App \"/src/App/p.txt\"\n  lib \"/src/lib/p.txt\"\n}\n", ""},
        {{"", {{"app", "/src/app/p.txt"}}, {{"gcc-12", gcc}, {"empty", nullptr}}},
         "projects {\n  app \"/src/app/p.txt\"\n}\n\ntools {\n  empty {\n  }\n" + gccLines + "}\n", ""},
        {{"", {}, {{"gcc-12", gcc}}}, "tools {\n" + gccLines + "}\n", ""},
        {{"", {{"tools", "/a/p.txt"}, {"quoted", "/a\"b/p.txt"}}, {{"has space", nullptr}, {"", nullptr}}}, "",
         "project 'quoted' left out: its path '/a\"b/p.txt' holds a double quote"},
        {{"", {}, {{"t", quoted}}}, "tools {\n  t {\n  }\n}\n", "variable 'QUOTE' of tool 't' left out"},
    };
    for (auto [registry, expected, warning] : cases) {
        ScratchDir scratch;
        registry.path = scratch.write(".tolm_registry.txt", "projects {\n  old \"/x\"\n}\n");
        LogText log;
        registry.save();
        EXPECT_EQ(contentOf(registry.path), expected);
        EXPECT_EQ(entriesIn(scratch.path()), 1u) << "temporary file left behind";
        const std::string printed = log.text();
        EXPECT_NE(printed.find(warning), std::string::npos) << printed;
        EXPECT_NE(printed.find("Updated file '" + registry.path.string() + "'.\n"), std::string::npos) << printed;
    }
}

// A failed save names the registry file, keeps the old file and leaves no
// temporary file behind.
TEST(TolmRegistrySave, FailureKeepsOldFile)
{
    LogText quiet;
    ScratchDir scratch;
    TolmRegistry unopenable{scratch.write("plain", "x") / ".tolm_registry.txt", {}, {}};
    EXPECT_EQ(saveError(unopenable), "Unable to open registry file for writing: " + unopenable.path.string());
    // A directory where the file should be cannot be replaced.
    TolmRegistry blocked{scratch.path() / ".tolm_registry.txt", {{"app", "/src/app/p.txt"}}, {}};
    std::filesystem::create_directories(blocked.path / "inside");
    EXPECT_EQ(saveError(blocked), "Unable to write registry file: " + blocked.path.string());
    EXPECT_TRUE(std::filesystem::is_directory(blocked.path / "inside"));
    EXPECT_EQ(entriesIn(scratch.path()), 2u);
}

// A registry file linked from elsewhere stays a link; its target is rewritten.
TEST(TolmRegistrySave, LinkedFileStaysLinked)
{
    ScratchDir scratch;
    auto real = scratch.write("dotfiles/registry.txt", "");
    TolmRegistry registry{scratch.path() / ".tolm_registry.txt", {{"app", "/a/p.txt"}}, {}};
    std::filesystem::create_symlink(real, registry.path);
    LogText quiet;
    registry.save();
    EXPECT_TRUE(std::filesystem::is_symlink(registry.path));
    EXPECT_EQ(contentOf(real), "projects {\n  app \"/a/p.txt\"\n}\n");
}

// One entry per name ignoring case: the same path changes nothing and says
// so, another path replaces the stored one under the first spelling.
TEST(TolmRegistryAddProject, OneEntryPerName)
{
    TolmRegistry registry;
    auto project = std::make_shared<Tolm::Project>("/a/.tolm_project.txt", "Demo");
    registry.addProject(project);
    LogText log;
    registry.addProject(project);
    EXPECT_EQ(log.text(), "Project already registered");
    registry.addProject(std::make_shared<Tolm::Project>("/b/.tolm_project.txt", "DEMO"));
    ASSERT_EQ(registry.projects.size(), 1u);
    EXPECT_EQ(registry.projects.begin()->first.str(), "Demo");
    EXPECT_EQ(registry.projects.begin()->second, "/b/.tolm_project.txt");
    EXPECT_THROW(registry.addProject(nullptr), Tolm::InternalError);
}

}  // namespace
