#include "util/ci_string.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <unordered_map>

using Util::CiString;

// Folding is the classic locale's tolower, byte for byte.
TEST(CiString, FoldsAsClassicTolower) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string left(1, static_cast<char>(a));
            const std::string right(1, static_cast<char>(b));
            ASSERT_EQ(Util::ciEquals(left, right), std::tolower(a) == std::tolower(b)) << a << " " << b;
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

// A hashed name map treats Gnu-Gcc and GNU-GCC as one key and keeps the first text.
TEST(CiString, OneKeyPerNameInMaps) {
    std::unordered_map<CiString, int, Util::CiHasher, Util::CiEqualTo> hashed;
    hashed["Gnu-Gcc"] = 1;
    hashed["GNU-GCC"] = 2;
    ASSERT_EQ(hashed.size(), 1u);
    EXPECT_EQ(hashed.begin()->first.str(), "Gnu-Gcc");
}

// Hash: empty is 0, case does not matter, bytes 0x80 and above add their sign-widened value.
TEST(CiString, HashValues) {
    EXPECT_EQ(Util::ciHash(""), 0u);
    EXPECT_EQ(Util::ciHash("a"), 0x9e377a1aULL);
    EXPECT_EQ(Util::ciHash("A"), Util::ciHash("a"));
    EXPECT_EQ(Util::ciHash("ab"), 0x28cd94a53bULL);
    EXPECT_EQ(Util::ciHash("\x80"), 0x9e377939ULL);
    EXPECT_EQ(Util::ciHash("a\xFF"), 0x28cd94a4a4ULL);
    EXPECT_EQ(std::hash<CiString>{}(CiString("Ab")), Util::ciHash("aB"));
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
