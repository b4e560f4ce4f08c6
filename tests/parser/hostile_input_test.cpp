// Inputs a careless or hostile user may write: nesting deep enough to exhaust the stack, runaway
// expansion and numbers out of range. Each must fail with a clear message naming where.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "parser/project_file_loader.h"
#include "parser/registry_file.h"
#include "parser/visit_helpers.h"
#include "scenario/scratch_dir.h"
#include "tolm_app.h"
#include "types/target_context.h"
#include "types/tolm_list.h"
#include "types/variable_access.h"

namespace {

using ParserTest::failureOf;

std::string repeated(const std::string& text, std::size_t times) {
    std::string result;
    for (std::size_t i = 0; i < times; ++i) result += text;
    return result;
}

// `levels` nested list brackets around the number 1.
std::string nestedList(std::size_t levels) { return repeated("[", levels) + "1" + repeated("]", levels); }
// `levels` nested "if" blocks, each a brace of its own.
std::string nestedIfs(std::size_t levels) { return repeated("if a { ", levels) + repeated("} ", levels); }
// An identifier with `levels` nested index brackets.
std::string nestedIndex(std::size_t levels) { return repeated("a[", levels) + "a" + repeated("]", levels); }

class HostileUnitFile : public testing::Test {
protected:
    HostileUnitFile() { app.projectRoot = scratch.path(); }

    // Loads `text` as a unit file; the failure text, or "no failure".
    std::string loadFailure(const std::string& text) {
        scratch.write("tolm.txt", text);
        return failureOf([&] { unit = app.LoadUnitFile("tolm.txt"); });
    }
    // The value text of `variable` in target t of the loaded unit, or the failure.
    std::string valueOf(const char* variable) {
        return failureOf([&] {
            auto context = std::make_shared<Tolm::TargetContext>(unit->targets.at("t"), std::vector<Tolm::TolmValuePtr>{});
            context->evaluateConditions();
            context->resolveVariables();
            throw Tolm::TolmException("= " + Tolm::variableText(*context, variable));
        });
    }

