#include "types/tolm_path_string.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "value_test_helpers.h"

namespace Tolm {
namespace {
using namespace TestHelpers;

// The literal joins the base directory unless the text is absolute; values made from a path keep the directory.
TEST(TolmPathStringTest, BaseDirectory)
{
    EXPECT_EQ(TolmPathString("src/a.c", "/p/q").toLiteral(), "P\"/p/q/src/a.c\"");
    EXPECT_EQ(TolmPathString("/abs/x", "/p/q").toLiteral(), "P\"/abs/x\"");
    EXPECT_EQ(TolmPathString("src/a.c", "").toLiteral(), "P\"src/a.c\"");
    auto path = makePathStringValue("/p", std::string("a.c b.c"));
    EXPECT_EQ(path->toString(), "a.c b.c");
    EXPECT_EQ(path->typeName(), "TolmString");
    for (const auto& value : {path->add(*text("x")), path->begin()->current(), path->get(at(0)), path->clone()})
        EXPECT_EQ(dynamic_cast<TolmPathString&>(*value).baseDirectory, "/p");
}

// Paths are equal only when both name one existing file; against a plain string they compare by unquoted text.
TEST(TolmPathStringTest, Equality)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tolm_path_eq_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "src");
    std::ofstream(dir / "src" / "a.c") << "int x;\n";
    EXPECT_TRUE(TolmPathString("src/a.c", dir).equals(TolmPathString((dir / "src/a.c").native(), "")));
    EXPECT_FALSE(TolmPathString("nothing.c", dir).equals(TolmPathString("nothing.c", dir)));
    EXPECT_TRUE(TolmPathString("\"Src\"", dir).equals(*text("src")));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace Tolm
