#include "types/tolm_identifier.h"

#include <gtest/gtest.h>

#include "types/tolm_exceptions.h"
#include "value_test_helpers.h"

namespace Tolm {
namespace {
using namespace TestHelpers;

// An unresolved identifier prints as its name and refuses combining, iterating, indexing, equality and resolving.
TEST(TolmIdentifierTest, UnresolvedUsesFail)
{
    EXPECT_EQ(ident("a.b[0][2..5][c.d]")->toLiteral(), "a.b[0][2..5][c.d]");
    auto v = ident("v");
    auto s = text("s");
    EXPECT_EQ(failureMessage<BadOperation>([&] { v->add(*s); }), "v is not resolved yet and '\"s\"' cannot be added.");
    EXPECT_EQ(failureMessage<BadOperation>([&] { v->append(*s); }),
              "v is not resolved yet and '\"s\"' cannot be appended to it.");
    EXPECT_EQ(failureMessage<IndexException>([&] { v->get(at(0)); }), "Variable v cannot be indexed with [0]");
    EXPECT_THROW(v->begin(), BadOperation);
    EXPECT_THROW(v->end(), BadOperation);
    EXPECT_THROW(v->equals(*s), BadOperation);
    EXPECT_THROW(v->notEquals(*s), BadOperation);
    EXPECT_THROW(v->resolve(), BadOperation);
    EXPECT_FALSE(v->greaterThan(*s) || v->lessThan(*s));
}

}  // namespace
}  // namespace Tolm
