#include "app/dependency_targets.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "parser/visit_helpers.h"
#include "support/test_support.h"

namespace {

constexpr const char* Around = " Units of project 'img': img, tests. Units of other projects: zz/zz; a target of "
                               "another project is written 'project/unit::target'.";

// Project "img" (units img, the main unit also under "1", and tests) importing "zz" (unit zz).
Tolm::UnitRegistry registryWith(const std::string& img, const std::string& zz = "lib: inner { }\ninner: { }\n") {
    Tolm::UnitRegistry units;
    std::shared_ptr<Tolm::Unit> main = ParserTest::unitOf("unit img\n" + img);
    units.add("img", "img", main);
    units.add("img", "1", main);
    units.add("img", "tests", ParserTest::unitOf("unit tests\nt: { }\n"));
    units.add("zz", "zz", ParserTest::unitOf("unit zz\n" + zz));
    units.defaultNamespace = "img";
    units.defaultUnit = "img";
    return units;
}

std::string checked(const Tolm::UnitRegistry& units, const std::string& main = "all") {
    return TestSupport::failureOf([&] { checkStaticDependencies(units, {"", "", main}); });
}

// Every dependency written as a name that the walk from the main target will reach is looked up,
// depth first in written order; a missing project or unit names the dependency, its target and
// the units of every project, a missing target says what the lookup says.
TEST(DependencyTargets, MissingUnitsFoundBeforeTheWalk) {
    const struct {
        std::string img;
        std::string failure;
    } cases[] = {
        {"all: a lib { }\na: { }\nlib: zz::lib { }\n",
         std::string("Unit 'img/zz' not found (dependency 'zz::lib' of target 'img/img::lib').") + Around},
        {"all: nope/zz::lib { }\n",
         std::string("Namespace 'nope' not found (dependency 'nope/zz::lib' of target 'img/img::all').") + Around},
        {"all: zz/zz::libz { }\n", "Target 'zz/zz::libz' not found."},
        // Depth first: what a reaches comes before b.
        {"all: a b { }\na: c { }\nb: x::y { }\nc: w::v { }\n",
         std::string("Unit 'img/w' not found (dependency 'w::v' of target 'img/img::c').") + Around},
        // The holder as declared, whatever the reference's spelling.
        {"all: IMG::Deep { }\ndeep: X::y { }\n",
         std::string("Unit 'img/X' not found (dependency 'X::y' of target 'img/img::deep').") + Around},
        // Every form that names an existing target passes; an unvisited target and a dynamic
        // dependency are not looked at; a loop ends the search (the walk reports it).
        {"all: +zz/zz::lib ZZ/Zz::LIB => z p(v) => pv tests::t @names a { v = \"x\" names = \"q::r\" }\n"
         "a: all { }\np(x): { }\nnever: nope::x { }\n",
         "no failure"},
    };
    for (const auto& c : cases) EXPECT_EQ(checked(registryWith(c.img)), c.failure) << c.img;

    // The imported project's own dependencies complete with its namespace.
    EXPECT_EQ(checked(registryWith("all: zz/zz::lib { }\n", "lib: inner zzz::q { }\ninner: { }\n")),
              "Unit 'zz/zzz' not found (dependency 'zzz::q' of target 'zz/zz::lib'). Units of project 'zz': zz. "
              "Units of other projects: img/img, img/tests; a target of another project is written "
              "'project/unit::target'.");
    // A main target that does not resolve is left to the walk.
    EXPECT_EQ(checked(registryWith("all: nope::x { }\n"), "missing"), "no failure");

    // Without a project: one namespace, no other projects.
    Tolm::UnitRegistry alone;
    std::shared_ptr<Tolm::Unit> unit = ParserTest::unitOf("unit app\nall: nope::x { }\n");
    alone.add("", "app", unit);
    alone.add("", "1", unit);
    alone.defaultUnit = "app";
    EXPECT_EQ(checked(alone), "Unit 'nope' not found (dependency 'nope::x' of target 'app::all'). Units: app.");
}

}  // namespace
