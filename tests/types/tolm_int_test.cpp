#include "types/tolm_int.h"

#include <gtest/gtest.h>

#include <climits>

#include "types/tolm_exceptions.h"
#include "types/value_factories.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {

using TestHelpers::failureMessage;

// Adding past the largest integer wraps to the smallest, as two's complement does.
TEST(TolmIntTest, AddWrapsAround)
{
    TolmInt big(INT32_MAX);
    EXPECT_EQ(big.add(TolmInt(1))->toString(), "-2147483648");
    EXPECT_EQ(big.value, INT32_MAX);  // add leaves the value alone

    TolmInt low(INT32_MIN);
    low.append(TolmInt(-1));
    EXPECT_EQ(low.value, INT32_MAX);
}

// An integer refuses every non-integer operand, naming itself first and the operand's type last.
TEST(TolmIntTest, NonIntegerOperandsAreBadConversions)
{
    TolmInt five(5);
    auto text = makeStringValue("5");
    EXPECT_EQ(failureMessage<BadConversion>([&] { five.append(*text); }),
              "Cannot convert TolmInt 5 to TolmString");
    EXPECT_EQ(five.value, 5);
    EXPECT_EQ(failureMessage<BadConversion>([&] { TolmInt(-12).lessThan(*text); }),
              "Cannot convert TolmInt -12 to TolmString");
    EXPECT_THROW(five.add(*text), BadConversion);
    EXPECT_THROW(five.equals(*text), BadConversion);
    EXPECT_THROW(five.notEquals(*text), BadConversion);
    EXPECT_THROW(five.greaterThan(*text), BadConversion);
}

// An integer cannot be indexed with any key, and iterating it visits nothing.
TEST(TolmIntTest, NeitherIndexedNorIterated)
{
    TolmInt seven(7);
    EXPECT_EQ(failureMessage<IndexException>([&] { seven.get(AccessKey(std::int64_t{0})); }),
              "Variable 7 cannot be indexed with [0]");
    EXPECT_THROW(seven.get(AccessKey(KeyRange{0, 1, 1})), IndexException);
    EXPECT_TRUE(seven.begin()->equals(*seven.end()));
}

}  // namespace
}  // namespace Tolm
