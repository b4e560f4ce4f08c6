#include "app/gathered_variables.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using namespace TestSupport;

// Every variable as "^name = literal", the modifier shown.
std::string dumped(const Tolm::Context& context) {
    std::string text;
    for (const auto& [key, assignment] : context.assignments)
        text += (assignment.modifier == 1 ? "^" : "") + assignment.toString() + "\n";
    return text;
}

// Gathering gives what merging the assignments one by one gives, whatever the context held.
TEST(GatheredVariablesTest, SameAsMergingOneByOne) {
    const std::vector<std::vector<Tolm::Assignment>> cases = {
        {set("SRC", str("a.c")), set("src", str("b.c")), set("FLAGS", str("-O2")), set("SRC", str("c.c"))},
        {set("OBJ", listOf({str("a.o"), listOf({str("x")})}), 1), set("OBJ", str("b.o"), 0)},
        {declare("EMPTY"), set("EMPTY", str("later"))},
        {declare("NONE")},
        {set("OLD", str("new")), set("LIST", str("more"))},
    };
    for (const auto& assignments : cases) {
        Tolm::Context oneByOne, gathered;
        for (Tolm::Context* context : {&oneByOne, &gathered}) {
            context->addAssignment(set("OLD", str("old"), 1), 0);
            context->addAssignment(set("LIST", listOf({str("first")})), 0);
        }
        oneByOne.mergeVariables(assignments);
        std::vector<const Tolm::Assignment*> pointers;
        for (const Tolm::Assignment& assignment : assignments) pointers.push_back(&assignment);
        mergeGathered(gathered, pointers);
        EXPECT_EQ(dumped(gathered), dumped(oneByOne));
    }
}

// The gathered values are the context's own: changing them leaves the assignments alone.
TEST(GatheredVariablesTest, OwnsItsValues) {
    const Tolm::Assignment source = set("SRC", listOf({str("a.c")}));
    Tolm::Context context;
    mergeGathered(context, {&source});
    context.assignments.at("SRC").value->append(*str("b.c"));
    EXPECT_EQ(source.value->toString(), "a.c");
    EXPECT_EQ(textOf(context, "SRC"), "a.c b.c");
}

}  // namespace
