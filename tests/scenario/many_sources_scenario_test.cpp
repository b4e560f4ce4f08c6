// A library of a thousand sources through the real binary and stand-in GNU
// tools: what a no-op rebuild and an edited source do when every object is
// checked against the cache, and that objects keep their sources' order.
//
// The stand-in gcc writes an empty object per source into the directory it
// runs in; the stand-in ar writes the member names it was given, one a line,
// so the archive shows the order the objects reached it.

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "scenario/tolm_scenario.h"
#include "tools/fake_tool.h"

namespace {

using Scenario::RunResult;
using Lines = std::vector<std::string>;

constexpr int kSources = 1000;

class ManySourcesScenario : public TolmScenario {
protected:
    void SetUp() override {
        FakeTool::writeExecutable(at("bin/gcc"), "#!/bin/sh\n"
                                                 "case \"$*\" in\n"
                                                 "  -dumpmachine) echo x86_64-linux-gnu; exit 0;;\n"
                                                 "  -dumpfullversion) echo 12.2.0; exit 0;;\n"
                                                 "esac\n"
                                                 "for a in \"$@\"; do case \"$a\" in *.c) : > \"$(basename \"$a\" .c).o\";; esac; done\n");
        FakeTool::writeExecutable(at("bin/ar"), "#!/bin/sh\n"
                                                "shift; out=\"$1\"; shift\n"
                                                ": > \"$out\"\n"
                                                "for member in \"$@\"; do echo \"$member\" >> \"$out\"; done\n");
        for (const char* other : {"g++", "ld", "objcopy"}) FakeTool::writeExecutable(at("bin/") + other, "#!/bin/sh\n");
        write(".tolm_project.txt", "name demo\ntools {\n  gnu { tool_type = \"gnu-gcc\" toolchain_path = \"" +
                                       at("bin") + "\" }\n}\nunits {\n  u { \"tolm.txt\" }\n}\n");
        std::string sources;
        for (int i = 0; i < kSources; ++i) {
            sources += std::string(i == 0 ? "" : ",\n") + "  P\"(src/f" + std::to_string(i) + ".c)\"";
            write("src/f" + std::to_string(i) + ".c", "");
        }
        write("tolm.txt", "unit u\n"
                          "lib: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"libbig.a\" }\n"
                          "objects: { C_FILES = [\n" + sources + "\n] C_FLAGS = \"-c\" }\n");
    }

    std::string object(int i) const { return "out/x86_64-linux-gnu/demo/u/objects/f" + std::to_string(i) + ".o"; }

    // Every object in source order, as tolm names them.
    Lines objects() const {
        Lines names;
        for (int i = 0; i < kSources; ++i) names.push_back(at(object(i)));
        return names;
    }

    static Lines linesOf(const std::string& text) {
        Lines lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The command lines a run printed for a target.
    static Lines commandsOf(const RunResult& run, const std::string& target) {
        const std::string lead = "[u::" + target + "] \"";
        Lines commands;
        for (const std::string& line : linesOf(run.out))
            if (line.rfind(lead, 0) == 0) commands.push_back(line.substr(lead.size() - 1));
        return commands;
    }

    Lines archive() const { return linesOf(contentOf(at("out/x86_64-linux-gnu/demo/u/lib/libbig.a"))); }
};

// The first build archives every object in source order; a no-op rebuild runs no command; an
// object older than its source (the first, one in the middle, the last) recompiles that source
// alone and archives all objects again, still in order; "-o" lists them (OBJS) in order too.
TEST_F(ManySourcesScenario, RebuildsOnlyTheEditedSourceAmongAThousand) {
    const RunResult first = tolm({"-j", "4"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_TRUE(archive() == objects()) << archive().size() << " members";

    const RunResult again = tolm({"-j", "4"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(commandsOf(again, "objects").size() + commandsOf(again, "lib").size(), 0u) << again.out;

    for (int edited : {0, 537, kSources - 1}) {
        const std::string source = "src/f" + std::to_string(edited) + ".c";
        makeOlder(object(edited), source);
        const RunResult touched = tolm({"-j", "4"});
        EXPECT_EQ(touched.exitCode, 0) << touched.out;
        EXPECT_EQ(commandsOf(touched, "objects"),
                  Lines{"\"" + at("bin/gcc") + "\" -c \"" + at(source) + "\""}) << edited;
        EXPECT_EQ(commandsOf(touched, "lib").size(), 1u) << edited;
        EXPECT_TRUE(archive() == objects()) << edited;
    }

    ASSERT_EQ(tolm({"-o", "objects.txt", "objects"}).exitCode, 0);
    std::string listed;
    for (const std::string& name : objects()) listed += std::string(listed.empty() ? "" : ", ") + "P\"" + name + "\"";
    EXPECT_TRUE(contentOf(at("objects.txt")) == "OBJS = [ " + listed + " ]\n") << contentOf(at("objects.txt")).substr(0, 200);
}

}  // namespace
