#include "types/qualified_target_name.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace Tolm {
namespace {

std::string parts(const QualifiedTargetName& n) { return n.ns + "|" + n.unit + "|" + n.target; }

// The canonical text writes both separators; the lenient reading splits at the first "::" and "/".
TEST(QualifiedTargetNameTest, CanonicalTextAndLenientReading)
{
    EXPECT_EQ((QualifiedTargetName{"ext", "lib", "app"}.toString()), "ext/lib::app");
    EXPECT_EQ((QualifiedTargetName{"", "lib", "app"}.toString()), "/lib::app");
    EXPECT_EQ((QualifiedTargetName{"", "", "app"}.toString()), "/::app");
    const std::pair<const char*, const char*> cases[] = {{"a::b::c", "|a|b::c"}, {"x/y/z::t", "x|y/z|t"},
        {"::app", "||app"}, {"plain/name", "||plain/name"}, {"ext/lib::app", "ext|lib|app"}, {"", "||"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(parts(QualifiedTargetName::fromString(text)), expected);
}

// The strict reading accepts a bare target and full names, and rejects empty parts exactly.
TEST(QualifiedTargetNameTest, StrictReading)
{
    auto strict = [](const char* text) {
        try {
            return parts(parseDependencyString(text));
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
    };
    const std::pair<const char*, const char*> cases[] = {{"app", "||app"}, {"lib::app", "|lib|app"},
        {"ext/lib::app", "ext|lib|app"}, {"", "Dependency string is empty"},
        {"lib::", "Dependency string has empty prefix or target: lib::"},
        {"::app", "Dependency string has empty prefix or target: ::app"},
        {"/lib::app", "Dependency string has empty ns or unit: /lib::app"},
        {"ext/::app", "Dependency string has empty ns or unit: ext/::app"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(strict(text), expected);
}

}  // namespace
}  // namespace Tolm
