#include "types/path_collection.h"

#include <gtest/gtest.h>

#include "types/value_factories.h"

namespace fs = std::filesystem;

// Paths come from path values at any list depth, in order; other texts and
// null values add nothing.
TEST(PathCollectionTest, CollectsPathValuesInOrder)
{
    const auto value = Tolm::makeListValue({
        Tolm::makePathStringValue("/p", "src/a.c"),
        Tolm::makeStringValue("not/a/path.c"),
        Tolm::makeListValue({Tolm::makePathStringValue("/p", "/abs/b.c"),
                             Tolm::makePathStringValue("", "rel/c.c")}),
        Tolm::makeRawStringValue("raw.c"),
        Tolm::makeIntValue(3),
    });
    std::vector<fs::path> out{"/already/there"};
    Tolm::collectPathsFromValue(value, out);
    Tolm::collectPathsFromValue(nullptr, out);
    const std::vector<fs::path> expected{"/already/there", "/p/src/a.c", "/abs/b.c", "rel/c.c"};
    EXPECT_EQ(out, expected);
}

// A single path value gives its joined path; a plain text gives nothing.
TEST(PathCollectionTest, SingleValues)
{
    std::vector<fs::path> out;
    Tolm::collectPathsFromValue(Tolm::makePathStringValue("/base", "x.o"), out);
    Tolm::collectPathsFromValue(Tolm::makeStringValue("/base/y.o"), out);
    EXPECT_EQ(out, std::vector<fs::path>{"/base/x.o"});
}
