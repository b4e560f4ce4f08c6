#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "types/context.h"
#include "types/tolm_context.h"
#include "types/tolm_list.h"
#include "types/value_factories.h"

namespace Tolm {
namespace {

using namespace TestSupport;

TolmValuePtr received(TolmValuePtr value)
{
    value->fromDependency = true;
    return value;
}

TolmValuePtr path(std::string text) { return makePathStringValue("/q", std::move(text)); }

// The marks of a value as the tests write them: "1" or "0", a list's as "[1|0]", a context
// value's variables' as "{1}".
std::string marks(const TolmValuePtr& value)
{
    std::string text;
    if (const auto* list = dynamic_cast<const TolmList*>(value.get())) {
        for (const auto& item : list->items()) text += "|" + marks(item);
        return "[" + (text.empty() ? text : text.substr(1)) + "]";
    }
    if (const auto* nested = dynamic_cast<const TolmContext*>(value.get())) {
        for (const auto& [key, assignment] : nested->context->assignments) text += marks(assignment.value);
        return "{" + text + "}";
    }
    return value->fromDependency ? "1" : "0";
}

// A value stays received through references, variables in between, lists and context values,
// and through a text that is one reference to it and nothing else; a text the target's own
// characters help make is its own. A copy of the context keeps every mark.
TEST(ReceivedMarkTest, TravelsWithTheValueOnly)
{
    Context context;
    context.addAssignment(set("r", received(path("/p/gen.txt"))), 0);
    context.addAssignment(set("rs", received(listOf({received(path("/p/a")), received(path("/p/b"))}))), 0);
    context.addAssignment(set("dir", received(str("/p"))), 0);
    context.addAssignment(set("mid", ref("r")), 0);
    const struct {
        TolmValuePtr value;
        const char* marks;
    } cases[] = {
        {ref("r"), "1"},
        {ref("mid"), "1"},
        {path("${r}"), "1"},
        {str("${r}"), "1"},
        {path("#{rs}"), "[1|1]"},
        {path("${dir}/gen.txt"), "0"},
        {path("x${r}"), "0"},
        {str("${r} "), "0"},
        {str("${r}${r}"), "0"},
        {path("${rs[1]}"), "1"},
        {raw("${r}"), "0"},
        {path("/p/gen.txt"), "0"},
        {received(path("${dir}/gen.txt")), "1"},
        {listOf({ref("r"), path("/p/own")}), "[1|0]"},
        {listOf({ref("rs"), path("/p/c")}), "[1|1|0]"},
        {contextValue({set("x", ref("r")), set("y", str("own"))}), "{10}"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        context.addAssignment(set("o" + std::to_string(i), cases[i].value), 0);
    Context copy(context);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Identifier name = parsedIdentifier("o" + std::to_string(i));
        EXPECT_EQ(marks(context.lookup(name)), cases[i].marks) << cases[i].value->toLiteral();
        EXPECT_EQ(marks(Context(context).lookup(name)), cases[i].marks) << cases[i].value->toLiteral();
        EXPECT_EQ(marks(copy.lookup(name)), cases[i].marks) << cases[i].value->toLiteral();
    }
    for (const TolmValuePtr& value : {received(num(1)), TolmValuePtr(received(ref("r"))), received(raw("x"))})
        EXPECT_TRUE(value->clone()->fromDependency) << value->toLiteral();
    EXPECT_FALSE(num(1)->clone()->fromDependency);
}

}  // namespace
}  // namespace Tolm
