#include "types/variable_access.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace TestSupport;

// The exact command-line pieces: each non-empty piece opens with a space, quotes are added only where
// missing; getVariableString keeps a text whole and flattens lists fully, getVariableStrings splits words
// and opens one list level below the value's own elements. A path is one shell word that /bin/sh reads
// literally, quoted even where texts are not when it needs it; texts such as library flags stay as written.
TEST(VariableAccessTest, CommandLinePieces)
{
    const struct {
        TolmValuePtr value;
        const char* prefix;
        bool quote;
        std::string whole;  // getVariableString
        std::string split;  // getVariableStrings
    } cases[] = {
        {listOf({str("a.c"), str("b.c")}), "", true, R"( "a.c" "b.c")", R"( "a.c" "b.c")"},
        {str("FOO BAR=1"), "-D", false, " -DFOO BAR=1", " -DFOO -DBAR=1"},
        {listOf({str(""), str("\"done\""), str("\"open"), str("close\""), str("x")}), "-T", true,
         R"( -T"done" -T"open" -T"close" -T"x")", R"( -T"done" -T"open" -T"close" -T"x")"},
        {str(""), "-D", true, "", ""},
        {listOf({str("a"), listOf({str("b"), listOf({str("c"), str("d")})})}), "", true, R"( "a" "b" "c" "d")",
         R"( "a" "b" "c d")"},
        {num(2), "-O", false, " -O2", ""},  // an integer has no elements
        {listOf({str("-O2 -g")}), "", true, R"( "-O2 -g")", R"( "-O2 -g")"},
        {Tolm::makePathStringValue("/a $b/`c`\"d\\e f"), "-I", true, R"( -I"/a \$b/\`c\`\"d\\e f")",
         R"( -I"/a \$b/\`c\`\"d\\e f")"},
        {Tolm::makePathStringValue("my libs/x"), "-l ", false, R"( -l "my libs/x")", R"( -l "my libs/x")"},
        {Tolm::makePathStringValue("/lib/x-1.a"), "", false, " /lib/x-1.a", " /lib/x-1.a"},
        // A relative path that begins with '-' never stands where an option would: after a prefix it
        // is the option's argument already, so only a quoted one changes there.
        {Tolm::makePathStringValue("-v.a"), "", false, R"( "./-v.a")", R"( "./-v.a")"},
        {Tolm::makePathStringValue("-v.a"), "", true, R"( "./-v.a")", R"( "./-v.a")"},
        {Tolm::makePathStringValue("-inc"), "-I", true, R"( -I"./-inc")", R"( -I"./-inc")"},
        {Tolm::makePathStringValue("-x"), "-D", false, " -D-x", " -D-x"},
        {listOf({str("-lm"), str("--as-needed")}), "", true, R"( "-lm" "--as-needed")", R"( "-lm" "--as-needed")"},
    };
    for (const auto& c : cases) {
        Tolm::Context context;
        context.addAssignment(set("FLAGS", c.value), 0);
        EXPECT_EQ(Tolm::getVariableString(context, "flags", c.prefix, c.quote), c.whole) << c.value->toString();
        EXPECT_EQ(Tolm::getVariableStrings(context.assignments, "Flags", c.prefix, c.quote), c.split)
            << c.value->toString();
    }
}

// A file name reaches the shell as one word taken literally; one that begins with '-' is named from the
// current directory, so that no program reads it as an option.
TEST(VariableAccessTest, QuotedPath)
{
    const std::pair<const char*, const char*> rows[] = {
        {"libx.a", R"("libx.a")"},     {"-v.a", R"("./-v.a")"},     {"--", R"("./--")"},
        {"/abs/-v.a", R"("/abs/-v.a")"}, {"a-b", R"("a-b")"},         {"-$x", R"("./-\$x")"},
        {"", R"("")"},
    };
    for (const auto& [path, expected] : rows) EXPECT_EQ(Tolm::quotedPath(path), expected) << path;
}
