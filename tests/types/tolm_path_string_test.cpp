#include "types/tolm_path_string.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "types/value_factories.h"

namespace Tolm {
namespace {

// A path literal carries the directory it was read against, unless its text is absolute.
TEST(TolmPathStringTest, LiteralJoinsBaseDirectory)
{
    EXPECT_EQ(TolmPathString("src/a.c", "/p/q").toLiteral(), "P\"/p/q/src/a.c\"");
    EXPECT_EQ(TolmPathString("/abs/x", "/p/q").toLiteral(), "P\"/abs/x\"");
    EXPECT_EQ(TolmPathString("src/a.c", "").toLiteral(), "P\"src/a.c\"");
    // toString stays the bare text.
    EXPECT_EQ(TolmPathString("src/a.c", "/p/q").toString(), "src/a.c");
}

// Paths are equal when they name the same existing file, whatever their texts.
TEST(TolmPathStringTest, EqualityAsksTheFileSystem)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tolm_path_eq_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "src");
    std::ofstream(dir / "src" / "a.c") << "int x;\n";

    TolmPathString relative("src/a.c", dir);
    TolmPathString absolute((dir / "src" / "a.c").native(), "");
    EXPECT_TRUE(relative.equals(absolute));
    EXPECT_FALSE(relative.notEquals(absolute));

    TolmPathString missing("nothing.c", dir);
    TolmPathString sameMissing("nothing.c", dir);
    EXPECT_FALSE(missing.equals(sameMissing));

    std::filesystem::remove_all(dir);
}

// Against a non-path string, a path compares by text like any string.
TEST(TolmPathStringTest, EqualityWithPlainString)
{
    TolmPathString path("\"Src\"", "/nowhere");
    EXPECT_TRUE(path.equals(*makeStringValue("src")));
    EXPECT_EQ(path.typeName(), "TolmString");
}

}  // namespace
}  // namespace Tolm
