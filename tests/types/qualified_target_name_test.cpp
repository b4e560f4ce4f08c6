#include "types/qualified_target_name.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "value_test_helpers.h"

namespace Tolm {
namespace {

std::string parts(const QualifiedTargetName& n)
{
    return n.ns + "|" + n.unit + "|" + n.target;
}

std::string strictFailure(const std::string& text)
{
    return TestHelpers::failureMessage<std::runtime_error>([&] { parseDependencyString(text); });
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
    EXPECT_EQ(parts(QualifiedTargetName::fromString("a::b::c")), "|a|b::c");
    EXPECT_EQ(parts(QualifiedTargetName::fromString("x/y/z::t")), "x|y/z|t");
    EXPECT_EQ(parts(QualifiedTargetName::fromString("::app")), "||app");
    EXPECT_EQ(parts(QualifiedTargetName::fromString("plain/name")), "||plain/name");
    EXPECT_EQ(parts(QualifiedTargetName::fromString("ext/lib::app")), "ext|lib|app");
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
    EXPECT_EQ(parts(parseDependencyString("app")), "||app");
    EXPECT_EQ(parts(parseDependencyString("lib::app")), "|lib|app");
    EXPECT_EQ(parts(parseDependencyString("ext/lib::app")), "ext|lib|app");
}

}  // namespace
}  // namespace Tolm
