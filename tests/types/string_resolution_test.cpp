#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "types/expansion_test_support.h"
#include "types/tolm_path_string.h"

namespace fs = std::filesystem;
using ExpansionTest::MapResolver;
using ExpansionTest::textsOf;
using ExpansionTest::tolmFailure;
using Texts = std::vector<std::string>;

// Resolving keeps the joined result as the value's own text and hands back a
// new value without a resolver.
TEST(StringResolutionTest, ResolveStoresExpandedText)
{
    MapResolver variables;
    variables.setList("S", {"a", "b"});
    auto text = std::make_shared<Tolm::TolmString>("x#{S}");
    text->setResolver(&variables);
    const auto result = text->resolve();
    EXPECT_EQ(textsOf(result), (Texts{"xa", "xb"}));
    EXPECT_EQ(text->text, "xa xb");
    EXPECT_NE(result.get(), text.get());
    for (const auto& item : dynamic_cast<const Tolm::TolmList&>(*result).items())
        EXPECT_EQ(dynamic_cast<const Tolm::TolmString&>(*item).resolver, nullptr);
}

// A failed expansion leaves the value's text as it was.
TEST(StringResolutionTest, FailureLeavesTextUnchanged)
{
    MapResolver variables;
    auto text = std::make_shared<Tolm::TolmString>("${open");
    text->setResolver(&variables);
    EXPECT_EQ(tolmFailure([&] { text->resolve(); }), "missing '}'");
    EXPECT_EQ(text->text, "${open");
}

namespace {

// Path resolution against a scratch directory holding a.c, b.c and c.h.
class PathResolutionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() /
               ("tolm_paths_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(root);
        fs::create_directories(root / "src");
        for (const char* name : {"b.c", "a.c", "c.h"})
            std::ofstream(root / "src" / name) << "x";
    }
    void TearDown() override { fs::remove_all(root); }

    std::shared_ptr<Tolm::TolmPathString> path(const std::string& text)
    {
        auto value = std::make_shared<Tolm::TolmPathString>(text, root);
        value->setResolver(&variables);
        return value;
    }

    fs::path root;
    MapResolver variables;
};

}  // namespace

// Wildcards turn one path into a list of full paths with no base directory.
TEST_F(PathResolutionTest, WildcardGivesListOfFullPaths)
{
    const auto result = path("src/*.c")->resolve();
    const auto* list = dynamic_cast<const Tolm::TolmList*>(result.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(textsOf(result), (Texts{(root / "src/a.c").native(), (root / "src/b.c").native()}));
    for (const auto& item : list->items())
        EXPECT_TRUE(dynamic_cast<const Tolm::TolmPathString&>(*item).baseDirectory.empty());
}

// An unmatched pattern stays as the joined pattern path, as one path value.
TEST_F(PathResolutionTest, UnmatchedPatternKept)
{
    auto value = path("src/*.cpp");
    const auto result = value->resolve();
    const auto* single = dynamic_cast<const Tolm::TolmPathString*>(result.get());
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->text, (root / "src/*.cpp").native());
    EXPECT_TRUE(single->baseDirectory.empty());
    EXPECT_EQ(value->text, (root / "src/*.cpp").native());
    EXPECT_EQ(value->baseDirectory, root);
}

// Variables expand before the file system is asked, element by element.
TEST_F(PathResolutionTest, ExpansionThenGlobPerElement)
{
    variables.setText("DIR", "src");
    variables.setList("EXT", {"h", "c"});
    const auto result = path("${DIR}/*.#{EXT}")->resolve();
    EXPECT_EQ(textsOf(result), (Texts{(root / "src/c.h").native(), (root / "src/a.c").native(),
                                      (root / "src/b.c").native()}));
}

// An absolute text ignores the base directory.
TEST_F(PathResolutionTest, AbsoluteTextIgnoresBase)
{
    auto value = std::make_shared<Tolm::TolmPathString>((root / "src/a.?").native(), "/elsewhere");
    const auto result = value->resolve();
    EXPECT_EQ(textsOf(result), (Texts{(root / "src/a.c").native()}));
}

// A cross expansion over nothing gives an empty list of paths.
TEST_F(PathResolutionTest, EmptyCrossGivesNoPaths)
{
    variables.setList("NONE", {});
    const auto result = path("src/#{NONE}.c")->resolve();
    ASSERT_NE(dynamic_cast<const Tolm::TolmList*>(result.get()), nullptr);
    EXPECT_TRUE(textsOf(result).empty());
}
