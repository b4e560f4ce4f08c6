#include <gtest/gtest.h>

#include "types/expansion_test_support.h"
#include "types/text_expansion.h"
#include "types/tolm_raw_string.h"

// Cross expansion: one text per element in the value's order, back references
// repeat the element of their own level, combinations vary the first slowest,
// crossing nothing gives no texts; unresolved back references, failed
// lookups, values without one and element cycles fail.
TEST(CrossExpansionTest, ExpandsOrFails)
{
    ExpansionTest::MapResolver variables;
    variables.setList("L", {"a", "b", "c"});
    variables.setList("S", {"a", "b"});
    variables.setList("A", {"1", "2"});
    variables.setList("B", {"x", "y"});
    variables.setList("T", {"x"});
    variables.setList("E", {});
    variables.setList("R", {"${X}", "plain"});
    variables.setText("X", "from-x");
    variables.setText("W", "p q");
    variables.setText("Blank", "   ");
    variables.setText("WHICH", "S");
    variables.values["N"] = nullptr;
    // A raw text is not expanded on its own, so it can bring its reference back.
    variables.values["C"] = Tolm::makeListValue({std::make_shared<Tolm::TolmRawString>("#{C}")});
    Tolm::TolmString owner("");
    owner.setResolver(&variables);
    const std::pair<std::string, std::string> cases[] = {
        {"cc -c main.c", "cc -c main.c"},
        {"#{L", "#{L"},
        {"pre #{L} post", "[pre a post|pre b post|pre c post]"},
        {"#{A}-#{B}", "[1-x|1-y|2-x|2-y]"},
        {"#{S}-#{S}", "[a-a|a-b|b-a|b-b]"},
        {"cc #{S}.c -o #1.o", "[cc a.c -o a.o|cc b.c -o b.o]"},
        {"#{S}/#{T} #2#1 #1", "[a/x xa a|b/x xb b]"},
        {"#{W}", "[p|q]"},
        {"a}b #{S}", "[a}b a|a}b b]"},
        {"# #{S}", "[# a|# b]"},
        {"-I#{R}", "[-Ifrom-x|-Iplain]"},  // elements are expanded again
        {"#{${WHICH}}.o", "[a.o|b.o]"},
        {"cc #{E}.c", "[]"},
        {"#{Blank}", "[]"},
        {"#{A} #{E}", "[]"},
        {"#{S} #12", "!unresolved cross expansion reference '#12'"},
        {"#1 #{S}", "!unresolved cross expansion reference '#1'"},
        {"issue #7", "!unresolved cross expansion reference '#7'"},
        {"#{Missing}", "!Assignment 'Missing' not found."},
        {"#{9x}", "!Invalid variable reference '9x': Invalid identifier start at position 0"},
        {"x #{N}", "!Variable 'N' has no value to cross expand."},
        {"#{C}", "!cycle: C"},
    };
    for (const auto& [text, expected] : cases) {
        Tolm::ExpansionGuard guard;
        EXPECT_EQ(ExpansionTest::outcome([&] {
                      return ExpansionTest::shown(Tolm::resolveStringValue(owner, text, guard, 1));
                  }),
                  expected)
            << text;
    }
}