    ScratchDir scratch;
    TolmApplication app;
    std::shared_ptr<Tolm::Unit> unit;
    const std::string file = (scratch.path() / "tolm.txt").string();
};

// Up to 200 levels of brackets and braces load, the target's own block included; deeper text
// fails before the parser runs, naming the file, line and column of the first opening past the
// limit, however deep it goes.
TEST_F(HostileUnitFile, NestingLimit) {
    const std::string tooDeep = ": nesting deeper than 200 levels";
    const std::pair<std::string, std::string> cases[] = {
        {"t: { X = " + nestedList(199) + " }", "no failure"},
        {"t: { " + nestedIfs(199) + "}", "no failure"},
        {"t: { X = " + nestedIndex(199) + " }", "no failure"},
        {"t: { X = " + nestedList(200) + " }", file + "(1,208)" + tooDeep},
        {"t: {\n " + nestedIfs(200) + "}", file + "(2,1399)" + tooDeep},
        {"t: { X = " + nestedIndex(200) + " }", file + "(1,408)" + tooDeep},
        {"t: { " + nestedIfs(20000) + "}", file + "(1,1403)" + tooDeep},
        {"t: { X = " + nestedIndex(20000) + " }", file + "(1,408)" + tooDeep},
        // Unmatched closers of another kind do not take a level back.
        {"t: { X = " + repeated("[ }", 300) + " }", file + "(1,606)" + tooDeep},
    };
    testing::internal::CaptureStderr();
    for (const auto& [text, expected] : cases) EXPECT_EQ(loadFailure(text), expected) << text.substr(0, 40);
    testing::internal::GetCapturedStderr();
}

// Thirty lines that each double a text stop with the first variable past 64 MiB, also when only a
// condition asks whether it exists: a value too large is not taken for a missing one.
TEST_F(HostileUnitFile, DoublingStopsAtTheBound) {
    std::string text = "t: {\n  A1 = \"xxxxxxxxxxxxxxxxxxxx\"\n";
    for (int i = 2; i <= 30; ++i) text += fmt::format("  A{} = \"${{A{}}}${{A{}}}\"\n", i, i - 1, i - 1);
    ASSERT_EQ(loadFailure(text + "}\n"), "no failure");
    EXPECT_EQ(valueOf("A30"), "Expansion of variable 'A23' produces more than 64 MiB of text.");
    ASSERT_EQ(loadFailure(text + "  if A24 { Y = 1 }\n}\n"), "no failure");
    EXPECT_EQ(valueOf("Y"), "Expansion of variable 'A23' produces more than 64 MiB of text.");
}

// Forty lines that each double a list stop with the first list past a million items, which the
// text using the last one names; a list of long texts stops at 64 MiB of text first. Nineteen
// lines, half a million items, still resolve.
TEST_F(HostileUnitFile, DoubledListStopsAtTheBound) {
    auto doubled = [](const std::string& first, int lines, const std::string& use) {
        std::string text = "t: {\n  L0 = [" + first + "]\n";
        for (int i = 1; i < lines; ++i) text += fmt::format("  L{} = [L{}, L{}]\n", i, i - 1, i - 1);
        return text + "  " + use + "\n}\n";
    };
    ASSERT_EQ(loadFailure(doubled("\"a\", \"b\"", 40, "cmdline = \"echo ${L39}\"")), "no failure");
    EXPECT_EQ(valueOf("cmdline"), "Expansion of variable 'L19' produces more than 1000000 list items.");
    ASSERT_EQ(loadFailure(doubled("\"" + std::string(1000, 'x') + "\"", 40, "X = 1")), "no failure");
    EXPECT_EQ(valueOf("X"), "Expansion of variable 'L17' produces more than 64 MiB of text.");

    ASSERT_EQ(loadFailure(doubled("\"a\", \"b\"", 19, "COUNT = [L18, 1]")), "no failure");
    auto context = std::make_shared<Tolm::TargetContext>(unit->targets.at("t"), std::vector<Tolm::TolmValuePtr>{});
    context->evaluateConditions();
    context->resolveVariables();
    const auto count = std::dynamic_pointer_cast<Tolm::TolmList>(Tolm::getVariable(*context, "COUNT"));
    ASSERT_TRUE(count);
    EXPECT_EQ(count->size(), (std::size_t(1) << 19) + 1);
}

// A chain of variables each naming the next resolves up to 200 deep, by text or by reference;
// one more stops with the variable reached at the limit instead of exhausting the stack.
TEST_F(HostileUnitFile, ReferenceChainLimit) {
    auto chain = [](int length, const char* link) {
        std::string text = "t: {\n";
        for (int i = 1; i < length; ++i) text += fmt::format(fmt::runtime(link), i, i + 1);
        return text + fmt::format("  A{} = 0\n  L = [0]\n}}\n", length);
    };
    const std::pair<const char*, std::string> links[] = {
        {"  A{} = \"<${{A{}}}>\"\n", "= " + std::string(199, '<') + "0" + std::string(199, '>')},
        {"  A{} = A{}\n", "= 0"},
        {"  A{} = L[A{}]\n", "= 0"},
    };
    for (const auto& [link, value] : links) {
        ASSERT_EQ(loadFailure(chain(200, link)), "no failure");
        EXPECT_EQ(valueOf("A1"), value) << link;
        ASSERT_EQ(loadFailure(chain(201, link)), "no failure");
        EXPECT_EQ(valueOf("A1"), "Variable 'A201' is reached through more than 200 nested references.") << link;
    }
}

// Numbers out of range keep their standard failure type, now naming the number as written and
// where it stands.
TEST_F(HostileUnitFile, NumbersOutOfRange) {
    const std::pair<const char*, std::string> cases[] = {
        {"t: { X = 2147483648 }", "(1,9): number 2147483648 is out of range for a 32-bit integer"},
        {"t: {\n  X = -2147483649 }", "(2,6): number -2147483649 is out of range for a 32-bit integer"},
        {"t: { X = a[18446744073709551616] }", "(1,11): index 18446744073709551616 is out of range for a 64-bit integer"},
        {"t: { X = a[0:99999999999999999999] }", "(1,13): index 99999999999999999999 is out of range for a 64-bit integer"},
    };
    for (const auto& [text, expected] : cases) {
        scratch.write("tolm.txt", text);
        EXPECT_EQ(failureOf<std::out_of_range>([&] { app.LoadUnitFile("tolm.txt"); }), file + expected) << text;
    }
    EXPECT_EQ(loadFailure("t: { X = -2147483648 Y = a[18446744073709551615] }"), "no failure");
}

// Project and registry files share the limits, as command-line words do.
TEST(HostileInput, OtherEntryPoints) {
    ScratchDir scratch;
    const auto project = scratch.write("p.txt", "profiles { p { " + nestedIfs(20000) + "} }");
    Tolm::Project record(project, "");
    EXPECT_EQ(failureOf<std::runtime_error>([&] { loadProjectFile(record); }),
              project.string() + "(1,1406): nesting deeper than 200 levels");
    const auto registry = scratch.write("r.txt", "tools { cc { X = " + nestedList(20000) + " } }");
    EXPECT_EQ(failureOf<std::runtime_error>([&] { parseRegistryFile(registry); }),
              registry.string() + "(1,215): nesting deeper than 200 levels");
    scratch.write("p.txt", "tools { cc { N = 4294967296 } }");
    EXPECT_EQ(failureOf<std::out_of_range>([&] { loadProjectFile(record); }),
              project.string() + "(1,17): number 4294967296 is out of range for a 32-bit integer");
}

}  // namespace
