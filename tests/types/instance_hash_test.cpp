#include "types/instance_hash.h"

#include <gtest/gtest.h>

namespace Tolm {
namespace {

// Known 64-bit FNV-1a values, as 16 lower-case hexadecimal digits; high bytes count unsigned.
TEST(InstanceHashTest, KnownValues)
{
    EXPECT_EQ(fnv1aHash64Hex("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(fnv1aHash64Hex(""), "cbf29ce484222325");
    EXPECT_EQ(fnv1aHash64Hex("foobar"), "85944171f73967e8");
    EXPECT_EQ(fnv1aHash64(std::string(1, '\xff')), (0xcbf29ce484222325ULL ^ 0xffULL) * 0x100000001b3ULL);
}

}  // namespace
}  // namespace Tolm
