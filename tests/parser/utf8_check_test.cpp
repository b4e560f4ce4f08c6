#include "parser/utf8_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every sequence kind is judged right at every offset of a long ASCII run, so word-wise skipping never
// steps over one: valid ones of 1 to 4 bytes; a lone continuation byte, overlong forms, a surrogate,
// code points past U+10FFFF, sequences cut short and bytes never used.
TEST(Utf8Check, SequencesAtEveryOffset)
{
    const std::pair<std::string, bool> cases[] = {
        {"a", true},            {"\xC3\xA9", true},      {"\xE2\x82\xAC", true},     {"\xF0\x9F\x98\x80", true},
        {"\x80", false},        {"\xC0\xAF", false},     {"\xE0\x80\xAF", false},    {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false}, {"\xC3", false}, {"\xE2\x82", false},
        {"\xC3(", false},       {"\xFF", false},
    };
    for (const auto& [sequence, valid] : cases) {
        for (std::size_t before = 0; before < 20; ++before) {
            for (std::size_t after : {0, 1, 7, 8, 9, 16}) {
                const std::string text = std::string(before, 'x') + sequence + std::string(after, 'y');
                EXPECT_EQ(Tolm::isValidUtf8(text), valid) << before << " " << after << " " << sequence;
            }
        }
    }
    EXPECT_TRUE(Tolm::isValidUtf8(""));
    EXPECT_TRUE(Tolm::isValidUtf8(std::string(100, '\0')));
}

}  // namespace
