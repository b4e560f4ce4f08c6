#include "parser/utf8_check.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Well-formed text of every sequence length passes.
TEST(Utf8Check, AcceptsWellFormedText) {
    EXPECT_TRUE(Tolm::isValidUtf8(""));
    EXPECT_TRUE(Tolm::isValidUtf8("CFLAGS = \"-O2\""));
    EXPECT_TRUE(Tolm::isValidUtf8("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
}

// Stray, truncated, overlong, surrogate and out-of-range sequences fail.
TEST(Utf8Check, RejectsMalformedText) {
    for (const char* bad : {"\x80", "a\xC3", "\xE2\x82", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xFF", "\xC3\x28"})
        EXPECT_FALSE(Tolm::isValidUtf8(bad)) << bad;
}

// The failure carries the one message users see for bad encodings.
TEST(Utf8Check, ThrowsWithMessage) {
    try {
        Tolm::requireValidUtf8("x = \"\xFF\"");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "UTF-8 string contains an illegal byte sequence");
    }
}

}  // namespace
