#include "types/target_context.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "types/instance_hash.h"
#include "types/target.h"

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

// Parameters become variables up to the shorter list, replacing a block's += value while the entry keeps
// type Append; the instance text, hash and name follow from the values.
TEST(TargetContextTest, Parameters)
{
    TargetContext plain(libTarget({"a"}), {});
    EXPECT_EQ(plain.instanceHash() + plain.instanceName(), "lib::app");
    TargetContext one(libTarget({"p"}), {str("a"), str("ignored")});
    EXPECT_EQ(one.instanceText, "a");
    EXPECT_EQ(one.instanceName(), "lib::app@af63dc4c8601ec8c");
    TargetContext three(libTarget({"a", "FLAGS", "c"}, {append("flags", str("-O2"))}), {str("x"), str("-g")});
    EXPECT_EQ(textOf(three, "A") + textOf(three, "flags"), "x-g");
    EXPECT_EQ(three.assignments.at("FLAGS").type, Type::Append);
    EXPECT_EQ(three.assignments.count("c"), 0u);
    Target external = libTarget({});
    external.name.ns = "ext";
    EXPECT_EQ(TargetContext(external, {}).instanceName(), "ext/lib::app");
}

// Values that concatenate alike stay different instances, also when a text holds the separator's bytes;
// the hash counts high bytes unsigned.
TEST(TargetContextTest, InstanceTextKeepsValuesApart)
{
    EXPECT_EQ(fnv1aHash64(std::string(1, '\xff')), (0xcbf29ce484222325ULL ^ 0xffULL) * 0x100000001b3ULL);
    std::string pair("\0\1", 2);
    using Texts = std::vector<std::string>;
    for (const Texts& p : {Texts{"ab", "c", "a", "bc"}, Texts{"x" + pair + "y", "", "x", "y" + pair}}) {
        TargetContext first(libTarget({"a", "b"}), {str(p[0]), str(p[1])});
        TargetContext second(libTarget({"a", "b"}), {str(p[2]), str(p[3])});
        EXPECT_NE(first.instanceName(), second.instanceName()) << p[0] << "|" << p[1];
    }
}

// Two instances of one target share no values, not even nested contexts, and leave the template alone.
TEST(TargetContextTest, InstancesAreIsolated)
{
    auto nested = contextValue({set("inner", makeListValue({str("i")}))});
    Target target = libTarget({}, {set("L", makeListValue({str("a")})), set("N", nested)});
    TargetContext first(target, {}), second(target, {});
    first.addAssignment(append("L", str("b")), 0);
    first.addAssignment(append("N", contextValue({append("inner", str("j"))})), 0);
    EXPECT_EQ(textOf(first, "L") + "|" + first.lookup(parsedIdentifier("N.inner"))->toString(), "a b|i j");
    EXPECT_EQ(textOf(second, "L") + "|" + second.lookup(parsedIdentifier("N.inner"))->toString(), "a|i");
    EXPECT_EQ(textOf(*nested->context, "inner") + "|" + target.assignments[0].value->toString(), "i|a");
}

}  // namespace
}  // namespace Tolm
