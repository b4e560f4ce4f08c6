// Variables read word by word, through a recipe and the job merge.

#include "tools/word_lists.h"

#include <gtest/gtest.h>

#include "app/gathered_variables.h"
#include "tools/c_builder.h"
#include "tools/tool_test_support.h"

namespace Tolm {
namespace {

// A job gives the pieces the target's own value gives, whether the value reaches it as a recipe
// input (LIB) or as a setting of every job (LINK_FLAGS): a text one piece per word, a path and each
// item of a list one piece, whatever the list's length.
TEST(WordLists, PiecesSurviveTheJobMerge)
{
    const struct {
        std::string value;
        std::string pieces;
    } rows[] = {
        {R"("-L/a -L/b")", R"( "-L/a" "-L/b")"},
        {R"(["-L/a -L/b"])", R"( "-L/a -L/b")"},
        {R"([["-L/a -L/b"]])", R"( "-L/a -L/b")"},
        {R"(["-L/a -L/b", "-lm"])", R"( "-L/a -L/b" "-lm")"},
        {R"x([R"(a "b" c)"])x", R"( "a "b" c")"},
        {R"x(P"(my libs/libx.a)")x", R"( "my libs/libx.a")"},
        {R"x([P"(my libs/libx.a)"])x", R"( "my libs/libx.a")"},
        {R"([])", ""},
        {R"("")", ""},
    };
    for (const auto& row : rows) {
        const auto target = ToolTestSupport::targetOf({"LIB = " + row.value, "LINK_FLAGS = " + row.value});
        RecipeSet set;
        CBuilder::deriveVariable(target->assignments, "LIB", set.recipes.emplace_back().inputs, std::nullopt);
        CBuilder::copyBuiltinVariable(target->assignments, "LINK_FLAGS", set.context);
        keepWordsThroughMerge(set, target->assignments, {"LIB", "LINK_FLAGS"});

        std::vector<const Assignment*> gathered;
        for (const CachedInput& input : set.recipes.front().inputs) gathered.push_back(&input.input);
        for (const Assignment& assignment : set.context) gathered.push_back(&assignment);
        Context job;
        mergeGathered(job, gathered);
        EXPECT_EQ(getVariableStrings(*target, "LIB", "", true), row.pieces) << row.value;
        EXPECT_EQ(getVariableStrings(job, "LIB", "", true), row.pieces) << row.value;
        EXPECT_EQ(getVariableStrings(job, "LINK_FLAGS", "", true), row.pieces) << row.value;
    }
}

}  // namespace
}  // namespace Tolm
