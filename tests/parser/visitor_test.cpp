#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "parser/visit_helpers.h"

namespace {

using ParserTest::assignmentIn;
using ParserTest::failureOf;
using ParserTest::kindOf;
using ParserTest::Parsed;
using ParserTest::unitOf;
using Op = Tolm::Condition::OperatorType;

// Every literal kind, in each mode where it differs, becomes the documented value (kind, text, and base
// directory of path strings); an identifier keeps each kind of index.
TEST(TolmVisitorValues, ValueTable) {
    const std::vector<std::tuple<const char*, std::int32_t, const char*, const char*>> cases = {
        {R"(x = "a b")", 0, "string", "a b"},          {R"(x = "")", 0, "string", ""},
        {R"(x = "a\n")", 0, "string", R"(a\n)"},       {R"--(x = R"(a\"b" c)")--", 0, "raw", R"(a\"b" c)"},
        {R"--(x = P"(src/*.c)")--", 0, "path", "src/*.c"}, {R"--(x = P"(bin)")--", 2, "path", "bin"},
        {R"--(x = P"(inc)")--", 1, "path", "/base/inc"}, {R"--(x = P"(/usr/inc)")--", 1, "path", "/usr/inc"},
        {"x = -2147483648", 0, "int", "-2147483648"},  {"x = 42", 1, "int", "42"},
        {R"(x = ["a", ["b", "c"], d])", 0, "list", "a b c d"}, {"x = []", 0, "list", ""},
        {"x = a[-1][2:5].b[c.d]", 0, "identifier", "a[-1][2..5].b[c.d]"},
        {"x = { level = 2 name_ = \"x\" }", 0, "context", "level name_"},
    };
    for (const auto& [text, mode, kind, shown] : cases) {
        auto value = assignmentIn(text, mode).value;
        ASSERT_EQ(kindOf(value), kind) << text;
        EXPECT_EQ(value->toString(), shown) << text;
        // A project file's path is already joined onto its directory.
        if (auto path = std::dynamic_pointer_cast<Tolm::TolmPathString>(value)) {
            EXPECT_EQ(path->baseDirectory, mode == 1 ? "" : "/base") << text;
        }
    }
}

// "!" is accepted only in the registry file, and refused before the value is looked at.
TEST(TolmVisitorValues, MustModifier) {
    EXPECT_EQ(assignmentIn("!cc = \"gcc\"", 2).modifier, 2u);
    for (std::int32_t mode : {0, 1})
        EXPECT_EQ(failureOf([mode] { assignmentIn("!cc = { }", mode); }),
                  "'!' assignment modifier is not allowed in this context.");
}

// Assignments of a block precede its conditional blocks; each operator is kept.
TEST(TolmVisitorValues, BlocksAndConditions) {
    auto unit = unitOf(R"(t: { if DEBUG { OPT = 0 } OPT = 2
        if count != 3 { } if os = "linux" { } if n < 2 { } if n > 2 { } })");
    const auto& t = unit->targets.at("t");
    ASSERT_EQ(t.assignments.size(), 1u);
    ASSERT_EQ(t.conditions.size(), 5u);
    EXPECT_EQ(t.conditions[0].first.left->toString() + kindOf(t.conditions[0].first.right) +
                  kindOf(t.conditions[1].first.right) + t.conditions[0].second->assignments.at(0).value->toString(),
              "DEBUGnullint0");
    const Op ops[] = {Op::Exists, Op::NotEqual, Op::Equal, Op::Less, Op::Greater};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(t.conditions[i].first.op, ops[i]);
}

// In project and registry files a block value fails, naming variable and place.
TEST(TolmVisitorValues, BlockValueOutsideUnitFilesFails) {
    const std::string message = ": a block cannot be used as a value here, in the value of ";
    EXPECT_EQ(failureOf([] { assignmentIn("opts = { a = 1 }", 1); }), "test.txt(1,7)" + message + "'opts'");
    EXPECT_EQ(failureOf([] { assignmentIn("opts = [1, {}]", 2); }), "test.txt(1,11)" + message + "'opts'");
    Parsed p("{ if mode = {} { } }", 1);
    EXPECT_EQ(failureOf([&] { p.visitor.visitContext(p.parser.context()); }), "test.txt(1,12)" + message + "'mode'");
}

// Targets whose names differ only in letter case clash, naming the first.
TEST(TolmVisitorUnit, DuplicateTargets) {
    EXPECT_EQ(failureOf([] { unitOf("App: {}\napp: {}"); }), "Key already exists: App");
}

// Static dependencies keep their modifier and alias; the source marker '.' stands only first, and only in
// a dynamic dependency. (Names and dynamic forms are shown through the dependency list.)
TEST(TolmVisitorUnit, Dependencies) {
    auto unit = unitOf("t: +dep => out other +> merged @m(x) {}");
    const auto& deps = unit->targets.at("t").dependencies;
    ASSERT_EQ(deps.size(), 3u);
    const auto alias = [&](size_t i) {
        return std::to_string(deps[i].modifier) + std::to_string(deps[i].aliasKind) + deps[i].alias;
    };
    EXPECT_EQ(alias(0) + " " + alias(1), "11out 02merged");
    EXPECT_FALSE(std::get<Tolm::DynamicTarget>(deps[2].target).sourceParameter);
    EXPECT_EQ(failureOf([] { unitOf("t: @m(x, .) {}"); }),
              "The source parameter marker '.' must be the first dependency parameter.");
    EXPECT_EQ(failureOf([] { unitOf("t: dep(.) {}"); }),
              "The source parameter marker '.' can only be used with a dynamic dependency.");
}

// The '!' flag is back to its earlier value after a tool block, also after
// one whose visit failed.
TEST(TolmVisitorProject, ToolBlockRestoresMustFlag)
{
    Parsed parsed("tools { t { !A = 1 } u { !B = { } } }", TolmVisitorImpl::ProjectFileMode);
    auto* tree = parsed.parser.projFile();
    EXPECT_ANY_THROW(parsed.visitor.visitTolmProject(tree->tolmProject()));
    EXPECT_FALSE(parsed.visitor.allowMustModifier);
}

}  // namespace
