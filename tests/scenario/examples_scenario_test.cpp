// The example projects under examples/ as the README presents them: the
// project text it quotes, and the switch between gcc and clang it describes.

#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

// Every ```tolm block of the README is text of one project or unit file of
// the examples, which setup builds, so the README cannot drift from them.
TEST(Readme, QuotesProjectTextOnlyFromTheExamples)
{
    const fs::path source = TOLM_SOURCE_DIR;
    std::string files;
    for (const auto& entry : fs::recursive_directory_iterator(source / "examples"))
        if (entry.path().filename() == "tolm.txt" || entry.path().filename() == ".tolm_project.txt")
            files += TestSupport::contentOf(entry.path()) + '\0';
    const std::string readme = TestSupport::contentOf(source / "README.md");
    int blocks = 0;
    for (std::size_t at = readme.find("```tolm\n"); at != npos; at = readme.find("```tolm\n", at), ++blocks) {
        at += 8;
        const std::string block = readme.substr(at, readme.find("```", at) - at);
        EXPECT_NE(files.find(block), npos) << block;
    }
    EXPECT_GE(blocks, 6);
}

// The shapes example built as the README says: gcc runs every command by
// default, clang every command when the word LLVM is given, in the program's
// project and in the library project it imports alike.
TEST_F(TolmScenario, ShapesExampleBuildsWithGccOrWithClang)
{
    for (const char* tool : {"clang", "clang++", "llvm-ar", "ld.lld"})
        if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
    fs::copy(fs::path(TOLM_SOURCE_DIR) / "examples/shapes", work_.path(), fs::copy_options::recursive);
    for (const char* project : {"app", "geometry"})
        for (const char* built : {"out", "bin", ".tolm_cache"}) fs::remove_all(work_.path() / project / built);

    for (const bool llvm : {false, true}) {
        const Scenario::RunResult run = tolm(llvm ? Words{"release", "LLVM"} : Words{"release"}, "app");
        ASSERT_EQ(run.exitCode, 0) << run.out;
        int commands = 0;
        for (const std::string& line : linesOf(run.out)) {
            // A command line: "[unit::target] " and the program in quotes.
            const std::size_t quote = line.find("] \"");
            if (line.rfind('[', 0) != 0 || quote == npos) continue;
            const std::size_t start = quote + 3;
            const std::string program = fs::path(line.substr(start, line.find('"', start) - start)).filename();
            EXPECT_EQ(program.find("clang") != npos || program.find("llvm") != npos, llvm) << line;
            ++commands;
        }
        EXPECT_EQ(commands, 5) << run.out;  // three compilers, the archiver and the link
        EXPECT_EQ(outputOfProgram(work_.path() / "app/bin/shapes"),
                  "square: perimeter 8.00, area 4.00\ntriangle: perimeter 12.00, area 6.00\n(release build)\n");
    }
}

}  // namespace
