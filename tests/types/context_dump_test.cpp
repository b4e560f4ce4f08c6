#include "types/context.h"

#include <gtest/gtest.h>

#include "context_test_support.h"
#include "types/target_context.h"

namespace Tolm {
namespace {

using namespace TestSupport;

// Below the threshold the dump writes nothing at all.
TEST(ContextDumpTest, SilentBelowThreshold)
{
    Context c;
    c.addAssignment(set("A", str("a")), 0);
    LogCapture capture(5);
    c.dump(4);
    EXPECT_EQ(capture.text(), "");
}

// At the threshold: braces, one line per entry in case-insensitive name order, and an empty line.
TEST(ContextDumpTest, ExactText)
{
    Context c;
    c.addAssignment(set("b", makeIntValue(2)), 0);
    c.addAssignment(append("A", str("x y")), 0);
    c.addAssignment(Assignment("c", nullptr, Type::Declare, 0), 0);
    LogCapture capture(3);
    c.dump(3);
    EXPECT_EQ(capture.text(), "{\nA += \"x y\"\nb = 2\nc\n}\n\n");
}

// A target context first writes its canonical name, the empty namespace as a leading "/".
TEST(ContextDumpTest, TargetNameFirst)
{
    TargetContext t({}, {}, {}, {set("X", str("1"))}, {}, {});
    t.name = QualifiedTargetName{"", "lib", "app"};
    LogCapture capture(5);
    t.dump(6);
    EXPECT_EQ(capture.text(), "/lib::app\n{\nX = \"1\"\n}\n\n");
}

}  // namespace
}  // namespace Tolm
