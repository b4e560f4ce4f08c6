#include "app/unit_registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using Tolm::QualifiedTargetName;
using Tolm::UnitRegistry;

// In a project "demo" (units app and core, app the default) that imports "other" (unit ui), a
// reference resolves with the defaults filling what it leaves out, ignoring letter case; what does
// not resolve names the first part that is missing.
TEST(UnitRegistry, ResolvesTargetReferences) {
    UnitRegistry registry;
    registry.add("demo", "app", TestSupport::unitWith("app", {"build", "Test"}));
    registry.add("demo", "core", TestSupport::unitWith("core", {"lib"}));
    registry.add("other", "ui", TestSupport::unitWith("ui", {"widget"}));
    registry.defaultNamespace = "demo";
    registry.defaultUnit = "app";
    const struct {
        const char* reference;
        const char* completed;  // the name after the lookup, or the failure
    } cases[] = {
        {"build", "demo/app::build"},
        {"core::lib", "demo/core::lib"},
        {"Other/UI::widget", "Other/UI::widget"},
        {"other/ui::lib", "Target 'other/ui::lib' not found."},
        {"nowhere/app::build", "Namespace 'nowhere' not found."},
        {"ui::widget", "Unit 'demo/ui' not found."},
        {"missing", "Target 'demo/app::missing' not found."},
    };
    for (const auto& c : cases) {
        QualifiedTargetName name = QualifiedTargetName::fromString(c.reference);
        std::string result = TestSupport::failureOf([&] { registry.getTarget(name); });
        if (result == "no failure") result = name.toString();
        EXPECT_EQ(result, c.completed) << c.reference;
        EXPECT_EQ(registry.hasTarget(c.reference), result.find("not found") == std::string::npos) << c.reference;
    }
}

// The walk's lookup spells every part of a completed name as declared, so that each spelling of a
// reference names one output folder and record; a second name of a unit (the main unit's "1")
// gives way to its own, and what does not resolve fails as before.
TEST(UnitRegistry, DeclaredSpelling) {
    UnitRegistry registry;
    registry.add("demo", "App", TestSupport::unitWith("App", {"build", "Test"}));
    registry.add("demo", "1", registry.units.at("demo").at("app"));
    registry.add("Other", "ui", TestSupport::unitWith("ui", {"Widget"}));
    registry.defaultNamespace = "demo";
    registry.defaultUnit = "app";
    const struct {
        const char* reference;
        const char* declared;
    } cases[] = {
        {"BUILD", "demo/App::build"},
        {"DEMO/app::test", "demo/App::Test"},
        {"other/UI::WIDGET", "Other/ui::Widget"},
        {"1::test", "demo/App::Test"},
        {"ui::widget", "Unit 'demo/ui' not found."},
    };
    for (const auto& c : cases) {
        QualifiedTargetName name = QualifiedTargetName::fromString(c.reference);
        std::string result = TestSupport::failureOf([&] { registry.getDeclaredTarget(name); });
        if (result == "no failure") result = name.toString();
        EXPECT_EQ(result, c.declared) << c.reference;
    }
}

}  // namespace
