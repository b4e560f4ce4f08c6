#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <variant>

#include "parser/visit_helpers.h"
#include "types/tolm_exceptions.h"

namespace {

using ParserTest::unitOf;

const Tolm::QualifiedTargetName& staticName(const Tolm::Dependency& dependency) {
    return std::get<Tolm::QualifiedTargetName>(dependency.target);
}

std::string failureOf(const std::string& text) {
    try {
        unitOf(text);
    } catch (const Tolm::TolmException& e) {
        return e.message();
    }
    return "no exception";
}

// The unit clause names the unit and every target; the first target is the main one.
TEST(TolmVisitorUnit, UnitNameAndMainTarget) {
    auto unit = unitOf(R"(
unit core
lib: {}
app: lib {}
)");
    EXPECT_EQ(unit->name, "core");
    EXPECT_EQ(unit->mainTarget, "lib");
    ASSERT_EQ(unit->targets.size(), 2u);
    EXPECT_EQ(unit->targets.at("APP").name.toString(), "/core::app");
}

// Without a unit clause, names and qualified unit names stay empty.
TEST(TolmVisitorUnit, UnnamedUnit) {
    auto unit = unitOf("app: {}");
    EXPECT_EQ(unit->name, "");
    EXPECT_EQ(unit->targets.at("app").name.unit, "");
    EXPECT_TRUE(unitOf("// nothing here").get()->targets.empty());
}

// Target names differing only in case clash, naming the first one.
TEST(TolmVisitorUnit, DuplicateTargetNames) {
    try {
        unitOf("App: {}\napp: {}");
        FAIL() << "accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Key already exists: App");
    }
}

// Parameters keep their order; the block fills the target's template.
TEST(TolmVisitorUnit, ParametersAndBlock) {
    auto unit = unitOf(R"(
obj(src, flags): {
    if flags { OPT = flags }
    OUTPUT_NAME = src
}
plain: {})");
    const auto& obj = unit->targets.at("obj");
    EXPECT_EQ(obj.parameters, (std::vector<std::string>{"src", "flags"}));
    ASSERT_EQ(obj.assignments.size(), 1u);
    EXPECT_EQ(obj.assignments[0].name, "OUTPUT_NAME");
    EXPECT_EQ(obj.conditions.size(), 1u);
    EXPECT_TRUE(unit->targets.at("plain").parameters.empty());
}

// Direct dependencies split into namespace, unit and target.
TEST(TolmVisitorUnit, DirectDependencies) {
    auto unit = unitOf("t: app lib::app ext/lib::app {}");
    const auto& deps = unit->targets.at("t").dependencies;
    ASSERT_EQ(deps.size(), 3u);
    EXPECT_EQ(staticName(deps[0]).toString(), "/::app");
    EXPECT_EQ(staticName(deps[1]).toString(), "/lib::app");
    EXPECT_EQ(staticName(deps[2]).toString(), "ext/lib::app");
}

// Modifier, alias kinds and parameters of dependencies.
TEST(TolmVisitorUnit, ModifiersAliasesAndParameters) {
    auto unit = unitOf("t: +dep => out other +> merged gen(a, b.c) {}");
    const auto& deps = unit->targets.at("t").dependencies;
    ASSERT_EQ(deps.size(), 3u);
    EXPECT_EQ(deps[0].modifier, 1);
    EXPECT_EQ(deps[0].aliasKind, 1);
    EXPECT_EQ(deps[0].alias, "out");
    EXPECT_EQ(deps[1].modifier, 0);
    EXPECT_EQ(deps[1].aliasKind, 2);
    EXPECT_EQ(deps[1].alias, "merged");
    EXPECT_EQ(deps[2].aliasKind, 0);
    ASSERT_EQ(deps[2].parameters.size(), 2u);
    EXPECT_EQ(deps[2].parameters[1].toString(), "b.c");
}

// A macro dependency may take "." as its first parameter only.
TEST(TolmVisitorUnit, SourceParameterMarker) {
    auto unit = unitOf("t: @objects.list(., x, y) => objs {}");
    const auto& dep = unit->targets.at("t").dependencies.at(0);
    const auto& dynamic = std::get<Tolm::DynamicTarget>(dep.target);
    EXPECT_EQ(dynamic.identifier.toString(), "objects.list");
    EXPECT_TRUE(dynamic.sourceParameter);
    EXPECT_EQ(dep.parameters.size(), 2u);
    EXPECT_FALSE(std::get<Tolm::DynamicTarget>(unitOf("t: @m(x) {}")->targets.at("t").dependencies[0].target)
                     .sourceParameter);

    EXPECT_EQ(failureOf("t: @m(x, .) {}"), "The source parameter marker '.' must be the first dependency parameter.");
    EXPECT_EQ(failureOf("t: dep(.) {}"),
              "The source parameter marker '.' can only be used with a dynamic dependency.");
}

}  // namespace
