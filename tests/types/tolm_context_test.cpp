#include "types/tolm_context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"

namespace Tolm {
namespace {

using namespace TestSupport;

std::shared_ptr<TolmContext> contextOf(std::vector<Assignment> assignments)
{
    auto context = std::make_shared<Context>();
    for (auto& a : assignments) context->addAssignment(a, 0);
    return std::make_shared<TolmContext>(context);
}

// Prints and iterates the names in case-insensitive order; an empty context prints nothing.
TEST(TolmContextTest, NamesInOrder)
{
    auto value = contextOf({set("B", str("1")), set("a", str("2")), set("Z", str("3"))});
    EXPECT_EQ(value->toString(), "a B Z");
    EXPECT_EQ(value->toLiteral(), "a B Z");
    std::vector<std::string> names;
    for (auto it = value->begin(), end = value->end(); !it->equals(*end); it->advance()) {
        TolmValuePtr name = it->current();
        EXPECT_NE(dynamic_cast<TolmString*>(name.get()), nullptr);
        names.push_back(name->toString());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "B", "Z"}));
    EXPECT_EQ(contextOf({})->toString(), "");
}

// Appending a text declares that variable, clearing a value it had; raw texts and integers are refused.
TEST(TolmContextTest, AppendDeclares)
{
    auto value = contextOf({set("X", str("old"))});
    value->append(*str("X"));
    value->append(*str("Y"));
    EXPECT_EQ(value->context->assignments.at("X").value, nullptr);
    EXPECT_EQ(value->context->assignments.at("Y").type, Type::Declare);
    EXPECT_THROW(value->append(*makeRawStringValue("R")), BadConversion);
    EXPECT_THROW(value->append(*makeIntValue(1)), BadConversion);
}

// Adding a text declares it in the shared context; adding a context leaves this one unchanged.
TEST(TolmContextTest, AddCombines)
{
    auto value = contextOf({set("A", str("1"))});
    TolmValuePtr withText = value->add(*str("X"));
    EXPECT_TRUE(withText->equals(*value));
    EXPECT_EQ(value->context->assignments.count("X"), 1u);

    TolmValuePtr merged = value->add(*contextOf({set("B", str("2"))}));
    EXPECT_EQ(merged->toString(), "A B X");
    EXPECT_EQ(value->toString(), "A X");
}

// Equality means the same context object; a clone gets its own copy of the context.
TEST(TolmContextTest, EqualityAndClone)
{
    auto value = contextOf({set("A", str("1"))});
    auto sameContext = std::make_shared<TolmContext>(value->context);
    EXPECT_TRUE(value->equals(*sameContext));
    EXPECT_FALSE(value->equals(*contextOf({set("A", str("1"))})));
    TolmValuePtr copy = value->clone();
    EXPECT_FALSE(copy->equals(*value));
    EXPECT_EQ(copy->toString(), "A");
    EXPECT_THROW(value->equals(*str("A")), BadConversion);
}

// get by a text key gives the stored value; a missing name is a Variable not found.
TEST(TolmContextTest, GetByName)
{
    auto value = contextOf({set("A", str("1"))});
    EXPECT_EQ(value->get(AccessKey(std::string("a")))->toString(), "1");
    try {
        value->get(AccessKey(std::string("B")));
        FAIL() << "no exception";
    } catch (const NotFoundException& failure) {
        EXPECT_EQ(failure.message(), "Variable 'B' not found.");
    }
}

// Resolving resolves the inner variables through the outer resolver and returns the same value.
TEST(TolmContextTest, ResolveThroughOuterContext)
{
    auto outer = std::make_shared<Context>();
    outer->addAssignment(set("Y", str("why")), 0);
    outer->addAssignment(set("C", contextOf({set("inner", ref("Y"))})), 0);
    TolmValuePtr resolved = outer->lookup(parsedIdentifier("C"));
    auto* value = dynamic_cast<TolmContext*>(resolved.get());
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->context->assignments.at("inner").value->toString(), "why");
}

}  // namespace
}  // namespace Tolm
