// The length repair the cache file target's mutator applies.

#include "fuzz/cache_file_repair.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using FuzzChecks::repairCacheLengths;

// A record holding one input (with the V5 flag when `flag` is set) and no outputs or context; `length`
// stands in the input text's length line.
std::string oneInput(const std::string& header, const std::string& length, const std::string& text, bool flag)
{
    return header + "\n1\n1\nk\n1\n1\nA 1 0\n" + length + "\n" + text + "\n" + (flag ? "0\n" : "") + "0\n0\n";
}

// A wrong length becomes the distance to the nearest line feed; right ones, and everything past the first
// element the reader would refuse, stay.
TEST(CacheFileRepair, LengthsMadeRight)
{
    const std::string text = "X = \"ab\"", twoLines = "X = \"a\nb\"";  // 8 and 9 bytes
    const std::string v5 = "TOLM_CACHE_V5";
    const std::pair<std::string, std::string> cases[] = {
        // Too short or too long: the nearer line feed wins; a line of more than digits is rewritten whole.
        {oneInput(v5, "6", text, true), oneInput(v5, "8", text, true)},
        {oneInput(v5, "4", twoLines, true), oneInput(v5, "6", twoLines, true)},
        {oneInput(v5, " 3 bytes", text, true), oneInput(v5, "8", text, true)},
        {v5 + "\n1\n18446744073709551615\nkey\n0\n0\n", v5 + "\n1\n7\nkey\n0\n0\n"},
        // Older files have no intermediate flag; record keys are lengths too.
        {oneInput("TOLM_CACHE_V4", "1", text, false), oneInput("TOLM_CACHE_V4", "8", text, false)},
        {v5 + "\n2\n3\nkey\n0\n0\n2\nkey2\n0\n0\n", v5 + "\n2\n3\nkey\n0\n0\n4\nkey2\n0\n0\n"},
        // V6 adds a program string after the key and output times after the outputs.
        {"TOLM_CACHE_V6\n2\n3\nkey\n1\n/bin/cc\n1\n0\n0\n1\n-\n0\n1\nk2\n0\n\n0\n0\n",
         "TOLM_CACHE_V6\n2\n3\nkey\n7\n/bin/cc\n1\n0\n0\n1\n-\n0\n2\nk2\n0\n\n0\n0\n"},
        // V7 adds fingerprints and input times after the output times.
        {"TOLM_CACHE_V7\n2\n3\nkey\n0\n\n1\n0\n0\n1\n-\n1\n-\n1\n-\n0\n1\nk2\n0\n\n0\n0\n",
         "TOLM_CACHE_V7\n2\n3\nkey\n0\n\n1\n0\n0\n1\n-\n1\n-\n1\n-\n0\n2\nk2\n0\n\n0\n0\n"},
    };
    for (const auto& [input, repaired] : cases) EXPECT_EQ(repairCacheLengths(input), repaired) << input;
    // Right lengths stay, also across a line feed, and so does everything from a broken line or header on,
    // or without a line feed to end the bytes at.
    for (const std::string& kept : {oneInput(v5, "9", twoLines, true),
                                    v5 + "\n1\n1\nk\n1\n1\nB 1 0\n1\nX = \"ab\"\n",
                                    std::string("TOLM_CACHE_V8\n1\n1\nkey\n0\n0\n"), v5 + "\n1\n1\nkey"})
        EXPECT_EQ(repairCacheLengths(kept), kept);
}

}  // namespace
