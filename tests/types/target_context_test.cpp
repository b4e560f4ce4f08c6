#include "types/target_context.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "types/context_template.h"
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

// Plain texts keep the instance names they always had; any other parameter is told apart by its
// class and complete value, and the same values always give the same name.
TEST(TargetContextTest, InstanceHashFromClassAndCompleteValue)
{
    using Values = std::vector<TolmValuePtr>;
    const auto nameOf = [](const Values& values) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < values.size(); ++i) names.push_back("p" + std::to_string(i));
        return TargetContext(libTarget(names), values).instanceName();
    };
    EXPECT_EQ(nameOf({str("3")}), "lib::app@af63ae4c86019e62");
    EXPECT_EQ(nameOf({str("release"), str("x86")}), "lib::app@6c40f0d0b6674f1d");
    EXPECT_EQ(nameOf({str(std::string("a\0b", 3)), str("c")}), "lib::app@369e400e26ac6460");
    // The empty text is a value too: its instance is not the one without values.
    EXPECT_EQ(nameOf({str("")}), "lib::app@7fa4f2bf464dc7cf");
    // Pinned: a changed description would move every such instance to a new directory and record.
    EXPECT_EQ(nameOf({num(3)}), "lib::app@beefeaba9f56cec1");

    const auto path = [](const std::string& base, std::string text) { return makePathStringValue(base, std::move(text)); };
    const auto objects = [&](const std::string& object) { return contextValue({set("OBJS", listOf({path("", object)}))}); };
    const auto guarded = [](const std::string& value) {
        auto nested = contextValue({set("x", str("1"))});
        nested->context->conditions.emplace_back(Condition{ref("x"), str("1"), Condition::OperatorType::Equal},
                                                 std::make_shared<ContextTemplate>(std::vector{set("D", str(value))}));
        return nested;
    };
    const struct {
        Values a, b;
        bool same;
    } cases[] = {
        {{num(3)}, {str("3")}, false},
        {{num(3), str("3")}, {str("3"), num(3)}, false},
        {{objects("/p/a.o")}, {objects("/p/b.o")}, false},
        {{objects("/p/a.o")}, {objects("/p/a.o")}, true},
        {{contextValue({set("A", str("1"))})}, {contextValue({set("A", num(1))})}, false},
        {{path("/p", "a.c")}, {path("/q", "a.c")}, false},
        {{listOf({str("a"), str("b")})}, {str("a b")}, false},
        {{guarded("y")}, {guarded("y")}, true},
        {{guarded("y")}, {guarded("z")}, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(nameOf(cases[i].a) == nameOf(cases[i].b), cases[i].same) << "case " << i;
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
