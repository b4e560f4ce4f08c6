#include "util/ci_string.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

using Util::CiString;

// Folding is the classic locale's tolower, byte for byte, and names equal that way hash alike.
TEST(CiString, FoldsAsClassicTolower) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string left(1, static_cast<char>(a)), right(1, static_cast<char>(b));
            const bool same = std::tolower(a) == std::tolower(b);
            ASSERT_EQ(Util::ciEquals(left, right), same) << a << " " << b;
            if (same) {
                ASSERT_EQ(Util::ciHash("x" + left), Util::ciHash("x" + right)) << a << " " << b;
            }
        }
    }
}

// Equality and ordering fold only A-Z; folded bytes compare signed, so 0x80 and above order before
// ASCII; a proper prefix orders first. '<' means a before b, '=' one name.
TEST(CiString, EqualityAndOrdering) {
    const struct {
        std::string a, b;
        char relation;
    } cases[] = {
        {"C_FILES", "c_files", '='}, {"", "", '='},        {std::string("a\0B", 3), std::string("A\0b", 3), '='},
        {"abc", "ABCD", '<'},        {"a", "Z", '<'},       {"", "a", '<'},
        {"_x", "Ax", '<'},           {"@", "`", '<'},       {"a\x80", "a\x01", '<'},
        {"\xFF", std::string("\0z", 2), '<'}, {"\x80", "\xFF", '<'}, {"\xC4", "\xE4", '<'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Util::ciEquals(c.a, c.b), c.relation == '=') << c.a << " " << c.b;
        EXPECT_EQ(CiString(c.a) < CiString(c.b), c.relation == '<') << c.a << " " << c.b;
        EXPECT_FALSE(Util::ciLess(c.b, c.a)) << c.a << " " << c.b;
    }
}

// Search: positions, empty needles and matches that would run past the end.
TEST(CiString, FindCases) {
    struct Case {
        std::string text;
        const char* needle;
        std::size_t start, found;
    };
    const Case cases[] = {
        {"Release", "", 3, 3},   {"Release", "", 7, Util::npos}, {"", "", 0, Util::npos},
        {"USE_MSVC_RT", "msvc", 0, 4}, {"abcABC", "abc", 1, 3}, {"xxab", "abc", 0, Util::npos},
        {"abc", "c", 3, Util::npos},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Util::ciFind(c.text, c.needle, c.start), c.found) << c.text << " / " << c.needle;
}
