// The example projects under examples/ as the README presents them: the
// project text it quotes, the switch between gcc and clang it describes, and
// a shared library found beside its programs at run time.

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
    EXPECT_GE(blocks, 12);
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

// The shout example built as the README says, with gcc and with clang: one compile-only target
// compiles every source, with the default profile's flags after its own and, where LLVM is set,
// the flag of the profile's condition; the linker itself links the shared library with its
// soname; the compiler links the program and two instances of the parameterised test program
// with the run path $ORIGIN, so all three run with the library beside them, also after their
// directory moved. A command runs the tests in bin/ and keeps their report. The next run does
// nothing, that command included. The parameterised target alone has no parameters.
TEST_F(TolmScenario, ShoutExampleFindsItsSharedLibraryBesideThePrograms)
{
    for (const char* tool : {"clang", "ld.lld", "readelf"})
        if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
    fs::copy(fs::path(TOLM_SOURCE_DIR) / "examples/shout", work_.path() / "shout", fs::copy_options::recursive);
    for (const char* built : {"out", "bin", ".tolm_cache"}) fs::remove_all(work_.path() / "shout" / built);
    const auto dynamicSection = [&](const std::string& file) {
        return outputOfProgram("/usr/bin/readelf", {"-d", at("shout/bin/" + file)});
    };
    const std::pair<const char*, const char*> programs[] = {
        {"shout", "HELLO FROM A SHARED LIBRARY (23 letters)\n"},
        {"test_shout", "test_shout: passed\n"},
        {"test_count", "test_count: passed\n"}};

    for (const bool llvm : {false, true}) {
        const Words words = llvm ? Words{"-j", "4", "LLVM"} : Words{"-j", "4"};
        const Scenario::RunResult run = tolm(words, "shout");
        ASSERT_EQ(run.exitCode, 0) << run.out;
        std::string compiles, libraryLink;
        int testLinks = 0;
        EXPECT_EQ(count(run, "[shout::check] ./test_shout > tests.txt && ./test_count >> tests.txt"), 1) << run.out;
        EXPECT_EQ(contentOf(at("shout/bin/tests.txt")), "test_shout: passed\ntest_count: passed\n");
        for (const std::string& line : linesOf(run.out)) {
            if (line.starts_with("[shout::objects] \"")) compiles += line + "\n";
            if (line.starts_with("[shout::libshout] \"")) libraryLink = line;
            if (line.starts_with("[shout::test_program] \"")) ++testLinks;
        }
        EXPECT_NE(compiles.find(llvm ? " -c -fPIC -O2 -Wall -Wshorten-64-to-32 " : " -c -fPIC -O2 -Wall \""), npos)
            << compiles;
        const std::string linker = llvm ? "/ld.lld\"" : "-ld\"";
        EXPECT_NE(libraryLink.find(linker + " "), npos) << libraryLink;
        EXPECT_EQ(testLinks, 2) << run.out;
        EXPECT_NE(dynamicSection("libshout.so").find("Library soname: [libshout.so]"), npos);
        for (const auto& [program, output] : programs) {
            const std::string section = dynamicSection(program);
            EXPECT_NE(section.find("Library runpath: [$ORIGIN]"), npos) << program << section;
            EXPECT_NE(section.find("Shared library: [libshout.so]"), npos) << program << section;
            EXPECT_EQ(outputOfProgram(work_.path() / "shout/bin" / program), output) << program;
        }
        // The targets without a tool still start their empty jobs; no command runs.
        const Scenario::RunResult again = tolm(words, "shout");
        EXPECT_EQ(again.exitCode, 0);
        EXPECT_EQ(again.out.find("] \""), npos) << again.out;
        EXPECT_EQ(again.out.find("[shout::check] Starting build job"), npos) << again.out;
    }

    fs::rename(at("shout/bin"), at("elsewhere"));
    for (const auto& [program, output] : programs)
        EXPECT_EQ(outputOfProgram(work_.path() / "elsewhere" / program), output) << program;
    const Scenario::RunResult alone = tolm({"test_program"}, "shout");
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_TRUE(hasLine(alone.out, "Error: Assignment 'test_object' not found.\n")) << alone.out;
}

}  // namespace
