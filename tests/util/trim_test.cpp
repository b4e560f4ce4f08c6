#include "util/trim.h"

#include <gtest/gtest.h>

// Leading and trailing white space of every isspace kind goes; inner space stays.
TEST(TrimWhitespace, RemovesOnlyOuterSpace)
{
    EXPECT_EQ(Util::trimWhitespace("  core  "), "core");
    EXPECT_EQ(Util::trimWhitespace("\t\n\v\f\r a b \r\n"), "a b");
    EXPECT_EQ(Util::trimWhitespace("plain"), "plain");
    EXPECT_EQ(Util::trimWhitespace(""), "");
    EXPECT_EQ(Util::trimWhitespace(" \t "), "");
    // Bytes above 0x7F are not white space.
    EXPECT_EQ(Util::trimWhitespace("\xA0x\xA0"), "\xA0x\xA0");
}
