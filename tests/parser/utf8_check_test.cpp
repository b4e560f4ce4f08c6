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

// The first NUL byte is placed as the lexer places a character: lines counted from 1 at each line
// feed (a carriage return is a character of its line), columns from 0 in characters, so a
// multi-byte character before it on its line counts once and one on an earlier line not at all.
TEST(Utf8Check, FirstNulBytePosition)
{
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::size_t line, column;
    } cases[] = {
        {"\0"s, 1, 0},
        {"ab\0c\0"s, 1, 2},
        {"unit u\n\ng: { cmdline = \"echo\0\" }\n"s, 3, 20},
        {"a\r\n\tb\r\0"s, 2, 3},
        {"caf\xC3\xA9\0"s, 1, 4},
        {"\xE2\x82\xAC\xF0\x9F\x98\x80 \0"s, 1, 3},
        {"\xF0\x9F\x98\x80\xC3\xA9\nx\0"s, 2, 1},
    };
    for (const auto& c : cases) {
        const auto position = Tolm::firstNulByte(c.text);
        ASSERT_TRUE(position) << c.text;
        EXPECT_EQ(position->line, c.line) << c.text;
        EXPECT_EQ(position->column, c.column) << c.text;
    }
    EXPECT_FALSE(Tolm::firstNulByte(""));
    EXPECT_FALSE(Tolm::firstNulByte("no\nnul \xC3\xA9\n"));
}

}  // namespace
