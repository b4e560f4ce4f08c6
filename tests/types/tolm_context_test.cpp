#include "types/tolm_context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;

// Prints and iterates the NAMES in case-insensitive order, as text values; an empty context prints nothing.
TEST(TolmContextTest, NamesInOrder)
{
    auto value = contextValue({set("B", str("1")), set("a", str("2")), set("Z", str("3"))});
    EXPECT_EQ(value->toString() + "|" + value->toLiteral() + "|" + contextValue({})->toString(), "a B Z|a B Z|");
    std::string names;
    for (auto it = value->begin(), end = value->end(); !it->equals(*end); it->advance())
        names += dynamic_cast<TolmString&>(*it->current()).toString() + ",";
    EXPECT_EQ(names, "a,B,Z,");
}

// Appending or adding a text declares it in the shared context, clearing an old value; adding a context
// leaves this one unchanged; raw texts and integers are refused.
TEST(TolmContextTest, Combining)
{
    auto value = contextValue({set("A", str("1")), set("X", str("old"))});
    value->append(*str("X"));
    EXPECT_EQ(textOf(*value->context, "X"), "<none>");
    EXPECT_TRUE(value->add(*str("Y"))->equals(*value));
    EXPECT_EQ(value->context->assignments.at("Y").type, Type::Declare);
    EXPECT_EQ(value->add(*contextValue({set("B", str("2"))}))->toString() + "|" + value->toString(), "A B X Y|A X Y");
    EXPECT_THROW(value->append(*makeRawStringValue("R")), BadConversion);
    EXPECT_THROW(value->add(*makeIntValue(1)), BadConversion);
}

// Equality means the same context object, greaterThan counts entries, a clone gets its own copy of the
// context, and get by a missing name is a Variable not found.
TEST(TolmContextTest, ComparisonCloneAndGet)
{
    auto value = contextValue({set("A", str("1"))});
    EXPECT_TRUE(value->equals(TolmContext(value->context)));
    EXPECT_FALSE(value->equals(*contextValue({set("A", str("1"))})));
    EXPECT_TRUE(contextValue({set("x", nullptr), set("y", nullptr)})->greaterThan(*value));
    EXPECT_THROW(value->equals(*str("A")), BadConversion);
    TolmValuePtr copy = value->clone();
    EXPECT_FALSE(copy->equals(*value));
    EXPECT_EQ(copy->get(AccessKey(std::string("a")))->toString(), "1");
    EXPECT_EQ(failureText<NotFoundException>([&] { value->get(AccessKey(std::string("B"))); }),
              "Variable 'B' not found.");
}

}  // namespace
}  // namespace Tolm
