#include "app/dependency_outputs.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "support/test_support.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"

namespace {

using namespace TestSupport;
using Tolm::Context;
using Tolm::QualifiedTargetName;

const QualifiedTargetName kApp{"proj", "main", "app"};

std::shared_ptr<Context> contextOf(std::vector<Tolm::Assignment> assignments) {
    auto context = std::make_shared<Context>();
    for (const Tolm::Assignment& assignment : assignments) context->addAssignment(assignment, 0);
    return context;
}

Tolm::Dependency dependencyWith(std::string alias = "", std::int32_t aliasKind = 0) {
    Tolm::Dependency dependency;
    dependency.alias = std::move(alias);
    dependency.aliasKind = aliasKind;
    return dependency;
}

// The variables of a context value, recursively, as "name={...}" or "name=text".
std::string shape(const Context& context) {
    std::string text;
    for (const auto& [key, assignment] : context.assignments) {
        text += (text.empty() ? "" : " ") + assignment.name + "=";
        if (auto* nested = dynamic_cast<Tolm::TolmContext*>(assignment.value.get()))
            text += "{" + shape(*nested->context) + "}";
        else
            text += assignment.value ? assignment.value->toString() : "<none>";
    }
    return text;
}

struct Walk {
    std::shared_ptr<Context> target;
    DependencyOutputStore store;
    explicit Walk(std::vector<Tolm::Assignment> own = {})
        : target(contextOf(std::move(own))), store(target, kApp) {}
};

// Each output lands under the alias, its target name (same unit and namespace, in any letter case)
// or its unit's name; names already taken give one warning each, and the outputs are still added.
TEST(DependencyOutputsTest, NamesOutputsAndWarnsAboutCollisions) {
    const char* const tail = " Names are case-insensitive; this may make dependency output ambiguous.\n";
    const struct {
        std::vector<Tolm::Assignment> own;
        Tolm::Dependency dependency;
        QualifiedTargetName name;
        const char* warning;  // without the common tail
        const char* shape;
    } cases[] = {
        {{}, dependencyWith("gen", 1), {"proj", "tools", "gen"}, "", "gen={LIB=a}"},
        {{}, dependencyWith(), {"PROJ", "Main", "zlib"}, "", "zlib={LIB=a}"},
        {{}, dependencyWith(), {"other", "main", "lib"}, "", "main={lib={LIB=a}}"},
        {{set("out", contextValue({set("x", str("1"))}))}, dependencyWith("OUT", 1), {"proj", "main", "lib"},
         "Dependency output alias 'OUT' collides with an existing context variable.", "out={LIB=a x=1}"},
        // A variable that cannot take the outputs fails the walk after the warning.
        {{set("out", str("x"))}, dependencyWith("out", 1), {"proj", "main", "lib"},
         "Dependency output alias 'out' collides with an existing context variable.",
         "!Cannot convert TolmContext LIB to TolmString"},
        {{declare("Lib")}, dependencyWith(), {"proj", "main", "lib"},
         "Dependency output 'lib' collides with an existing context variable.", "Lib={LIB=a}"},
        {{set("core", contextValue({set("lib", str("y"))}))}, dependencyWith(), {"proj", "core", "lib"},
         "Dependency output 'core::lib' collides with an existing dependency output.", "core={lib={LIB=a}}"},
        {{set("core", contextValue({set("other", str("y"))}))}, dependencyWith(), {"proj", "core", "lib"}, "",
         "core={lib={LIB=a} other=y}"},
        {{declare("core")}, dependencyWith(), {"proj", "core", "lib"},
         "Dependency output 'core::lib' collides with existing context variable 'core'.", "core={lib={LIB=a}}"},
    };
    for (const auto& c : cases) {
        Walk walk(c.own);
        LogCapture capture(5);
        const std::string failure = failureOf([&] {
            walk.store.addOutput(c.dependency, c.name, contextOf({set("LIB", str("a"))}));
        });
        EXPECT_EQ(capture.text(), *c.warning ? c.warning + std::string(tail) : "") << c.shape;
        EXPECT_EQ(failure == "no failure" ? shape(*walk.target) : "!" + failure, c.shape);
    }
}

// A variable the merged context refuses now (it still holds an unresolved reference) is
// appended once more after the target has been resolved.
TEST(DependencyOutputsTest, RetriesRefusedMergeAfterResolution) {
    Walk walk;
    const auto merged = dependencyWith("all", 2);
    walk.store.addMergedAliasOutput(merged, {"proj", "main", "a"}, contextOf({set("X", ref("Y")), set("Y", str("y"))}));
    {
        LogCapture quiet(5);
        walk.store.addMergedAliasOutput(merged, {"proj", "main", "b"}, contextOf({set("X", str("b"))}));
    }
    walk.target->resolveVariables();
    LogCapture capture(1);
    walk.store.retryMergedAppends();
    EXPECT_EQ(capture.text(), "Second try adding merged dependency output append \"b\".\n");
    const auto& all = dynamic_cast<Tolm::TolmContext&>(*walk.target->assignments.at("all").value);
    EXPECT_EQ(textOf(*all.context, "X"), "y b");
}

// The files of an output context are marked received, at any depth, with the lists and context
// values holding one and a text the dependency passed one on by; they keep their marks in the
// target's copy. A text, a number and the target's own variables are no files: unmarked.
TEST(DependencyOutputsTest, OutputsAreMarkedReceived) {
    std::function<std::string(const Tolm::TolmValuePtr&)> marks = [&](const Tolm::TolmValuePtr& value) {
        if (!value) return std::string("-");
        std::string text = value->fromDependency ? "1" : "0";
        if (auto* list = dynamic_cast<Tolm::TolmList*>(value.get()))
            for (const auto& item : list->items()) text += marks(item);
        if (auto* nested = dynamic_cast<Tolm::TolmContext*>(value.get()))
            for (const auto& [key, assignment] : nested->context->assignments) text += marks(assignment.value);
        return text;
    };
    const Tolm::TolmValuePtr passing = str("/p/g.h");
    passing->fromDependency = true;
    const auto output = contextOf({set("l", listOf({str("a"), listOf({num(1), Tolm::makePathStringValue("/p/f")})})),
                                   set("n", contextValue({set("x", str("b"))})), set("t", listOf({str("c"), passing})),
                                   declare("none")});
    markReceivedOutputs(*output);
    Walk walk({set("own", str("x"))});
    walk.store.addOutput(dependencyWith(), {"proj", "main", "lib"}, output);
    EXPECT_EQ(marks(walk.target->assignments.at("lib").value), "0" "10101" "00" "-" "101");
    EXPECT_EQ(marks(walk.target->assignments.at("own").value), "0");
}

}  // namespace
