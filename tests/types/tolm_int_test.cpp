#include "types/tolm_int.h"

#include <gtest/gtest.h>

#include <climits>

#include "types/tolm_exceptions.h"
#include "types/value_factories.h"

namespace Tolm {
namespace {

// Adding past the largest integer wraps to the smallest, as two's complement does.
TEST(TolmIntTest, AddWrapsAround)
{
    TolmInt big(INT32_MAX);
    auto sum = big.add(TolmInt(1));
    EXPECT_EQ(sum->toString(), "-2147483648");
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
    try {
        five.append(*text);
        FAIL() << "append of a string succeeded";
    } catch (const BadConversion& e) {
        EXPECT_EQ(e.message(), "Cannot convert TolmInt 5 to TolmString");
    }
    EXPECT_EQ(five.value, 5);
    EXPECT_THROW(five.add(*text), BadConversion);
    EXPECT_THROW(five.equals(*text), BadConversion);
    EXPECT_THROW(five.notEquals(*text), BadConversion);
    EXPECT_THROW(five.greaterThan(*text), BadConversion);
    EXPECT_THROW(five.lessThan(*text), BadConversion);
}

// Integers compare by signed value.
TEST(TolmIntTest, ComparesSignedValues)
{
    TolmInt minusOne(-1);
    TolmInt two(2);
    EXPECT_TRUE(minusOne.lessThan(two));
    EXPECT_TRUE(two.greaterThan(minusOne));
    EXPECT_FALSE(two.lessThan(TolmInt(2)));
    EXPECT_TRUE(two.equals(TolmInt(2)));
    EXPECT_TRUE(two.notEquals(minusOne));
}

// The literal of an integer is its bare decimal text.
TEST(TolmIntTest, LiteralIsBareDecimal)
{
    EXPECT_EQ(TolmInt(-12).toLiteral(), "-12");
    EXPECT_EQ(TolmInt(0).toLiteral(), "0");
}

// An integer cannot be indexed with any key.
TEST(TolmIntTest, GetAlwaysFails)
{
    TolmInt seven(7);
    try {
        seven.get(AccessKey(std::int64_t{0}));
        FAIL();
    } catch (const IndexException& e) {
        EXPECT_EQ(e.message(), "Variable 7 cannot be indexed with [0]");
    }
    EXPECT_THROW(seven.get(AccessKey(KeyRange{0, 1, 1})), IndexException);
}

// Iterating an integer visits nothing.
TEST(TolmIntTest, IteratesAsNothing)
{
    TolmInt seven(7);
    EXPECT_TRUE(seven.begin()->equals(*seven.end()));
}

}  // namespace
}  // namespace Tolm
