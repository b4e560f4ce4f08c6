#include "types/wildcard_expansion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A fresh directory tree under the system's temporary directory, removed
// again when the test ends.
class WildcardExpansionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() /
               ("tolm_glob_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    void touch(const fs::path& relative)
    {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << "x";
    }

    fs::path root;
};

}  // namespace

// "?" takes exactly one byte, "*" any run, and letter case matters.
TEST(WildcardMatchTest, SingleComponentRules)
{
    EXPECT_FALSE(Tolm::matchWildcard("a.c", "*.C"));
    EXPECT_TRUE(Tolm::matchWildcard("a.c", "?.c"));
    EXPECT_FALSE(Tolm::matchWildcard("ab.c", "?.c"));
    EXPECT_TRUE(Tolm::matchWildcard("aXbYc", "a*b*c"));
    EXPECT_TRUE(Tolm::matchWildcard("abc", "a*b*c"));
    EXPECT_FALSE(Tolm::matchWildcard("abcd", "a*b*c"));
    EXPECT_TRUE(Tolm::matchWildcard("", "*"));
    EXPECT_TRUE(Tolm::matchWildcard("", "**"));
    EXPECT_FALSE(Tolm::matchWildcard("", "?"));
    EXPECT_TRUE(Tolm::matchWildcard(".hidden", "*"));
}

// Backtracking lets a "*" take more bytes after a false start.
TEST(WildcardMatchTest, StarBacktracks)
{
    EXPECT_TRUE(Tolm::matchWildcard("a.b.c.o", "*.o"));
    EXPECT_TRUE(Tolm::matchWildcard("aab", "*ab"));
    EXPECT_TRUE(Tolm::matchWildcard("x*y", "*y"));
    EXPECT_FALSE(Tolm::matchWildcard("abab", "*ba"));
}

// Matches within one directory come sorted by name, without the other files.
TEST_F(WildcardExpansionTest, MatchesAreSortedPerDirectory)
{
    touch("src/c.c");
    touch("src/a.c");
    touch("src/b.c");
    touch("src/c.h");
    const auto found = Tolm::expandGlob(root / "src/*.c");
    const std::vector<fs::path> expected{root / "src/a.c", root / "src/b.c", root / "src/c.c"};
    EXPECT_EQ(found, expected);
}

// A wildcard in a middle component takes every entry, files included, and the
// following plain component is joined without looking at the disk.
TEST_F(WildcardExpansionTest, MiddleWildcardJoinsRestBlindly)
{
    touch("b/keep");
    touch("a/keep");
    touch("file");
    const auto found = Tolm::expandGlob(root / "*" / "obj");
    const std::vector<fs::path> expected{root / "a/obj", root / "b/obj", root / "file/obj"};
    EXPECT_EQ(found, expected);
}

// "**" stays within one directory level.
TEST_F(WildcardExpansionTest, DoubleStarDoesNotDescend)
{
    touch("top.c");
    touch("sub/deep.c");
    const auto found = Tolm::expandGlob(root / "**.c");
    EXPECT_EQ(found, std::vector<fs::path>{root / "top.c"});
}

// Dot files match "*", but "." and ".." never show up.
TEST_F(WildcardExpansionTest, DotEntriesNeverListed)
{
    touch(".hidden");
    const auto found = Tolm::expandGlob(root / "*");
    EXPECT_EQ(found, std::vector<fs::path>{root / ".hidden"});
    EXPECT_EQ(Tolm::expandGlob(root / ".*"), std::vector<fs::path>{root / ".hidden"});
}

// Nothing under a missing directory, and a rootless wildcard starts nowhere.
TEST_F(WildcardExpansionTest, MissingDirectoriesGiveNothing)
{
    EXPECT_TRUE(Tolm::expandGlob(root / "missing/*.c").empty());
    touch("plainfile");
    EXPECT_TRUE(Tolm::expandGlob(root / "plainfile/*").empty());
    EXPECT_TRUE(Tolm::expandGlob("*.c").empty());
}

// A pattern without wildcards comes back as is, existing or not.
TEST_F(WildcardExpansionTest, PlainPathReturnedUnchecked)
{
    EXPECT_EQ(Tolm::expandGlob(root / "nope/x.c"), std::vector<fs::path>{root / "nope/x.c"});
    EXPECT_EQ(Tolm::expandGlob("rel/x.c"), std::vector<fs::path>{"rel/x.c"});
}

// Several wildcard components combine, each directory's matches in order.
TEST_F(WildcardExpansionTest, NestedWildcards)
{
    touch("m2/z.c");
    touch("m1/y.c");
    touch("m1/x.c");
    touch("m1/x.h");
    const auto found = Tolm::expandGlob(root / "m?/*.c");
    const std::vector<fs::path> expected{root / "m1/x.c", root / "m1/y.c", root / "m2/z.c"};
    EXPECT_EQ(found, expected);
}
