// Instances of one parameterised target built with the machine's own
// toolchains: parameters that differ only in class or beyond their plain text
// still give each instance its own output directory, cache record and program.

#include <filesystem>
#include <map>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

class InstanceScenario : public TolmScenario {
protected:
    // The exit status of every instance program "prog" below `directory`, by its instance directory's name.
    std::map<std::string, int> programs(const std::string& directory) const {
        std::map<std::string, int> statuses;
        for (const auto& entry : fs::recursive_directory_iterator(at(directory)))
            if (entry.path().filename() == "prog" && entry.is_regular_file())
                statuses[entry.path().parent_path().filename().string()] =
                    Scenario::runProgram(entry.path().string(), {}, entry.path().parent_path(), {}).exitCode;
        return statuses;
    }
    // The work-relative path of the file `name` in a directory `parent` below `directory`.
    std::string below(const std::string& directory, const std::string& parent, const std::string& name) const {
        for (const auto& entry : fs::recursive_directory_iterator(at(directory)))
            if (entry.path().filename() == name && entry.path().parent_path().filename() == parent)
                return fs::relative(entry.path(), work_.path()).string();
        return directory + "/" + parent + "/" + name;
    }
    // Only the walk's own lines: every target visited, no command run. The main target's
    // NO_TOOL job starts each run.
    static std::string walkOnly(const std::vector<std::string>& targets) {
        std::string out = "Starting build\n[app::all] Visiting target\n";
        for (const std::string& target : targets)
            out += "[app::" + target + "] Visiting target\n[app::" + target + "] Build done\n";
        return out + "[app::all] Starting build job\n[app::all] Build done\n";
    }
};

// Two instances whose parameters are the outputs of two libraries (contexts of the same variable
// names) link each its own library into its own directory; the next run builds nothing, and an
// edited source of one library rebuilds that library and the one instance that uses it, in place.
TEST_F(InstanceScenario, DependencyOutputsGiveInstancesOfTheirOwn) {
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        writeProject("all: liba libb prog(liba) => pa prog(libb) => pb { NO_TOOL }\n"
                     "liba: { C_FILES = P\"(a.c)\" C_FLAGS = \"-c\" }\n"
                     "libb: { C_FILES = P\"(b.c)\" C_FLAGS = \"-c\" }\n"
                     "prog(dep): { C_FILES = P\"(main.c)\" OBJS = dep.objs }\n",
                     tool(type), type);
        write(type + "/a.c", "int f(void) { return 1; }\n");
        write(type + "/b.c", "int f(void) { return 2; }\n");
        write(type + "/main.c", "int f(void);\nint main(void) { return f(); }\n");

        const RunResult first = tolm({"all"}, type);
        ASSERT_EQ(first.exitCode, 0) << first.out;
        const std::map<std::string, int> built = programs(type + "/out");
        ASSERT_EQ(built.size(), 2u) << first.out;
        std::map<int, std::string> byStatus;
        for (const auto& [directory, status] : built) byStatus[status] = directory;
        ASSERT_EQ(byStatus.size(), 2u);
        EXPECT_TRUE(byStatus.count(1) && byStatus.count(2)) << type;
        EXPECT_EQ(tolm({"all"}, type).out, walkOnly({"liba", "libb", "prog", "prog"})) << type;

        write(type + "/b.c", "int f(void) { return 3; }\n");
        makeOlder(below(type, "libb", "b.o"), type + "/b.c");
        makeOlder(below(type, byStatus[2], "prog"), type + "/b.c");
        const RunResult edited = tolm({"all"}, type);
        EXPECT_EQ(count(edited, "[app::libb] Starting build job"), 1) << edited.out;
        EXPECT_EQ(count(edited, "[app::prog] Starting build job"), 1) << edited.out;
        EXPECT_EQ(count(edited, "[app::liba] Starting build job"), 0) << edited.out;
        EXPECT_EQ(programs(type + "/out"), (std::map<std::string, int>{{byStatus[1], 1}, {byStatus[2], 3}})) << type;
    }
}

// A number and a text of the same digits are two instances: the text keeps the directory it has
// always had, and each program is built as the condition on its own parameter says.
TEST_F(InstanceScenario, NumberAndTextOfOneValueAreTwoInstances) {
    writeProject("all: prog(n) => pa prog(s) => pb { NO_TOOL n = 3 s = \"3\" }\n"
                 "prog(lvl): { C_FILES = P\"(main.c)\" if lvl > 2 { C_DEFINES = \"LVL=1\" } }\n",
                 tool("gnu-gcc"));
    write("main.c", "#ifndef LVL\n#define LVL 0\n#endif\nint main(void) { return LVL; }\n");
    const RunResult first = tolm({"all"});
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(programs("out"), (std::map<std::string, int>{{"prog@af63ae4c86019e62", 0}, {"prog@beefeaba9f56cec1", 1}}));
    EXPECT_EQ(tolm({"all"}).out, walkOnly({"prog", "prog"}));
}

// An empty text is a parameter value like any other: its instance has a directory, record and
// owner of its own, apart from the instance without values, so two of them writing one file stop
// the run, and a program of each builds beside the other and then settles.
TEST_F(InstanceScenario, EmptyTextIsAnInstanceOfItsOwn) {
    writeProject("all: p(e) => pe q { NO_TOOL e = \"\" }\n"
                 "p(v): { tag = \"unset\" if v { tag = \"set\" } ^o = P\"(out/p_out.txt)\" "
                 "cmdline = \"mkdir -p out; echo ${tag} > out/p_out.txt\" }\n"
                 "q: p { NO_TOOL }\n");
    const RunResult shared = tolm({"all"});
    EXPECT_EQ(shared.exitCode, 1) << shared.out;
    EXPECT_TRUE(hasLine(shared.out, "Error: Targets 'app::p@7fa4f2bf464dc7cf' and 'app::p' would both write '" +
                                        at("out/p_out.txt") + "'; give one of them another output.\n"))
        << shared.out;
    EXPECT_EQ(count(shared, "[app::p] Starting build job"), 1) << shared.out;

    writeProject("all: prog(e) => pe prog { NO_TOOL e = \"\" }\n"
                 "prog(v): { C_FILES = P\"(main.c)\" }\n",
                 tool("gnu-gcc"), "c");
    write("c/main.c", "int main(void) { return 0; }\n");
    const RunResult first = tolm({"all"}, "c");
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(programs("c/out"), (std::map<std::string, int>{{"prog", 0}, {"prog@7fa4f2bf464dc7cf", 0}})) << first.out;
    EXPECT_EQ(tolm({"all"}, "c").out, walkOnly({"prog", "prog"}));
}

}  // namespace
