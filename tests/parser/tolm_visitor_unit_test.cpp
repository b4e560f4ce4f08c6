#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

using ParserTest::failureOf;
using ParserTest::unitOf;

// Targets whose names differ only in letter case clash, naming the first.
TEST(TolmVisitorUnit, DuplicateTargets) {
    EXPECT_EQ(failureOf([] { unitOf("App: {}\napp: {}"); }), "Key already exists: App");
}

// Dependency forms: qualified names, modifier, alias kinds, parameters and the "." marker.
TEST(TolmVisitorUnit, Dependencies) {
    auto unit = unitOf("t: app lib::app ext/lib::app +dep => out other +> merged @gen.list(., a, b.c) @m(x) {}");
    const auto& deps = unit->targets.at("t").dependencies;
    ASSERT_EQ(deps.size(), 7u);
    const char* names[] = {"/::app", "/lib::app", "ext/lib::app", "/::dep", "/::other"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(std::get<Tolm::QualifiedTargetName>(deps[i].target).toString(), names[i]);
    const std::tuple<int, int, const char*> aliases[] = {{0, 0, ""}, {1, 1, "out"}, {0, 2, "merged"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(deps[i + 2].modifier, std::get<0>(aliases[i])) << i;
        EXPECT_EQ(deps[i + 2].aliasKind, std::get<1>(aliases[i])) << i;
        EXPECT_EQ(deps[i + 2].alias, std::get<2>(aliases[i])) << i;
    }
    const auto& macro = std::get<Tolm::DynamicTarget>(deps[5].target);
    EXPECT_EQ(macro.identifier.toString(), "gen.list");
    EXPECT_TRUE(macro.sourceParameter);
    ASSERT_EQ(deps[5].parameters.size(), 2u);
    EXPECT_EQ(deps[5].parameters[1].toString(), "b.c");
    EXPECT_FALSE(std::get<Tolm::DynamicTarget>(deps[6].target).sourceParameter);
    EXPECT_EQ(failureOf([] { unitOf("t: @m(x, .) {}"); }),
              "The source parameter marker '.' must be the first dependency parameter.");
    EXPECT_EQ(failureOf([] { unitOf("t: dep(.) {}"); }),
              "The source parameter marker '.' can only be used with a dynamic dependency.");
}

}  // namespace
