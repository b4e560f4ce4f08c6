#include "types/target_context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/instance_hash.h"
#include "types/target.h"
#include "types/tolm_context.h"

namespace Tolm {
namespace {

using namespace TestSupport;

Target libTarget(std::vector<std::string> parameters, std::vector<Assignment> block = {})
{
    Target t;
    t.name = QualifiedTargetName{"", "lib", "app"};
    t.parameters = std::move(parameters);
    t.assignments = std::move(block);
    return t;
}

// Parameters become variables and their single value's text is the instance text.
TEST(TargetContextTest, ParametersBecomeVariables)
{
    TargetContext t(libTarget({"a", "b"}), {str("x"), str("yz")});
    EXPECT_EQ(t.assignments.at("a").value->toString(), "x");
    EXPECT_EQ(t.assignments.at("B").value->toString(), "yz");
    EXPECT_EQ(t.instanceText.size(), 4u);
}

// A single parameter's instance text is its value's text; name and hash follow from it.
TEST(TargetContextTest, InstanceNameAndHash)
{
    TargetContext plain(libTarget({}), {});
    EXPECT_EQ(plain.instanceText, "");
    EXPECT_EQ(plain.instanceHash(), "");
    EXPECT_EQ(plain.instanceName(), "lib::app");

    TargetContext one(libTarget({"p"}), {str("a")});
    EXPECT_EQ(one.instanceText, "a");
    EXPECT_EQ(one.instanceHash(), "af63dc4c8601ec8c");
    EXPECT_EQ(one.instanceName(), "lib::app@af63dc4c8601ec8c");

    Target external = libTarget({});
    external.name.ns = "ext";
    EXPECT_EQ(TargetContext(external, {}).instanceName(), "ext/lib::app");
}

// ("ab","c") and ("a","bc") are different instances with different names.
TEST(TargetContextTest, InstanceTextKeepsValuesApart)
{
    TargetContext first(libTarget({"a", "b"}), {str("ab"), str("c")});
    TargetContext second(libTarget({"a", "b"}), {str("a"), str("bc")});
    EXPECT_NE(first.instanceText, second.instanceText);
    EXPECT_NE(first.instanceName(), second.instanceName());
}

// Extra names or extra values beyond the shorter list are ignored.
TEST(TargetContextTest, ShorterListWins)
{
    TargetContext t(libTarget({"a", "b", "c"}), {str("1"), str("2")});
    EXPECT_EQ(t.assignments.count("c"), 0u);
    EXPECT_EQ(t.assignments.size(), 2u);
    TargetContext u(libTarget({"a"}), {str("1"), str("2")});
    EXPECT_EQ(u.instanceText, "1");
}

// A parameter replaces the block's += value while the entry keeps type Append.
TEST(TargetContextTest, ParameterOverridesBlockValue)
{
    TargetContext t(libTarget({"FLAGS"}, {append("FLAGS", str("-O2"))}), {str("-g")});
    EXPECT_EQ(t.assignments.at("FLAGS").value->toString(), "-g");
    EXPECT_EQ(t.assignments.at("FLAGS").type, Type::Append);
}

// Two instances of one target share no values, not even nested contexts, and leave the template alone.
TEST(TargetContextTest, InstancesAreIsolated)
{
    auto nested = std::make_shared<TolmContext>(std::make_shared<Context>());
    nested->context->addAssignment(set("inner", makeListValue({str("i")})), 0);
    Target target = libTarget({}, {set("L", makeListValue({str("a")})), set("N", nested)});
    TargetContext first(target, {});
    TargetContext second(target, {});

    first.addAssignment(append("L", str("b")), 0);
    first.lookup(parsedIdentifier("L"));
    auto* firstNested = dynamic_cast<TolmContext*>(first.assignments.at("N").value.get());
    firstNested->context->addAssignment(append("inner", str("j")), 0);

    EXPECT_EQ(second.assignments.at("L").value->toString(), "a");
    auto* secondNested = dynamic_cast<TolmContext*>(second.assignments.at("N").value.get());
    EXPECT_EQ(secondNested->context->assignments.at("inner").value->toString(), "i");
    EXPECT_EQ(nested->context->assignments.at("inner").value->toString(), "i");
    EXPECT_EQ(target.assignments[0].value->toString(), "a");
}

// A context copied for a build job can be given the target's name and instance text.
TEST(TargetContextTest, CopiedContextTakesInstance)
{
    Context job;
    job.addAssignment(set("X", str("1")), 0);
    TargetContext t(job, QualifiedTargetName{"", "lib", "app"});
    EXPECT_EQ(t.instanceName(), "lib::app");
    EXPECT_TRUE(t.dependencies.empty());
    t.setInstance(QualifiedTargetName{"ns", "lib", "app"}, "a");
    EXPECT_EQ(t.instanceName(), "ns/lib::app@" + fnv1aHash64Hex("a"));
    EXPECT_EQ(t.assignments.at("X").value->toString(), "1");
}

}  // namespace
}  // namespace Tolm
