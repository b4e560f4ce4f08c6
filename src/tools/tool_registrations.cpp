// Every tool type of the program, registered once in a fixed order. It lives
// in the library, so that the program and the test binary fill the same
// registry the same way.
//
// This runs before main, possibly before the library's own static objects are
// built: a registration may use only function-local statics.

#include "tools/c3_matcher.h"
#include "tools/command_tool.h"
#include "tools/gnu/gnu_matcher.h"
#include "tools/llvm/llvm_matcher.h"
#include "tools/matcher.h"
#include "tools/no_tool.h"

namespace Tolm {

void registerToolTypes()
{
    static const bool registered = [] {
        registerCommandTool();  // "command"
        registerNoTool();       // "no_tool"
        RegisterGNUMatcher();   // "gnu-gcc"
        RegisterLLVMMatcher();  // "llvm-clang"
        RegisterC3Matcher();    // "c3c"
        return true;
    }();
    (void)registered;
}

}  // namespace Tolm
