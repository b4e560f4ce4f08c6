#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "types/resolution_cycle.h"
#include "types/text_expansion.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"
#include "types/value_iteration.h"
#include "types/wildcard_expansion.h"

namespace Tolm {
namespace {

using namespace TestSupport;
namespace fs = std::filesystem;

// Hands stored values back unresolved, so the expansion's own guard is what
// stops a self-reference.
struct MapResolver : Resolver {
    TolmValuePtr lookup(const Identifier& identifier) override
    {
        const auto found = values.find(Util::CiString(identifier.toString()));
        if (found == values.end()) throw NotFoundException("Assignment", identifier.toString());
        return found->second;
    }
    void setText(const std::string& name, const std::string& text) { values[name] = str(text); }
    void setList(const std::string& name, const std::vector<std::string>& items)
    {
        values[name] = makeListValue({});
        for (const auto& item : items) values[name]->append(*str(item));
    }
    std::map<Util::CiString, TolmValuePtr> values;
};

// A result as the tests write it: a text as is, a list as "[a|b]".
std::string shown(const TolmValuePtr& value)
{
    const auto* list = dynamic_cast<const TolmList*>(value.get());
    if (!list) return value->toString();
    std::string text;
    for (const auto& item : list->items()) text += "|" + item->toString();
    return "[" + (text.empty() ? text : text.substr(1)) + "]";
}

// What `action` gives, or "!" and a TolmException's message, or "!cycle: "
// and the name where a cycle closes.
template <typename Action>
std::string outcome(Action&& action)
{
    try {
        return action();
    } catch (const TolmException& failure) {
        return "!" + failure.message();
    } catch (const ResolutionCycle& cycle) {
        return "!cycle: " + cycle.name();
    }
}

// Variable expansion: nested references resolve fully and ignoring case; a
// missing variable becomes empty with one warning; malformed references and
// self-references fail with their exact messages, never recursing for ever.
TEST(TextExpansionTest, ExpandsOrFails)
{
    MapResolver variables;
    for (const auto& [name, text] : std::map<std::string, std::string>{
             {"A", "${B}"}, {"B", "x"}, {"R", "${B}-${B}"}, {"X", "{Y}"}, {"Y", "z"}, {"Self", "${Self}"},
             {"P", "${q}"}, {"Q", "${p}"}, {"C1", "${C2}"}, {"C2", "${C3}"}, {"C3", "${C1}"},
             {"my", "WRONG"}, {"my-var", "right"}})
        variables.setText(name, text);
    variables.values["Declared"] = nullptr;
    TolmString owner("");
    owner.setResolver(&variables);
    const std::pair<std::string, std::string> cases[] = {
        {"no references here", "no references here"}, {"${A}", "x"}, {"[${a}][${b}]", "[x][x]"},
        {"${R}${R}", "x-xx-x"},  // a name is released when its expansion ends
        {"$${X}", "z"},          // a "$" joins a replacement starting with "{"
        {"<${declared}|${my-gone}>", "<|>"},  // warned under the whole name, though "my" exists
        {"${a", "!missing '}'"}, {"x}${a", "!missing '}'"}, {"${a} ${b", "!missing '}'"},
        {"${a${b}}", "!nested ${} is not allowed"},
        {"${1abc}", "!Invalid variable reference '1abc': Invalid identifier start at position 0"},
        {"${}", "!Invalid variable reference '': Empty identifier at position 0"},
        // The whole text between the braces is the name, hyphens included.
        {"${my-var}", "right"},
        {"${my junk}", "!Invalid variable reference 'my junk': Unexpected character at position 2"},
        {"${Self}", "!cycle: Self"},
        {"${P}", "!cycle: p"},  // the name as written where the cycle closes
        {"x ${C1} y", "!cycle: C1"},
    };
    LogCapture log(5);
    for (const auto& [text, expected] : cases) {
        ExpansionGuard guard;
        EXPECT_EQ(outcome([&] { return expandVariables(owner, text, guard); }), expected) << text;
    }
    EXPECT_EQ(log.text(), "Variable 'my-gone' does not exist.\n");
}

// A text that belongs to no context treats a reference as a failed lookup
// instead of dereferencing a missing resolver.
TEST(TextExpansionTest, ReferenceWithoutResolver)
{
    TolmString lonely("");
    ExpansionGuard guard;
    LogCapture log(5);
    EXPECT_EQ(expandVariables(lonely, "a${x}b", guard), "ab");
    EXPECT_EQ(log.text(), "Variable 'x' does not exist.\n");
    EXPECT_EQ(outcome([&] { return shown(resolveStringValue(lonely, "#{L}", guard, 1)); }),
              "!Variable 'L' cannot be looked up: the text belongs to no context.");
}

// A reference whose own name is missing "does not exist"; one to a variable that exists but whose value
// fails (an index its value does not take, a name it refers to) says what failed. Either becomes empty.
TEST(TextExpansionTest, FailedLookupSaysWhy)
{
    const ContextPtr context =
        ContextTemplate({set("FLAGS", contextValue({set("CFLAGS", str("-O2"))})), set("R", ref("FLAGS[0..1]")),
                         set("VIA", ref("gone")), set("L", makeListValue({str("a")})),
                         set("TEXT", str("<${R}|${VIA}|${FLAGS[0]}|${L[3]}|${gone}|${FLAGS.nope}|${nothing[0]}>"))})
            .createContext();
    LogCapture log(5);
    EXPECT_EQ(context->lookup(parsedIdentifier("TEXT"))->toString(), "<||||||>");
    const auto position = [](const char* index) {
        return "Cannot index a context value with " + std::string(index) +
               "; select one of its variables (CFLAGS) by name.\n";
    };
    EXPECT_EQ(log.text(),
              "Variable 'R' cannot be expanded: " + position("[0:1:1]") +
              "Variable 'VIA' cannot be expanded: Assignment 'gone' not found.\n"
              "Variable 'FLAGS[0]' cannot be expanded: " + position("[0]") +
              "Variable 'L[3]' cannot be expanded: Variable [ \"a\" ] cannot be indexed with [3]\n"
              "Variable 'gone' does not exist.\nVariable 'FLAGS.nope' does not exist.\n"
              "Variable 'nothing[0]' does not exist.\n");
}

// Cross expansion: one text per element in the value's order (a context
// value's names in name order), back references
// repeat the element of their own level, combinations vary the first slowest,
// crossing nothing gives no texts; unresolved back references, failed
// lookups, values without one and element cycles fail.
TEST(CrossExpansionTest, ExpandsOrFails)
{
    MapResolver variables;
    for (const auto& [name, items] : std::map<std::string, std::vector<std::string>>{
             {"L", {"a", "b", "c"}}, {"S", {"a", "b"}}, {"A", {"1", "2"}}, {"B", {"x", "y"}}, {"T", {"x"}},
             {"E", {}}, {"R", {"${X}", "plain"}}})
        variables.setList(name, items);
    for (const auto& [name, text] : {std::pair{"X", "from-x"}, {"W", "p q"}, {"Blank", "   "}, {"WHICH", "S"}})
        variables.setText(name, text);
    variables.values["N"] = nullptr;
    variables.values["CTX"] = contextValue({set("b", str("2")), set("A", str("1"))});
    // A raw text is not expanded on its own, so it can bring its reference back.
    variables.values["C"] = makeListValue({std::make_shared<TolmRawString>("#{C}")});
    TolmString owner("");
    owner.setResolver(&variables);
    const std::pair<std::string, std::string> cases[] = {
        {"cc -c main.c", "cc -c main.c"}, {"#{L", "#{L"},
        {"pre #{L} post", "[pre a post|pre b post|pre c post]"},
        {"#{A}-#{B}", "[1-x|1-y|2-x|2-y]"},
        {"#{S}-#{S}", "[a-a|a-b|b-a|b-b]"},
        {"cc #{S}.c -o #1.o", "[cc a.c -o a.o|cc b.c -o b.o]"},
        {"#{S}/#{T} #2#1 #1", "[a/x xa a|b/x xb b]"},
        {"#{W}", "[p|q]"}, {"a}b #{S}", "[a}b a|a}b b]"}, {"# #{S}", "[# a|# b]"},
        {"-I#{R}", "[-Ifrom-x|-Iplain]"},  // elements are expanded again
        {"#{${WHICH}}.o", "[a.o|b.o]"},
        {"cc #{E}.c", "[]"}, {"#{Blank}", "[]"},
        {"#{CTX}.o", "[A.o|b.o]"},  // a context value's elements are its names
        {"#{S} #12", "!unresolved cross expansion reference '#12'"},
        {"#1 #{S}", "!unresolved cross expansion reference '#1'"},
        {"issue #7", "!unresolved cross expansion reference '#7'"},  // no cross expansion at all
        {"#{Missing}", "!Assignment 'Missing' not found."},
        {"#{9x}", "!Invalid variable reference '9x': Invalid identifier start at position 0"},
        {"#{L-x}", "!Assignment 'L-x' not found."}, {"#{L x}", "!Invalid variable reference 'L x': Unexpected character at position 1"},
        {"x #{N}", "!Variable 'N' has no value to cross expand."},
        {"#{C}", "!cycle: C"},
    };
    for (const auto& [text, expected] : cases) {
        ExpansionGuard guard;
        EXPECT_EQ(outcome([&] { return shown(resolveStringValue(owner, text, guard, 1)); }), expected) << text;
    }
}

// A list of the texts "0" to count - 1.
TolmValuePtr numbers(std::size_t count)
{
    auto list = makeListValue({});
    for (std::size_t i = 0; i < count; ++i) list->append(*str(std::to_string(i)));
    return list;
}

// One value's expansion stops past a million texts, naming the variable, and a text of no variable is
// bounded on its own; exactly a million texts still expand. The 64 MiB bound is shown by the hostile
// unit file.
TEST(ExpansionBoundTest, StopsPastAMillionTexts)
{
    const ContextPtr context = ContextTemplate({set("A", numbers(1000)), set("B", numbers(1000)),
                                                set("C", numbers(1001)), set("L", numbers(10)),
                                                set("SEVEN", str("#{L}#{L}#{L}#{L}#{L}#{L}#{L}"))})
                                   .createContext();
    EXPECT_EQ(outcome([&] { return shown(context->lookup(parsedIdentifier("SEVEN"))); }),
              "!Expansion of variable 'SEVEN' produces more than 1000000 texts.");
    TolmString million("#{A}.#{B}"), tooMany("#{A}.#{C}");
    million.setResolver(context.get());
    tooMany.setResolver(context.get());
    EXPECT_EQ(std::dynamic_pointer_cast<TolmList>(million.resolve())->size(), 1000000u);
    EXPECT_EQ(outcome([&] { return shown(tooMany.resolve()); }),
              "!Expansion of a text produces more than 1000000 texts.");
}

// Texts still being built count against the bounds, also when none of them is ever finished: a
// text growing through its references, the texts of a cross expansion, each crossing an empty list
// at the end, and a first text of a list after a million finished ones stop once past a bound; just
// below it they give no texts.
TEST(ExpansionBoundTest, GrowingTextsCount)
{
    const std::string mebibyte(std::size_t(1) << 20, 'x');
    std::string references;
    for (int i = 0; i < 63; ++i) references += "${MB}";
    const ContextPtr context =
        ContextTemplate({set("MB", str(mebibyte)), set("E", listOf({})), set("L1", numbers(1)),
                         set("L63", numbers(63)), set("L64", numbers(64)), set("A", numbers(1000)),
                         set("GROWS", str(references + "#{E}")), set("GROWS_PAST", str(references + "${MB}#{E}")),
                         set("CROSSES", str(mebibyte + "#{L63}#{E}")),
                         set("CROSSES_PAST", str(mebibyte + "#{L64}#{E}")),
                         set("COUNTS_PAST", listOf({str("#{A}.#{A}"), str("#{L1}#{E}")}))})
            .createContext();
    const std::pair<const char*, std::string> cases[] = {
        {"GROWS", "[]"},
        {"GROWS_PAST", "!Expansion of variable 'GROWS_PAST' produces more than 64 MiB of text."},
        {"CROSSES", "[]"},
        {"CROSSES_PAST", "!Expansion of variable 'CROSSES_PAST' produces more than 64 MiB of text."},
        {"COUNTS_PAST", "!Expansion of variable 'COUNTS_PAST' produces more than 1000000 texts."},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(outcome([&] { return shown(context->lookup(parsedIdentifier(name))); }), expected) << name;
}

// Resolving keeps the joined result as the value's own text and hands back new values without a
// resolver; a failure leaves the text as it was.
TEST(StringResolutionTest, StoresTextOnlyOnSuccess)
{
    MapResolver variables;
    variables.setList("S", {"a", "b"});
    TolmString value("x#{S}");
    value.setResolver(&variables);
    const auto result = value.resolve();
    EXPECT_EQ(shown(result) + value.text, "[xa|xb]xa xb");
    EXPECT_EQ(dynamic_cast<const TolmString&>(*valueBegin(result)->current()).resolver, nullptr);
    value.text = "${open";
    EXPECT_THROW(value.resolve(), TolmException);
    EXPECT_EQ(value.text, "${open");
}

// Path values expand variables, join each text to the base unless absolute
// and glob it: several paths make a list of full paths without a base, an
// unmatched pattern stays as the joined pattern, a cross over nothing gives
// no paths.
TEST(StringResolutionTest, PathsExpandAgainstFileSystem)
{
    const ScratchDir scratch;
    for (const char* name : {"src/b.c", "src/a.c", "src/c.h"}) scratch.write(name, "x");
    MapResolver variables;
    variables.setText("DIR", "src");
    variables.setList("EXT", {"h", "c"});
    variables.setList("NONE", {});
    const std::string src = (scratch.path() / "src/").native();
    const std::tuple<std::string, std::filesystem::path, std::string> cases[] = {
        {"src/*.c", scratch.path(), "[" + src + "a.c|" + src + "b.c]"},
        {"${DIR}/*.#{EXT}", scratch.path(), "[" + src + "c.h|" + src + "a.c|" + src + "b.c]"},
        {src + "a.?", "/elsewhere", src + "a.c"},
        {"src/*.cpp", scratch.path(), src + "*.cpp"},
        {"src/#{NONE}.c", scratch.path(), "[]"},
    };
    for (const auto& [text, base, expected] : cases) {
        TolmPathString value(text, base);
        value.setResolver(&variables);
        const auto result = value.resolve();
        EXPECT_EQ(shown(result), expected) << text;
        const auto* list = dynamic_cast<const TolmList*>(result.get());
        for (const auto& path : list ? list->items() : std::vector{result})
            EXPECT_TRUE(dynamic_cast<const TolmPathString&>(*path).baseDirectory.empty()) << text;
        if (expected.front() != '[') { EXPECT_EQ(value.text, expected) << text; }
        EXPECT_EQ(value.baseDirectory, base);
    }
}

// "?" takes one byte, "*" any run (backtracking after a false start), and
// letter case matters.
TEST(WildcardMatchTest, SingleComponentRules)
{
    const struct {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"a.c", "*.C", false},   {"a.c", "?.c", true}, {"ab.c", "?.c", false}, {"aXbYc", "a*b*c", true},
        {"abcd", "a*b*c", false}, {"", "**", true},     {"", "?", false},      {".hidden", "*", true},
        {"aab", "*ab", true},     {"abab", "*ba", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchWildcard(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

// Each wildcard component matches the entries of every directory reached so far, in byte order per
// directory; plain components join without a look at the disk, repeated separators becoming one; "."
// and ".." never appear and "**" does not descend.
TEST(WildcardExpansionTest, ExpandsAgainstTree)
{
    const ScratchDir scratch;
    for (const char* file : {"src/c.c", "src/a.c", "src/b.c", "src/c.h", "m2/z.c", "m1/y.c", "m1/x.c",
                             "m1/x.h", ".hidden", "sub/deep.c", "top.c", "file"})
        scratch.write(file, "x");
    const std::pair<const char*, std::vector<const char*>> cases[] = {
        {"src/*.c", {"src/a.c", "src/b.c", "src/c.c"}},
        {"*/obj", {".hidden/obj", "file/obj", "m1/obj", "m2/obj", "src/obj", "sub/obj", "top.c/obj"}},
        {"**.c", {"top.c"}}, {".*", {".hidden"}}, {"m?/*.c", {"m1/x.c", "m1/y.c", "m2/z.c"}},
        {"missing/*.c", {}}, {"file/*", {}}, {"nope/x.c", {"nope/x.c"}}, {"m?/", {"m1/", "m2/"}},
        {"src/./?.c", {"src/./a.c", "src/./b.c", "src/./c.c"}}, {"src//a.*", {"src/a.c"}}, {"m1//*.h", {"m1/x.h"}},
    };
    for (const auto& [pattern, paths] : cases) {
        std::vector<std::string> expected;
        for (const char* path : paths) expected.push_back(scratch.path() / path);
        EXPECT_EQ(expandGlobTexts(scratch.path() / pattern), expected) << pattern;
    }
    // Without a root a wildcard starts from the empty path, which is no directory.
    EXPECT_TRUE(expandGlob("*.c").empty());
    for (const auto& [plain, walked] : {std::pair{"rel/x.c", "rel/x.c"}, {"a/b/", "a/b/"}, {"/", "/"}, {"", ""},
                                        {"../x", "../x"}, {"//a", "/a"}, {"a///b/./c//", "a/b/./c/"}})
        EXPECT_EQ(expandGlobTexts(plain), std::vector<std::string>{walked}) << plain;
}

}  // namespace
}  // namespace Tolm
