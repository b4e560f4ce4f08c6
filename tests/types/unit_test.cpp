#include "types/unit.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "context_test_support.h"

namespace Tolm {
namespace {

Target named(const char* name)
{
    Target t;
    t.name.target = name;
    return t;
}

// The first target added is the main one; a name repeated in other case is refused with the first spelling.
TEST(UnitTest, AddTargetRefusesDuplicates)
{
    Unit unit;
    EXPECT_EQ(unit.mainTarget, "");
    for (const char* name : {"app", "lib"}) unit.addTarget(named(name));
    EXPECT_EQ(TestSupport::failureText<std::invalid_argument>([&] { unit.addTarget(named("APP")); }),
              "Key already exists: app");
    EXPECT_EQ(unit.targets.size(), 2u);
    EXPECT_EQ(unit.mainTarget, "app");
}

}  // namespace
}  // namespace Tolm
