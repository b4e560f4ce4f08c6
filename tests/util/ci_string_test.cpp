#include "util/ci_string.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>

using Util::CiString;

// Equality folds only A-Z and requires equal lengths.
TEST(CiString, EqualityFoldsLettersOnly)
{
    EXPECT_TRUE(Util::ciEquals("C_FILES", "c_files"));
    EXPECT_TRUE(Util::ciEquals("", ""));
    EXPECT_FALSE(Util::ciEquals("abc", "abcd"));
    EXPECT_FALSE(Util::ciEquals("a_b", "a-b"));
    // '@' (0x40) and '`' (0x60) differ by the case bit but are not letters.
    EXPECT_FALSE(Util::ciEquals("@", "`"));
    EXPECT_FALSE(Util::ciEquals("[", "{"));
    // Bytes above 0x7F stand for themselves.
    EXPECT_FALSE(Util::ciEquals("\xC4", "\xE4"));
    EXPECT_TRUE(Util::ciEquals(std::string("a\0B", 3), std::string("A\0b", 3)));
    EXPECT_FALSE(Util::ciEquals(std::string("a\0b", 3), std::string("a\0c", 3)));
}

// The stored text keeps its letter case; only comparisons fold it.
TEST(CiString, KeepsTextAsWritten)
{
    CiString name("Output_Name");
    EXPECT_EQ(name.str(), "Output_Name");
    std::string moved = "MoVeD";
    CiString fromMove(std::move(moved));
    EXPECT_EQ(fromMove.str(), "MoVeD");
    EXPECT_EQ(name, CiString("OUTPUT_NAME"));
    EXPECT_EQ(name, std::string("output_name"));
    std::ostringstream out;
    out << name;
    EXPECT_EQ(out.str(), "Output_Name");
    EXPECT_EQ(fmt::format("[{}]", name), "[Output_Name]");
}

// Ordering: folded bytes, a proper prefix first, equal texts not less.
TEST(CiString, OrderingRules)
{
    EXPECT_TRUE(Util::ciLess("abc", "ABCD"));
    EXPECT_FALSE(Util::ciLess("ABCD", "abc"));
    EXPECT_FALSE(Util::ciLess("ABC", "abc"));
    EXPECT_FALSE(Util::ciLess("abc", "ABC"));
    EXPECT_TRUE(Util::ciLess("A", "b"));
    EXPECT_FALSE(Util::ciLess("b", "A"));
    EXPECT_TRUE(Util::ciLess("a", "Z"));
    EXPECT_TRUE(Util::ciLess("", "a"));
    EXPECT_FALSE(Util::ciLess("", ""));
    // Underscore (0x5F) orders before every letter of either case.
    EXPECT_TRUE(Util::ciLess("_x", "Ax"));
    EXPECT_TRUE(Util::ciLess("_x", "ax"));
    EXPECT_TRUE(CiString("abc") < CiString("ABCD"));
    EXPECT_FALSE(CiString("ABC") < CiString("abc"));
    EXPECT_TRUE(CiString("b") > CiString("A"));
}

// Bytes 0x80..0xFF compare as negative signed bytes: before ASCII, by value among themselves.
TEST(CiString, HighBytesOrderBeforeAscii)
{
    EXPECT_TRUE(Util::ciLess("a\x80", "a\x01"));
    EXPECT_TRUE(Util::ciLess("\xFF", std::string("\x00z", 2)));
    EXPECT_TRUE(Util::ciLess("\x80", "\xFF"));
    EXPECT_FALSE(Util::ciLess("\xFF", "\x80"));
    EXPECT_TRUE(Util::ciLess("\xC3\xA9t\xC3\xA9", "A"));
    const char a[] = {'x', '\x90'};
    const char b[] = {'X', 'y', 'z'};
    EXPECT_TRUE(Util::ciLess(a, 2, b, 3));
    EXPECT_FALSE(Util::ciLess(b, 3, a, 2));
}

// Name maps treat C_FILES and c_files as one key and keep the first text.
TEST(CiString, OneKeyInOrderedAndUnorderedMaps)
{
    std::map<CiString, int> ordered;
    ordered["C_FILES"] = 1;
    ordered["c_files"] = 2;
    ASSERT_EQ(ordered.size(), 1u);
    EXPECT_EQ(ordered.begin()->first.str(), "C_FILES");
    EXPECT_EQ(ordered.begin()->second, 2);

    ordered["zeta"] = 3;
    ordered["Alpha"] = 4;
    ordered["_hidden"] = 5;
    std::string order;
    for (const auto& [name, value] : ordered) order += name.str() + ",";
    EXPECT_EQ(order, "_hidden,Alpha,C_FILES,zeta,");

    std::unordered_map<CiString, int, Util::CiHasher, Util::CiEqualTo> hashed;
    hashed["Gnu-Gcc"] = 1;
    hashed["GNU-GCC"] = 2;
    ASSERT_EQ(hashed.size(), 1u);
    EXPECT_EQ(hashed.begin()->first.str(), "Gnu-Gcc");
    EXPECT_NE(hashed.find(std::string_view("gnu-gcc")), hashed.end());

    std::unordered_set<CiString> plain{"Release", "RELEASE", "debug"};
    EXPECT_EQ(plain.size(), 2u);
}

// Hash: empty is 0, case does not matter, high bytes add their sign-widened value.
TEST(CiString, HashValues)
{
    EXPECT_EQ(Util::ciHash(""), 0u);
    EXPECT_EQ(Util::ciHash("a"), 0x9e377a1aULL);
    EXPECT_EQ(Util::ciHash("A"), Util::ciHash("a"));
    EXPECT_EQ(Util::ciHash("ab"), 0x28cd94a53bULL);
    EXPECT_EQ(Util::ciHash("C_FILES"), 0x5e7744c132a89a8eULL);
    EXPECT_EQ(Util::ciHash("c_files"), Util::ciHash("C_FILES"));
    EXPECT_EQ(Util::ciHash("\x80"), 0x9e377939ULL);
    EXPECT_EQ(Util::ciHash("a\xFF"), 0x28cd94a4a4ULL);
    EXPECT_EQ(std::hash<CiString>{}(CiString("Ab")), Util::ciHash("aB"));
}

// Search: the positions and not-found cases users' texts hit.
TEST(CiString, FindCases)
{
    EXPECT_EQ(Util::ciFind("Release", "", 0), 0u);
    EXPECT_EQ(Util::ciFind("Release", "", 3), 3u);
    EXPECT_EQ(Util::ciFind("Release", "", 7), Util::npos);
    EXPECT_EQ(Util::ciFind("", "", 0), Util::npos);
    EXPECT_EQ(Util::ciFind("", "a", 0), Util::npos);
    EXPECT_EQ(Util::ciFind("a::B", "::", 0), 1u);
    EXPECT_EQ(Util::ciFind("USE_MSVC_RT", "msvc", 0), 4u);
    EXPECT_EQ(Util::ciFind("x86_64-pc-windows-MSVC", "msvc", 0), 18u);
    EXPECT_EQ(Util::ciFind("abcABC", "abc", 1), 3u);
    EXPECT_EQ(Util::ciFind("abcABC", "abc", 4), Util::npos);
    EXPECT_EQ(Util::ciFind("ab", "abc", 0), Util::npos);
    // A match must lie wholly inside the text.
    EXPECT_EQ(Util::ciFind("xxab", "abc", 0), Util::npos);
    EXPECT_EQ(Util::ciFind("abc", "c", 3), Util::npos);
    EXPECT_EQ(Util::npos, static_cast<std::size_t>(-1));
}
