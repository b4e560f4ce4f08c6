#include <gtest/gtest.h>

#include <stdexcept>
#include <functional>
#include <string>

#include "parser/visit_helpers.h"
#include "types/context.h"
#include "types/context_template.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"

namespace {

using ParserTest::assignmentIn;
using ParserTest::blockIn;
using Type = Tolm::Assignment::AssignType;
using Op = Tolm::Condition::OperatorType;

template <class T>
std::shared_ptr<T> as(const Tolm::TolmValuePtr& value) {
    auto typed = std::dynamic_pointer_cast<T>(value);
    EXPECT_TRUE(typed) << (value ? value->typeName() : "null");
    return typed;
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Tolm::TolmException& e) {
        return e.message();
    }
    return "no exception";
}

// String literals lose their quotes and nothing inside is interpreted.
TEST(TolmVisitorValues, Strings) {
    auto spaced = as<Tolm::TolmString>(assignmentIn(R"(x = "a b")").value);
    EXPECT_EQ(spaced->text, "a b");
    EXPECT_FALSE(std::dynamic_pointer_cast<Tolm::TolmPathString>(spaced));
    EXPECT_EQ(as<Tolm::TolmString>(assignmentIn(R"(x = "")").value)->text, "");
    EXPECT_EQ(as<Tolm::TolmString>(assignmentIn(R"(x = "a\n")").value)->text, R"(a\n)");
}

// Raw literals keep backslashes and quotes.
TEST(TolmVisitorValues, RawStrings) {
    EXPECT_EQ(as<Tolm::TolmRawString>(assignmentIn(R"--(x = R"(a\"b" c)")--").value)->text, R"(a\"b" c)");
}

