#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "app/cache_test_support.h"
#include "app/cached_assignment_parse.h"
#include "app/cached_assignment_text.h"
#include "app/recipe_check.h"
#include "parser/parse_assignment.h"
#include "support/test_support.h"

namespace {

using namespace TestSupport;
using CacheTest::describe;
using CacheTest::make;
using CacheTest::path;

std::string textOrNone(const std::optional<std::string>& text) { return text ? *text : "<none>"; }

// The values the writer meets in recipes and contexts, plain and awkward.
std::vector<TolmValuePtr> sampleValues()
{
    return {
        str("-O2 -g"), str(""), str("two\nlines"), str("-DVERSION=\"1.2\""), str("\"quoted\""), str("ZIP"),
        str("caf\xC3\xA9"), str("a // not a comment /* either */"), str(std::string("nul\0byte", 8)), raw("raw text"), raw("P"),
        raw("with \"quotes\""), num(0), num(2147483647), num(-2147483647 - 1), path("/proj", "src/a.c"),
        path(".", "src/a.c"), path("", "/abs/b.c"), path("", "rel/c.c"), path("/p", "a b/(x).c"), path("/p", ""),
        path("/p", "backup (1)"), str("say \"hi\" $(pwd)"), raw("f(x)"),
        listOf({}), listOf({str("a"), num(1), path("/p", "o.o")}), listOf({str("ZIP"), str("b"), path("", "/x")}),
        listOf({str("TAP"), raw("q\"r"), str("SNAP")}),
        // Dependency outputs: a target's own, several under a unit's name,
        // merged ones, and awkward texts inside.
        contextValue({}), contextValue({set("out", path("/p", "lib.txt"))}),
        contextValue({set("lib", contextValue({set("LIB", listOf({path("/o", "lib.a")}), 1), set("n", num(2))})),
                      set("tool", contextValue({set("bin", str("ZIP"))}))}),
        contextValue({set("A", str("ZIP")), append("B", listOf({str("ZIP")})), declare("C"), set("D", raw("q\"r"))}),
        listOf({contextValue({set("A", str("P"))}), str("x"), contextValue({})}),
    };
}

// Values holding references, which the scanner leaves to the parser.
std::vector<TolmValuePtr> referenceValues()
{
    return {ref("a.b[2]"), listOf({ref("x"), str("P")}), contextValue({set("R", ref("a.b")), set("S", str("text"))})};
}

// The writer's text keeps the usual `name op literal` shape, and moves only
// what would not read back into a form that does.
TEST(CachedAssignmentText, WriterForms)
{
    const std::vector<std::pair<Tolm::Assignment, std::string>> cases = {
        {make("DEF", str("-DV=\"1\""), 1), R"--(DEF = R"(-DV="1")")--"},
        {make("R", raw("plain"), 1), R"(R = "plain")"},
        {make("SRC", path("/proj", "src/a.c"), 1), R"--(SRC = P"(/proj/src/a.c)")--"},
        {make("X", path("/p", "x(1)"), 1), R"--(X = P"(/p/x(1))")--"},
        {make("L", listOf({str("a"), listOf({num(1), listOf({str("b")})})}), 1), R"(L = [ "a", 1, "b" ])"},
        {make("L", listOf({str("ZIP"), str("x")}), 1), "L = [ \"ZIP\",\n \"x\" ]"},
        {make("X", ref("a.b[2]"), 1), "X = a.b[2]"},
        // Without a value: "=", "+=" and "?=" end in their operator; a
        // declaration and an unknown type are the bare name.
        {make("X", nullptr, 1), "X = "},
        {make("X", nullptr, 2), "X += "},
        {make("X", nullptr, 4), "X"},
        {make("X", nullptr, 9), "X"},
        // With a value, a declaration or unknown type borrows "=": the type
        // travels on the assignment's own line.
        {make("X", str("v"), 4), R"(X = "v")"},
        {make("X", str("v"), 9), R"(X = "v")"},
        // A dependency's outputs as a context literal, variables in name
        // order; a line feed follows any variable holding P", so the path
        // rewrite stops before the next one.
        {make("lib", contextValue({set("out", path("/p", "lib.txt"))}), 2), "lib += { out = P\"(/p/lib.txt)\"\n}"},
        {make("X", contextValue({set("n", num(1), 1), append("b", str("x")), set("A", str("ZIP")), declare("D")}), 1),
         "X = { A = \"ZIP\"\nb += \"x\" D ^n = 1 }"},
        {make("L", listOf({contextValue({set("A", str("1"))}), str("ZIP"), contextValue({})}), 1),
         "L = [ { A = \"1\" }, \"ZIP\",\n {} ]"},
        // No text reads back to these.
        {make("a.b", str("v"), 1), "<none>"},
        {make("name", str("v"), 1), "<none>"},
        {make("X", str("bad \xC3("), 1), "<none>"},
        {make("X", str("q\" )\""), 1), "<none>"},
        {make("X", str("ends\"P\"x"), 1), "<none>"},
        {make("X", path("/p", "x(1)\")"), 1), "<none>"},
        {make("X", contextValue({set("a.b", str("v"))}), 1), "<none>"},
        {make("X", contextValue({set("A", str("v"), 2)}), 1), "<none>"},
        {make("X", listOf({str("a"), contextValue({set("A", str("\xFF"))})}), 1), "<none>"},
        {make("X", std::make_shared<Tolm::TolmContext>(nullptr), 1), "<none>"},
        {parseAssignment("X = { A = 1 if A { B = 2 } }", "."), "<none>"},
    };
    for (const auto& [assignment, expected] : cases)
        EXPECT_EQ(textOrNone(cacheAssignmentText(assignment)), expected) << describe(assignment);
}

// Reading a stored text: the path rewrite, the parse based at ".", and the
// no-value rule when the parse fails; type and modifier come from the caller.
TEST(CachedAssignmentParse, ReaderRule)
{
    const std::vector<std::tuple<std::string, std::uint32_t, std::string>> cases = {
        {R"(X += "a")", 7, "X 7/5 TolmString(a)"},
        {R"(SRC = P"src/a.c")", 1, "SRC 1/5 path(.|src/a.c)"},
        {R"--(SRC = P"(src/a.c)")--", 1, "SRC 1/5 path(.|src/a.c)"},
        {R"--(SRC = P"((x)")--", 1, "SRC 1/5 path(.|(x)"},
        {R"--(SRC = P"((x))")--", 1, "SRC 1/5 path(.|(x))"},
        {R"--(SRC = P"(a))" P"(b)")--", 1, "<none>"},
        {R"(L = [ P"/a", P"" ])", 1, "L 1/5 list[path(.|/a);path(.|);]"},
        {R"--(R = R"(a"b)")--", 1, "R 1/5 TolmRawString(a\"b)"},
        {"X = a.b", 1, "X 1/5 TolmString(a.b)"},
        {"^X = 1", 1, "X 1/5 TolmInt(1)"},
        // Without a value.
        {"X", 4, "X 4/5 none"},
        {"X = ", 1, "X 1/5 none"},
        {" X ?=\t\r\n", 3, "X 3/5 none"},
        {"X : ", 4, "X 4/5 none"},
        {"my var = ", 1, "my var 1/5 none"},
        {"X = ", 2, "<none>"},
        {"X += ", 1, "X + 1/5 none"},
        {" = ", 1, "<none>"},
        {"X = 1 2", 1, "<none>"},
        // Context values: variables with their own operators and modifiers,
        // old path literals inside rewritten too; "!" is no modifier here.
        {R"(lib += { out = P"lib.txt" })", 2, "lib 2/5 context{out 1/0 path(.|lib.txt);}"},
        {"X = {^A B += [ 1 ] c ?= { } }", 1, "X 1/5 context{A 4/1 none;B 2/0 list[TolmInt(1);];c 3/0 context{};}"},
        {"X = { A = 1 A += 2 }", 1, "X 1/5 context{A 1/0 TolmInt(3);}"},
        {"X = { A = 1 A += \"b\" }", 1, "<none>"},
        {"X = { !A = 1 }", 1, "<none>"},
        // Malformed texts.
        {R"(X = "open)", 1, "<none>"},
        {"X = 99999999999", 1, "<none>"},
        {"!X = 1", 1, "<none>"},
        {"X = \"\xC3\x28\"", 1, "<none>"},
        {R"(L = [ "ZIP", "x" ])", 1, "<none>"},
        // Nesting that would exhaust the parser's stack is refused before it.
        {"L = " + std::string(200, '[') + "1" + std::string(200, ']'), 1, "L 1/5 list[TolmInt(1);]"},
        {"L = " + std::string(201, '[') + "1" + std::string(201, ']'), 1, "<none>"},
        {"L = " + std::string(100000, '[') + std::string(100000, ']'), 1, "<none>"},
    };
    for (const auto& [text, type, expected] : cases) {
        auto read = assignmentFromCacheText(text, type, 5);
        EXPECT_EQ(read ? describe(*read) : "<none>", expected) << text;
    }
}

// The hand-written path rewrite replaces exactly what the regular expression
// it stands for replaces.
TEST(CachedAssignmentParse, RewriteMatchesRegex)
{
    const std::regex pattern(R"--(P"([^("\r\n][^"\r\n]*)?")--");
    auto oracle = [&](const std::string& text) { return std::regex_replace(text, pattern, "P\"($1)\""); };
    std::vector<std::string> texts = {
        "", "P", "P\"", "P\"\"", "P\"a\"", "P\"(a)\"", "P\"a\nb\"", "P\"a\rb\" P\"c\"", "xP\"a\"P\"b\"",
        "[ \"ZIP\", \"x\" ]", "P\"P\"P\"", "PP\"a\"", "P\"(\"", "P\"a", "p\"a\"",
    };
    std::mt19937 random(7);
    const std::string alphabet = "P\"(a\n\r) ";
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (int n = random() % 12; n > 0; --n) text += alphabet[random() % alphabet.size()];
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        EXPECT_EQ(rewritePathLiterals(text), oracle(text)) << text;
        EXPECT_EQ(hasOldPathLiteral(text), oracle(text) != text) << text;
    }
}

// Every form the writer produces is read by the scanner alone (references
// aside) and gives what the parser gives; it reads back to an assignment the
// cache check finds equal (a reference outside a context: to its text), which
// writes the same text again.
TEST(CachedAssignmentParse, ScannerAgreesOnWriterForms)
{
    std::vector<std::pair<Tolm::Assignment, bool>> cases;  // with whether it holds a reference
    for (const auto& [values, reference] : {std::pair{sampleValues(), false}, {referenceValues(), true}})
        for (const auto& value : values)
            for (std::uint32_t type : {1u, 2u, 3u, 4u}) cases.emplace_back(make("VAR_1-x", value, type), reference);
    for (std::uint32_t type : {1u, 2u, 3u, 4u, 9u}) cases.emplace_back(make("X", nullptr, type), false);

    for (const auto& [assignment, reference] : cases) {
        auto text = cacheAssignmentText(assignment);
        ASSERT_TRUE(text) << describe(assignment);
        EXPECT_EQ(rewritePathLiterals(*text), *text) << "the writer leaves nothing to rewrite";
        QuickParse quick = quickParseAssignment(*text);
        if (!reference) {
            EXPECT_NE(quick.verdict, QuickParse::Unknown) << *text;
        }
        if (quick.verdict != QuickParse::Unknown) {
            // A text without a value fails both, and is left to the reader's own rule.
            std::string parsed = "<fails>";
            try {
                const Tolm::Assignment viaParser = parseAssignment(*text, ".", true);
                parsed = viaParser.name + " " + describe(viaParser.value);
            } catch (...) {
            }
            EXPECT_EQ(quick.verdict == QuickParse::Fails ? "<fails>" : quick.name + " " + describe(quick.value), parsed)
                << *text;
        }

        auto read = assignmentFromCacheText(*text, static_cast<std::uint32_t>(assignment.type), 1);
        ASSERT_TRUE(read) << *text;
        EXPECT_EQ(read->type, assignment.type) << *text;
        EXPECT_EQ(read->modifier, 1u) << *text;
        if (reference && !dynamic_cast<const Tolm::TolmContext*>(assignment.value.get())) continue;
        EXPECT_EQ(textOrNone(cacheAssignmentText(*read)), *text);
        EXPECT_TRUE(sameCachedAssignment(*read, assignment)) << *text << " reads as " << describe(*read);
    }
}

}  // namespace
