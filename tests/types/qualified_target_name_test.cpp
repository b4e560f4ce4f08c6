#include "types/qualified_target_name.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace Tolm {
namespace {

std::string strictFailure(const std::string& text)
{
    try {
        parseDependencyString(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no failure";
}

// The canonical text always writes both separators.
TEST(QualifiedTargetNameTest, CanonicalText)
{
    EXPECT_EQ((QualifiedTargetName{"ext", "lib", "app"}.toString()), "ext/lib::app");
    EXPECT_EQ((QualifiedTargetName{"", "lib", "app"}.toString()), "/lib::app");
    EXPECT_EQ((QualifiedTargetName{"", "", "app"}.toString()), "/::app");
}

// The lenient reading splits at the first "::" and the first "/" and accepts empty parts.
TEST(QualifiedTargetNameTest, LenientReading)
{
    auto n = QualifiedTargetName::fromString("a::b::c");
    EXPECT_EQ(n.ns, "");
    EXPECT_EQ(n.unit, "a");
    EXPECT_EQ(n.target, "b::c");

    n = QualifiedTargetName::fromString("x/y/z::t");
    EXPECT_EQ(n.ns, "x");
    EXPECT_EQ(n.unit, "y/z");
    EXPECT_EQ(n.target, "t");

    n = QualifiedTargetName::fromString("::app");
    EXPECT_EQ(n.unit, "");
    EXPECT_EQ(n.target, "app");

    n = QualifiedTargetName::fromString("plain/name");
    EXPECT_EQ(n.ns, "");
    EXPECT_EQ(n.unit, "");
    EXPECT_EQ(n.target, "plain/name");
}

// The canonical text reads back to the same name.
TEST(QualifiedTargetNameTest, RoundTrip)
{
    QualifiedTargetName name{"ext", "lib", "app"};
    auto back = QualifiedTargetName::fromString(name.toString());
    EXPECT_EQ(back.ns, "ext");
    EXPECT_EQ(back.unit, "lib");
    EXPECT_EQ(back.target, "app");
}

// The strict reading rejects empty parts with its three exact messages.
TEST(QualifiedTargetNameTest, StrictReadingFailures)
{
    EXPECT_EQ(strictFailure(""), "Dependency string is empty");
    EXPECT_EQ(strictFailure("lib::"), "Dependency string has empty prefix or target: lib::");
    EXPECT_EQ(strictFailure("::app"), "Dependency string has empty prefix or target: ::app");
    EXPECT_EQ(strictFailure("/lib::app"), "Dependency string has empty ns or unit: /lib::app");
    EXPECT_EQ(strictFailure("ext/::app"), "Dependency string has empty ns or unit: ext/::app");
}

// The strict reading accepts a bare target and full names.
TEST(QualifiedTargetNameTest, StrictReadingSuccess)
{
    auto n = parseDependencyString("app");
    EXPECT_EQ(n.ns, "");
    EXPECT_EQ(n.unit, "");
    EXPECT_EQ(n.target, "app");

    n = parseDependencyString("ext/lib::app");
    EXPECT_EQ(n.ns, "ext");
    EXPECT_EQ(n.unit, "lib");
    EXPECT_EQ(n.target, "app");

    n = parseDependencyString("lib::app");
    EXPECT_EQ(n.ns, "");
    EXPECT_EQ(n.unit, "lib");
}

}  // namespace
}  // namespace Tolm
