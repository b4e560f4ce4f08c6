#include "types/tolm_identifier.h"

#include <gtest/gtest.h>

#include "types/tolm_exceptions.h"
#include "types/value_factories.h"

namespace Tolm {
namespace {

TolmIdentifier identifierValue(const std::string& text)
{
    Identifier id;
    ParseError error;
    EXPECT_TRUE(Identifier::parse(text, id, error));
    return TolmIdentifier(id);
}

// The literal of an identifier is its identifier text, without quotes.
TEST(TolmIdentifierTest, LiteralIsIdentifierText)
{
    EXPECT_EQ(identifierValue("a.b[0][2..5][c.d]").toLiteral(), "a.b[0][2..5][c.d]");
    EXPECT_EQ(identifierValue("x").toString(), "x");
}

// Combining an unresolved identifier fails with a message naming both values.
TEST(TolmIdentifierTest, CombiningFails)
{
    auto v = identifierValue("v");
    auto s = makeStringValue("s");
    try {
        v.add(*s);
        FAIL();
    } catch (const BadOperation& e) {
        EXPECT_EQ(e.message(), "v is not resolved yet and '\"s\"' cannot be added.");
    }
    try {
        v.append(*s);
        FAIL();
    } catch (const BadOperation& e) {
        EXPECT_EQ(e.message(), "v is not resolved yet and '\"s\"' cannot be appended to it.");
    }
}

// An unresolved identifier cannot be iterated, indexed or tested for equality.
TEST(TolmIdentifierTest, UnresolvedUsesFail)
{
    auto v = identifierValue("v");
    EXPECT_THROW(v.begin(), BadOperation);
    EXPECT_THROW(v.end(), BadOperation);
    EXPECT_THROW(v.equals(*makeStringValue("v")), BadOperation);
    EXPECT_THROW(v.notEquals(*makeStringValue("v")), BadOperation);
    try {
        v.get(AccessKey(std::int64_t{0}));
        FAIL();
    } catch (const IndexException& e) {
        EXPECT_EQ(e.message(), "Variable v cannot be indexed with [0]");
    }
    EXPECT_FALSE(v.greaterThan(*makeStringValue("v")));
    EXPECT_FALSE(v.lessThan(*makeStringValue("v")));
}

// Resolution hands back the looked-up value itself; without a context it fails cleanly.
TEST(TolmIdentifierTest, Resolve)
{
    struct Fixed : Resolver {
        TolmValuePtr value = makeStringValue("found");
        TolmValuePtr lookup(const Identifier&) override { return value; }
    } resolver;
    auto v = identifierValue("v");
    EXPECT_THROW(v.resolve(), BadOperation);
    v.setResolver(&resolver);
    EXPECT_EQ(v.resolve(), resolver.value);
    EXPECT_EQ(v.clone()->typeName(), "TolmIdentifier");
}

}  // namespace
}  // namespace Tolm