// Path literals stay as written in unit files and are anchored in project files.
TEST(TolmVisitorValues, PathLiteralsPerMode) {
    auto unitPath = as<Tolm::TolmPathString>(assignmentIn(R"--(x = P"(src/*.c)")--", 0, "/p/sub").value);
    EXPECT_EQ(unitPath->text, "src/*.c");
    EXPECT_EQ(unitPath->baseDirectory, "/p/sub");

    auto projectPath = assignmentIn(R"--(x = P"(inc)")--", 1, "/p").value;
    EXPECT_FALSE(std::dynamic_pointer_cast<Tolm::TolmPathString>(projectPath));
    EXPECT_EQ(as<Tolm::TolmString>(projectPath)->text, "/p/inc");
    EXPECT_EQ(as<Tolm::TolmString>(assignmentIn(R"--(x = P"(/usr/inc)")--", 1, "/p").value)->text, "/usr/inc");

    auto registryPath = as<Tolm::TolmPathString>(assignmentIn(R"--(x = P"(bin)")--", 2, "/cfg").value);
    EXPECT_EQ(registryPath->text, "bin");
    EXPECT_EQ(registryPath->baseDirectory, "/cfg");
}

// Numbers are signed 32-bit; larger ones fail.
TEST(TolmVisitorValues, Numbers) {
    EXPECT_EQ(as<Tolm::TolmInt>(assignmentIn("x = -2147483648").value)->value, INT32_MIN);
    EXPECT_EQ(as<Tolm::TolmInt>(assignmentIn("x = 42").value)->value, 42);
    EXPECT_THROW(assignmentIn("x = 2147483648"), std::out_of_range);
}

// Nested list literals are flattened into the outer list.
TEST(TolmVisitorValues, ListsFlatten) {
    auto list = as<Tolm::TolmList>(assignmentIn(R"(x = ["a", ["b", "c"], d])").value);
    ASSERT_EQ(list->size(), 4u);
    EXPECT_EQ(list->items()[1]->toString(), "b");
    EXPECT_TRUE(std::dynamic_pointer_cast<Tolm::TolmIdentifier>(list->items()[3]));
    EXPECT_EQ(as<Tolm::TolmList>(assignmentIn("x = []").value)->size(), 0u);
}

// An identifier value keeps its segments and indexes.
TEST(TolmVisitorValues, IdentifiersAndIndexes) {
    auto value = as<Tolm::TolmIdentifier>(assignmentIn("x = a[-1][2:5].b[c.d]").value);
    const auto& segments = value->identifier.segments;
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].name, "a");
    ASSERT_EQ(segments[0].indexes.size(), 2u);
    EXPECT_EQ(std::get<std::int64_t>(segments[0].indexes[0]), -1);
    EXPECT_EQ(std::get<Tolm::IndexRange>(segments[0].indexes[1]), (Tolm::IndexRange{2, 5}));
    auto nested = std::get<std::shared_ptr<Tolm::Identifier>>(segments[1].indexes[0]);
    EXPECT_EQ(nested->toString(), "c.d");
}

// A pattern index fails with its location instead of meaning index 0.
TEST(TolmVisitorValues, RegexIndexIsRejected) {
    EXPECT_EQ(messageOf([] { assignmentIn("x =\n  a[R\"(ab.*)\"]"); }),
              "test.txt(2,4): regex index is not supported");
}

// Operators and modifiers map to their types; a bare name declares.
TEST(TolmVisitorValues, OperatorsAndModifiers) {
    EXPECT_EQ(assignmentIn("x = 1").type, Type::Set);
    EXPECT_EQ(assignmentIn("x += 1").type, Type::Append);
    EXPECT_EQ(assignmentIn("x ?= 1").type, Type::SetIfEmpty);
    auto declared = assignmentIn("x");
    EXPECT_EQ(declared.type, Type::Declare);
    EXPECT_FALSE(declared.value);
    EXPECT_EQ(assignmentIn("^x = 1").modifier, 1u);
    EXPECT_EQ(assignmentIn("x = 1").modifier, 0u);
}

// "!" is allowed only in the registry file or inside tool blocks.
TEST(TolmVisitorValues, MustModifier) {
    try {
        assignmentIn("!cc = \"gcc\"", 0);
        FAIL() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "'!' assignment modifier is not allowed in this context.");
    }
    EXPECT_THROW(assignmentIn("!cc", 1), std::runtime_error);
    EXPECT_EQ(assignmentIn("!cc = \"gcc\"", 2).modifier, 2u);
}

// Assignments of a block precede its conditional blocks; conditions keep their operators.
TEST(TolmVisitorValues, BlocksAndConditions) {
    auto block = blockIn(R"({
    if DEBUG { OPT = "-O0" }
    OPT = "-O2"
    if count != 3 { }
    if os = "linux" { }
    if n < 2 { }
    if n > 2 { }
})");
    ASSERT_EQ(block->assignments.size(), 1u);
    EXPECT_EQ(block->assignments[0].name, "OPT");
    ASSERT_EQ(block->conditions.size(), 5u);

    const auto& exists = block->conditions[0].first;
    EXPECT_EQ(exists.op, Op::Exists);
    EXPECT_FALSE(exists.right);
    EXPECT_EQ(as<Tolm::TolmIdentifier>(exists.left)->identifier.toString(), "DEBUG");
    EXPECT_EQ(block->conditions[0].second->assignments.at(0).name, "OPT");

    EXPECT_EQ(block->conditions[1].first.op, Op::NotEqual);
    EXPECT_EQ(as<Tolm::TolmInt>(block->conditions[1].first.right)->value, 3);
    EXPECT_EQ(block->conditions[2].first.op, Op::Equal);
    EXPECT_EQ(block->conditions[3].first.op, Op::Less);
    EXPECT_EQ(block->conditions[4].first.op, Op::Greater);
}

// In unit files a block value becomes a context value holding its variables.
TEST(TolmVisitorValues, BlockValueInUnitFile) {
    auto value = as<Tolm::TolmContext>(assignmentIn(R"(opts = { level = 2 name_ = "x" })").value);
    EXPECT_EQ(value->toString(), "level name_");
}

// In project and registry files a block value fails, naming variable and place.
TEST(TolmVisitorValues, BlockValueElsewhereFails) {
    EXPECT_EQ(messageOf([] { assignmentIn("opts = { a = 1 }", 1); }),
              "test.txt(1,7): a block cannot be used as a value here, in the value of 'opts'");
    EXPECT_EQ(messageOf([] { assignmentIn("opts = [1, {}]", 2); }),
              "test.txt(1,11): a block cannot be used as a value here, in the value of 'opts'");
    EXPECT_EQ(messageOf([] { blockIn("{ if mode = {} { } }", 1); }),
              "test.txt(1,12): a block cannot be used as a value here, in the value of 'mode'");
}

}  // namespace
