#include "types/tolm_int.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "types/tolm_exceptions.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {
using namespace TestHelpers;

// Sums wrap as two's complement on add and append; add leaves the value alone.
TEST(TolmIntTest, SumsWrapAround)
{
    TolmInt big(INT32_MAX), low(INT32_MIN);
    EXPECT_EQ(big.add(TolmInt(1))->toString(), "-2147483648");
    EXPECT_EQ(big.value, INT32_MAX);
    low.append(TolmInt(-1));
    EXPECT_EQ(low.value, INT32_MAX);
}

// Non-integer operands fail naming the integer, then the operand's type; no key indexes it; it iterates as nothing.
TEST(TolmIntTest, RefusesOtherOperandsKeysAndIteration)
{
    TolmInt five(5);
    auto s = text("5");
    const std::function<void()> operations[] = {[&] { five.add(*s); }, [&] { five.append(*s); },
        [&] { five.equals(*s); }, [&] { five.notEquals(*s); }, [&] { five.greaterThan(*s); },
        [&] { five.lessThan(*s); }};
    for (const auto& op : operations)
        EXPECT_EQ(failureMessage<BadConversion>(op), "Cannot convert TolmInt 5 to TolmString");
    EXPECT_EQ(five.value, 5);
    EXPECT_EQ(failureMessage<IndexException>([&] { five.get(at(0)); }), "Variable 5 cannot be indexed with [0]");
    EXPECT_TRUE(elementTexts(num(7)).empty());
}

}  // namespace
}  // namespace Tolm
