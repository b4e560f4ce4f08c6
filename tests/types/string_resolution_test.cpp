#include <gtest/gtest.h>

#include "types/expansion_test_support.h"
#include "types/tolm_path_string.h"
#include "types/value_iteration.h"

using ExpansionTest::shown;

// Resolving keeps the joined result as the value's own text and hands back
// new values without a resolver; a failure leaves the text as it was.
TEST(StringResolutionTest, StoresTextOnlyOnSuccess)
{
    ExpansionTest::MapResolver variables;
    variables.setList("S", {"a", "b"});
    Tolm::TolmString value("x#{S}");
    value.setResolver(&variables);
    const auto result = value.resolve();
    EXPECT_EQ(shown(result), "[xa|xb]");
    EXPECT_EQ(value.text, "xa xb");
    EXPECT_EQ(dynamic_cast<const Tolm::TolmString&>(*Tolm::valueBegin(result)->current()).resolver, nullptr);
    value.text = "${open";
    EXPECT_THROW(value.resolve(), Tolm::TolmException);
    EXPECT_EQ(value.text, "${open");
}

// Path values expand variables, join each text to the base unless absolute
// and glob it: several paths make a list of full paths without a base, an
// unmatched pattern stays as the joined pattern, a cross over nothing gives
// no paths.
TEST(StringResolutionTest, PathsExpandAgainstFileSystem)
{
    const ExpansionTest::ScratchDir scratch;
    for (const char* name : {"src/b.c", "src/a.c", "src/c.h"})
        scratch.touch(name);
    ExpansionTest::MapResolver variables;
    variables.setText("DIR", "src");
    variables.setList("EXT", {"h", "c"});
    variables.setList("NONE", {});
    const std::string src = (scratch.root / "src/").native();
    const std::tuple<std::string, std::filesystem::path, std::string> cases[] = {
        {"src/*.c", scratch.root, "[" + src + "a.c|" + src + "b.c]"},
        {"${DIR}/*.#{EXT}", scratch.root, "[" + src + "c.h|" + src + "a.c|" + src + "b.c]"},
        {src + "a.?", "/elsewhere", src + "a.c"},
        {"src/*.cpp", scratch.root, src + "*.cpp"},
        {"src/#{NONE}.c", scratch.root, "[]"},
    };
    for (const auto& [text, base, expected] : cases) {
        Tolm::TolmPathString value(text, base);
        value.setResolver(&variables);
        const auto result = value.resolve();
        EXPECT_EQ(shown(result), expected) << text;
        const auto* list = dynamic_cast<const Tolm::TolmList*>(result.get());
        for (const auto& path : list ? list->items() : std::vector{result})
            EXPECT_TRUE(dynamic_cast<const Tolm::TolmPathString&>(*path).baseDirectory.empty()) << text;
        if (expected.front() != '[') {
            EXPECT_EQ(value.text, expected) << text;
        }
        EXPECT_EQ(value.baseDirectory, base);
    }
}
