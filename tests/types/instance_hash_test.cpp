#include "types/instance_hash.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace Tolm {
namespace {

using namespace TestSupport;
using Values = std::vector<TolmValuePtr>;

std::string textOf(const Values& values) { return instanceTextOf(values); }
std::string bytes(const char* text, std::size_t size) { return std::string(text, size); }

// Every list of parameter values has an instance text of its own, and so a hash of its own: the
// empty text, texts spelt like another value's description or like several texts joined, and
// the values those spellings imitate. Only no values at all give no text.
TEST(InstanceHashTest, EveryParameterListHasATextOfItsOwn)
{
    EXPECT_EQ(textOf({}), "");
    const std::vector<Values> lists = {
        {str("")},
        {str(""), str("")},
        {str("3")},
        {num(3)},
        // The description of the number 3, and of the empty text, as plain texts.
        {str(bytes("\0\3i1:3", 6))},
        {str(bytes("\0\3s0:", 5))},
        {str(bytes("\0\3", 2))},
        {str("a"), str("b")},
        {str(bytes("a\0\1b", 4))},
        {str(""), str("x")},
        {str(bytes("\0\1x", 3))},
        {str(bytes("\0", 1)), str("x")},
        {str(bytes("\0\2\0\1x", 5))},
        {raw("")},
        {nullptr},
    };
    std::set<std::string> texts, hashes;
    for (const Values& values : lists) {
        const std::string text = textOf(values);
        EXPECT_FALSE(text.empty()) << values.size();
        texts.insert(text);
        hashes.insert(fnv1aHash64Hex(text));
    }
    EXPECT_EQ(texts.size(), lists.size());
    EXPECT_EQ(hashes.size(), lists.size());
}

// Plain texts that were already apart keep the instance text, so the hash, output directory and
// cache record they always had: any single text that reads as nothing else, NUL bytes included,
// and joined texts.
TEST(InstanceHashTest, PlainTextsKeepTheirText)
{
    for (const std::string& text : {std::string("release"), std::string(" "), bytes("a\0b", 3), bytes("\0\2x", 3),
                                   bytes("x\0\3", 3)})
        EXPECT_EQ(textOf({str(text)}), text);
    EXPECT_EQ(textOf({str("release"), str("x86")}), bytes("release\0\1x86", 12));
    EXPECT_EQ(textOf({str(""), str(bytes("\0", 1))}), bytes("\0\1\0\2", 4));
    EXPECT_EQ(fnv1aHash64Hex("3"), "af63ae4c86019e62");
}

}  // namespace
}  // namespace Tolm
