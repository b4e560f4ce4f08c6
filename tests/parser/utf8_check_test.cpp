// UTF-8 validation: every sequence kind, and a bad or good sequence at every
// offset of a long ASCII run, so word-wise skipping never steps over one.

#include "parser/utf8_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Check, SequencesAtEveryOffset)
{
    const struct {
        std::string sequence;
        bool valid;
    } cases[] = {
        {"a", true},
        {"\xC3\xA9", true},          // é
        {"\xE2\x82\xAC", true},      // €
        {"\xF0\x9F\x98\x80", true},  // an emoji
        {"\x80", false},             // a lone continuation byte
        {"\xC0\xAF", false},         // overlong
        {"\xE0\x80\xAF", false},     // overlong
        {"\xED\xA0\x80", false},     // a surrogate
        {"\xF4\x90\x80\x80", false}, // past U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"\xC3", false},             // cut short
        {"\xE2\x82", false},
        {"\xC3(", false},
        {"\xFF", false},
    };
    for (const auto& c : cases) {
        for (std::size_t before = 0; before < 20; ++before) {
            for (std::size_t after : {0, 1, 7, 8, 9, 16}) {
                const std::string text = std::string(before, 'x') + c.sequence + std::string(after, 'y');
                EXPECT_EQ(Tolm::isValidUtf8(text), c.valid) << before << " " << after << " " << c.sequence;
            }
        }
    }
    EXPECT_TRUE(Tolm::isValidUtf8(""));
    EXPECT_TRUE(Tolm::isValidUtf8(std::string(100, '\0')));
}

}  // namespace
