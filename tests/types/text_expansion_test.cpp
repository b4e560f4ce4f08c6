#include "types/text_expansion.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "types/context.h"
#include "types/expansion_test_support.h"

using ExpansionTest::outcome;

// Variable expansion: nested references resolve fully and ignoring case; a
// missing variable becomes empty with one warning; malformed references and
// self-references fail with their exact messages, never recursing for ever.
TEST(TextExpansionTest, ExpandsOrFails)
{
    ExpansionTest::MapResolver variables;
    for (const auto& [name, text] : std::map<std::string, std::string>{
             {"A", "${B}"}, {"B", "x"}, {"R", "${B}-${B}"}, {"X", "{Y}"}, {"Y", "z"}, {"Self", "${Self}"},
             {"P", "${q}"}, {"Q", "${p}"}, {"C1", "${C2}"}, {"C2", "${C3}"}, {"C3", "${C1}"}})
        variables.setText(name, text);
    variables.values["Declared"] = nullptr;
    Tolm::TolmString owner("");
    owner.setResolver(&variables);
    const std::pair<std::string, std::string> cases[] = {
        {"no references here", "no references here"},
        {"${A}", "x"},
        {"[${a}][${b}]", "[x][x]"},
        {"${R}${R}", "x-xx-x"},  // a name is released when its expansion ends
        {"$${X}", "z"},          // a "$" joins a replacement starting with "{"
        {"<${declared}|${missing}>", "<|>"},
        {"${a", "!missing '}'"},
        {"x}${a", "!missing '}'"},
        {"${a} ${b", "!missing '}'"},
        {"${a${b}}", "!nested ${} is not allowed"},
        {"${1abc}", "!Invalid variable reference '1abc': Invalid identifier start at position 0"},
        {"${}", "!Invalid variable reference '': Empty identifier at position 0"},
        {"${Self}", "!cycle: Self"},
        {"${P}", "!cycle: p"},  // the name as written where the cycle closes
        {"x ${C1} y", "!cycle: C1"},
    };
    TestSupport::LogCapture log(5);
    for (const auto& [text, expected] : cases) {
        Tolm::ExpansionGuard guard;
        EXPECT_EQ(outcome([&] { return Tolm::expandVariables(owner, text, guard); }), expected) << text;
    }
    EXPECT_EQ(log.text(), "Variable 'missing' does not exist.\n");
}

// Through a context, whose lookups resolve what they reach, a self-reference
// passes the context's cycle failure on instead of becoming empty text.
TEST(TextExpansionTest, SelfReferenceThroughContext)
{
    const auto context = std::make_shared<Tolm::Context>();
    for (const auto& [name, text] : {std::pair{"A", "${A}"}, {"X", "pre ${A} post"}, {"P", "${q}"}, {"Q", "${p}"}})
        context->addAssignment(
            Tolm::Assignment(name, Tolm::makeStringValue(text), Tolm::Assignment::AssignType::Set, 0), 0);
    const auto lookup = [&](const char* name) {
        Tolm::Identifier identifier;
        Tolm::ParseError error;
        EXPECT_TRUE(Tolm::Identifier::parse(name, identifier, error));
        return outcome([&] { return context->lookup(identifier)->toString(); });
    };
    EXPECT_EQ(lookup("A"), "!cycle: A");
    EXPECT_EQ(lookup("X"), "!cycle: A");
    EXPECT_EQ(lookup("P"), "!cycle: p");
    EXPECT_EQ(context->assignments.at(Util::CiString("P")).value->toString(), "${q}");
}

// A text that belongs to no context treats a reference as a failed lookup
// instead of dereferencing a missing resolver.
TEST(TextExpansionTest, ReferenceWithoutResolver)
{
    Tolm::TolmString lonely("");
    Tolm::ExpansionGuard guard;
    TestSupport::LogCapture log(5);
    EXPECT_EQ(Tolm::expandVariables(lonely, "a${x}b", guard), "ab");
    EXPECT_EQ(log.text(), "Variable 'x' does not exist.\n");
    EXPECT_EQ(outcome([&] { return ExpansionTest::shown(Tolm::resolveStringValue(lonely, "#{L}", guard, 1)); }),
              "!Variable 'L' cannot be looked up: the text belongs to no context.");
}
