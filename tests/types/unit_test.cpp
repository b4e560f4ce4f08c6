#include "types/unit.h"

#include <gtest/gtest.h>

#include <stdexcept>


namespace Tolm {
namespace {

Target named(const std::string& name)
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
    unit.addTarget(named("app"));
    unit.addTarget(named("lib"));
    try {
        unit.addTarget(named("APP"));
        FAIL() << "no exception";
    } catch (const std::invalid_argument& failure) {
        EXPECT_STREQ(failure.what(), "Key already exists: app");
    }
    EXPECT_EQ(unit.targets.size(), 2u);
    EXPECT_EQ(unit.mainTarget, "app");
    EXPECT_EQ(unit.targets.at("LIB").name.target, "lib");
}

}  // namespace
}  // namespace Tolm
