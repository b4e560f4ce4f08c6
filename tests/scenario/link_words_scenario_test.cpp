// Libraries and link flags through the real binary with this machine's
// toolchains: a text gives one argument per word, an item of a list one
// argument whatever the list's length, for the compiler that links and for
// the linker alike.

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

class LinkWordsScenario : public TolmScenario {
protected:
    // Builds a program `p` with the compiler and a shared library `s` with the linker, LIB and
    // LINK_FLAGS written in each form in turn. Each form links (an item "-L/a -L/b" names one
    // odd directory), its command lines show each argument as expected, and the next run does
    // nothing; the next form, which may differ from it only in being a list, links again.
    void checkForms(const std::string& type, const std::string& linkerEnd) {
        const struct {
            std::string lib, flags;
            Words libArguments, flagArguments;
        } forms[] = {
            {R"("-L/a -L/b")", R"("-rpath=/a -E")", {"-L/a", "-L/b"}, {"-rpath=/a", "-E"}},
            {R"(["-L/a -L/b"])", R"(["-rpath=/a -E"])", {"-L/a -L/b"}, {"-rpath=/a -E"}},
            {R"(["-L/a -L/b", "-L/c"])", R"(["-rpath=/a -E", "-E"])", {"-L/a -L/b", "-L/c"}, {"-rpath=/a -E", "-E"}},
            {R"(["-L/a -L/b"])", R"(["-rpath=/a -E"])", {"-L/a -L/b"}, {"-rpath=/a -E"}},
            {R"("-L/a -L/b")", R"("-rpath=/a -E")", {"-L/a", "-L/b"}, {"-rpath=/a", "-E"}},
        };
        write("a.c", "int f(void) { return 1; }\n");
        write("main.c", "int main(void) { return 0; }\n");
        for (const auto& form : forms) {
            const std::string words = "LIB = " + form.lib + " LINK_FLAGS = " + form.flags;
            writeProject("o: { C_FILES = P\"(a.c)\" C_FLAGS = \"-c -fPIC\" }\n"
                         "p: { C_FILES = P\"(main.c)\" " + words + " }\n"
                         "s: o { OBJS = o.objs SHARED " + words + " }\n",
                         tool(type));
            std::string compiled = " -o \"p\"", linked = "o/a.o\"";
            for (const std::string& argument : form.libArguments) {
                compiled += " \"" + argument + "\"";
                linked += " \"" + argument + "\"";
            }
            for (const std::string& argument : form.flagArguments) {
                compiled += " -Wl,\"" + argument + "\"";
                linked += " \"" + argument + "\"";
            }
            for (const auto& [target, line] : {std::pair{"p", compiled + "\n"}, std::pair{"s", linked + linkerEnd}}) {
                const RunResult run = tolm({target});
                ASSERT_EQ(run.exitCode, 0) << words << "\n" << run.out;
                EXPECT_NE(run.out.find(line), std::string::npos) << type << ": " << words << "\n" << run.out;
                EXPECT_TRUE(ranNothing(tolm({target}))) << type << ": " << target << ": " << words;
            }
        }
    }
};

// gcc links the program, ld the shared library.
TEST_F(LinkWordsScenario, GnuCompilerAndLinker) {
    checkForms("gnu-gcc", " -shared  -o \"s\"\n");
}

// clang links the program, ld.lld the shared library.
TEST_F(LinkWordsScenario, LlvmCompilerAndLinker) {
    for (const char* tool : {"clang", "ld.lld"})
        if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
    checkForms("llvm-clang", " -shared -o \"s.so\"\n");
}

}  // namespace
