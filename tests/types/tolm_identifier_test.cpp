#include "types/tolm_identifier.h"

#include <gtest/gtest.h>

#include "types/tolm_exceptions.h"
#include "types/value_factories.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {

using TestHelpers::failureMessage;
using TestHelpers::parsedIdentifier;

// The literal of an identifier is its identifier text, without quotes.
TEST(TolmIdentifierTest, LiteralIsIdentifierText)
{
    EXPECT_EQ(TolmIdentifier(parsedIdentifier("a.b[0][2..5][c.d]")).toLiteral(), "a.b[0][2..5][c.d]");
}

// Combining an unresolved identifier fails with a message naming both values.
TEST(TolmIdentifierTest, CombiningFails)
{
    TolmIdentifier v(parsedIdentifier("v"));
    auto s = makeStringValue("s");
    EXPECT_EQ(failureMessage<BadOperation>([&] { v.add(*s); }),
              "v is not resolved yet and '\"s\"' cannot be added.");
    EXPECT_EQ(failureMessage<BadOperation>([&] { v.append(*s); }),
              "v is not resolved yet and '\"s\"' cannot be appended to it.");
}

// An unresolved identifier cannot be iterated, indexed or tested for equality.
TEST(TolmIdentifierTest, UnresolvedUsesFail)
{
    TolmIdentifier v(parsedIdentifier("v"));
    auto s = makeStringValue("v");
    EXPECT_THROW(v.begin(), BadOperation);
    EXPECT_THROW(v.end(), BadOperation);
    EXPECT_THROW(v.equals(*s), BadOperation);
    EXPECT_THROW(v.notEquals(*s), BadOperation);
    EXPECT_EQ(failureMessage<IndexException>([&] { v.get(AccessKey(std::int64_t{0})); }),
              "Variable v cannot be indexed with [0]");
    EXPECT_FALSE(v.greaterThan(*s));
    EXPECT_FALSE(v.lessThan(*s));
}

// Resolution hands back the looked-up value itself; without a context it fails cleanly.
TEST(TolmIdentifierTest, Resolve)
{
    struct Fixed : Resolver {
        TolmValuePtr value = makeStringValue("found");
        TolmValuePtr lookup(const Identifier&) override { return value; }
    } resolver;
    TolmIdentifier v(parsedIdentifier("v"));
    EXPECT_THROW(v.resolve(), BadOperation);
    v.setResolver(&resolver);
    EXPECT_EQ(v.resolve(), resolver.value);
}

}  // namespace
}  // namespace Tolm
