#include "types/path_collection.h"

#include <gtest/gtest.h>

#include "types/value_factories.h"

namespace fs = std::filesystem;

// Paths come from path values at any list depth, in order and joined to their
// base (an absolute text replacing it); other values and null add nothing.
TEST(PathCollectionTest, CollectsPathValuesInOrder)
{
    const auto value = Tolm::makeListValue({
        Tolm::makePathStringValue("/p", "src/a.c"),
        Tolm::makeStringValue("not/a/path.c"),
        Tolm::makeListValue({Tolm::makePathStringValue("/p", "/abs/b.c"), Tolm::makePathStringValue("", "rel/c.c")}),
        Tolm::makeRawStringValue("raw.c"),
        Tolm::makeIntValue(3),
    });
    std::vector<fs::path> out{"/already/there"};
    Tolm::collectPathsFromValue(value, out);
    Tolm::collectPathsFromValue(nullptr, out);
    Tolm::collectPathsFromValue(Tolm::makePathStringValue("/base", "x.o"), out);
    const std::vector<fs::path> expected{"/already/there", "/p/src/a.c", "/abs/b.c", "rel/c.c", "/base/x.o"};
    EXPECT_EQ(out, expected);
}
