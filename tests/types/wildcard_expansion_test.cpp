#include "types/wildcard_expansion.h"

#include <gtest/gtest.h>

#include "types/expansion_test_support.h"

namespace fs = std::filesystem;

// "?" takes one byte, "*" any run (backtracking after a false start), and
// letter case matters.
TEST(WildcardMatchTest, SingleComponentRules)
{
    const struct {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"a.c", "*.C", false}, {"a.c", "?.c", true},    {"ab.c", "?.c", false},  {"aXbYc", "a*b*c", true},
        {"abc", "a*b*c", true}, {"abcd", "a*b*c", false}, {"", "**", true},        {"", "?", false},
        {".hidden", "*", true}, {"a.b.c.o", "*.o", true}, {"aab", "*ab", true},    {"x*y", "*y", true},
        {"abab", "*ba", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tolm::matchWildcard(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

// Each wildcard component matches the entries of every directory reached so
// far, in byte order per directory; plain components join without a look at
// the disk; "." and ".." never appear and "**" does not descend.
TEST(WildcardExpansionTest, ExpandsAgainstTree)
{
    const ExpansionTest::ScratchDir scratch;
    for (const char* file : {"src/c.c", "src/a.c", "src/b.c", "src/c.h", "m2/z.c", "m1/y.c", "m1/x.c",
                             "m1/x.h", ".hidden", "sub/deep.c", "top.c", "file"})
        scratch.touch(file);
    const struct {
        const char* pattern;
        std::vector<const char*> expected;
    } cases[] = {
        {"src/*.c", {"src/a.c", "src/b.c", "src/c.c"}},
        {"*/obj", {".hidden/obj", "file/obj", "m1/obj", "m2/obj", "src/obj", "sub/obj", "top.c/obj"}},
        {"**.c", {"top.c"}},
        {".*", {".hidden"}},
        {"m?/*.c", {"m1/x.c", "m1/y.c", "m2/z.c"}},
        {"missing/*.c", {}},
        {"file/*", {}},
        {"nope/x.c", {"nope/x.c"}},
    };
    for (const auto& c : cases) {
        std::vector<fs::path> expected;
        for (const char* path : c.expected)
            expected.push_back(scratch.root / path);
        EXPECT_EQ(Tolm::expandGlob(scratch.root / c.pattern), expected) << c.pattern;
    }
    // Without a root a wildcard starts from the empty path, which is no
    // directory; a plain relative path comes back as it is.
    EXPECT_TRUE(Tolm::expandGlob("*.c").empty());
    EXPECT_EQ(Tolm::expandGlob("rel/x.c"), std::vector<fs::path>{"rel/x.c"});
}
