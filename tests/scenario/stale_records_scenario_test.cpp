// Records the cache must not trust, through the real binary and the machine's
// gcc and clang: another compiler would run the commands, another project's
// build has rewritten the outputs since, or the record comes from a cache
// file written before output times were kept. Each is built once more, and
// the run after that has nothing to do.

#include <filesystem>
#include <string>

#include "app/build_cache.h"
#include "app/cache_file.h"
#include "app/cache_lines.h"
#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;

class StaleRecordsScenario : public TolmScenario {
protected:
    // The machine's compilers this needs.
    void SetUp() override {
        for (const char* tool : {"gcc", "clang", "ld.lld", "llvm-ar"})
            if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
    }

    // The command lines of the run: its lines holding a program in quotes.
    static Words commandsOf(const RunResult& run) {
        Words commands;
        for (const std::string& line : linesOf(run.out))
            if (line.find("] \"") != std::string::npos) commands.push_back(line);
        return commands;
    }
};

const char* const kWhoBuilt = "#include <stdio.h>\nint main(void) {\n#ifdef __clang__\nputs(\"clang\");\n#else\n"
                              "puts(\"gcc\");\n#endif\n}\n";

// With a fixed output directory, both toolchains write the same files: switching to clang builds
// the program and the objects again, switching back to gcc too, and then nothing is left to do.
// A gcc of the same machine at another path (the default output directory stays the same) also
// builds again.
TEST_F(StaleRecordsScenario, AnotherCompilerBuildsAgain) {
    const std::string tools = "tools {\n  clang { tool_type = \"llvm-clang\" toolchain_path = \"/usr/bin\" !LLVM }\n"
                              "  gcc { tool_type = \"gnu-gcc\" toolchain_path = \"/usr/bin\" }\n}\n";
    writeProject("prog: { C_FILES = P\"(main.c)\" OUTPUT_DIR = P\"(bin)\" }\n"
                 "objects: { C_FILES = P\"(main.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(objs)\" }\n",
                 tools);
    write("main.c", kWhoBuilt);
    for (const char* compiler : {"gcc", "clang", "gcc"}) {
        const Words words = std::string(compiler) == "clang" ? Words{"LLVM"} : Words{};
        for (const std::string target : {"prog", "objects"}) {
            Words run = words;
            run.push_back(target);
            const RunResult built = tolm(run);
            ASSERT_EQ(built.exitCode, 0) << built.out;
            ASSERT_EQ(commandsOf(built).size(), 1u) << compiler << " " << target << "\n" << built.out;
            EXPECT_NE(commandsOf(built)[0].find(compiler), std::string::npos) << built.out;
        }
        EXPECT_EQ(outputOfProgram(work_.path() / "bin/prog"), std::string(compiler) + "\n");
    }
    EXPECT_TRUE(ranNothing(tolm({"prog"})));
    EXPECT_TRUE(ranNothing(tolm({"objects"})));

    writeProject("prog: { C_FILES = P\"(main.c)\" }\n", tool("gnu-gcc"));
    ASSERT_EQ(tolm({"prog"}).exitCode, 0);
    const fs::path other = toolDirectory("exec /usr/bin/gcc \"$@\"\n");
    writeProject("prog: { C_FILES = P\"(main.c)\" }\n", tool("gnu-gcc", other.string()));
    const RunResult switched = tolm({"prog"});
    ASSERT_EQ(commandsOf(switched).size(), 1u) << switched.out;
    EXPECT_NE(commandsOf(switched)[0].find("] \"" + (other / "gcc").string() + "\""), std::string::npos)
        << switched.out;
    EXPECT_TRUE(ranNothing(tolm({"prog"})));
}

// A project importing a library builds it with its own flags into the library's output
// directory; the library project's next run builds its objects and archive again rather than
// keep what it never asked for, and the run after that does nothing. Each project keeps its own
// records.
TEST_F(StaleRecordsScenario, ImportersBuildRebuildsImportedProject) {
    write("lib/.tolm_project.txt", "name lib\n" + tool("gnu-gcc") + "units { l { \"tolm.txt\" } }\n");
    write("lib/tolm.txt", "unit l\nobjects: { C_FILES = P\"(add.c)\" C_FLAGS = \"-c\" }\n"
                          "archive: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"libadd.a\" }\n");
    write("lib/add.c", "int add(int a, int b) { return a + b; }\n");
    write("app/.tolm_project.txt",
          "name app\nimport { \"../lib/.tolm_project.txt\"; }\n" + tool("gnu-gcc") + "units { a { \"tolm.txt\" } }\n");
    write("app/tolm.txt", "unit a\ncalc: lib/l::archive { C_FILES = P\"(main.c)\" LIB = l.archive.lib }\n");
    write("app/main.c", "#include <stdio.h>\nint add(int, int);\nint main(void) { printf(\"%d\\n\", add(2, 3)); }\n");

    std::string machine = outputOfProgram("/usr/bin/gcc", {"-dumpmachine"});
    machine.erase(machine.find('\n'));
    const std::string gcc = "\"/usr/bin/" + machine + "-gcc\"", ar = "\"/usr/bin/" + machine + "-ar\"";

    ASSERT_EQ(tolm({"archive"}, "lib").exitCode, 0);
    ASSERT_TRUE(ranNothing(tolm({"archive"}, "lib")));
    const RunResult imported = tolm({"calc", "C_FLAGS+=\"-g\""}, "app");
    ASSERT_EQ(imported.exitCode, 0) << imported.out;
    EXPECT_TRUE(hasLine(imported.out, "[l::objects] " + gcc + " -c -g \"" + at("lib/add.c") + "\"\n")) << imported.out;
    EXPECT_EQ(outputOfProgram(work_.path() / "app/out" / machine / "app/a/calc/calc"), "5\n");

    const RunResult own = tolm({"archive"}, "lib");
    EXPECT_EQ(commandsOf(own), (Words{"[l::objects] " + gcc + " -c \"" + at("lib/add.c") + "\"",
                                      "[l::archive] " + ar + " rcs \"libadd.a\" \"" +
                                          at("lib/out/" + machine + "/lib/l/objects/add.o") + "\""}))
        << own.out;
    EXPECT_TRUE(ranNothing(tolm({"archive"}, "lib")));
}

// The cache file as tolm wrote it before output times were kept (TOLM_CACHE_V5): the same
// records without the program and the times. Written here from the current file's records.
std::string olderCacheFile(const fs::path& file) {
    BuildCache cache(file);
    loadBuildCache(cache);
    std::string out = "TOLM_CACHE_V5\n";
    appendCacheCount(out, cache.records.size());
    for (const auto& [key, record] : cache.records) {
        appendCacheString(out, key.str());
        appendCacheCount(out, record->recipes.size());
        for (const auto& [hash, recipe] : record->recipes) {
            appendCacheCount(out, recipe.inputs.size());
            for (const Tolm::CachedInput& input : recipe.inputs) {
                appendCacheAssignment(out, input.input);
                appendCacheCount(out, input.hasIntermediate() ? 1 : 0);
                if (input.hasIntermediate()) appendCacheAssignment(out, input.intermediate);
            }
            appendCacheCount(out, recipe.outputs.size());
            for (const Tolm::Assignment& output : recipe.outputs) appendCacheAssignment(out, output);
        }
        appendCacheCount(out, record->context.size());
        for (const Tolm::Assignment& assignment : record->context) appendCacheAssignment(out, assignment);
    }
    return out;
}

// A record of an older cache file is built once more (it cannot tell whether its outputs were
// written since), without a warning; the file is then written in the current form and the next
// run has nothing to do.
TEST_F(StaleRecordsScenario, OlderCacheFileBuildsOnceMore) {
    writeProject("prog: { C_FILES = P\"(main.c)\" }\ngen: { src = P\"(in.txt)\" ^out = P\"(out.txt)\" "
                 "cmdline = \"cat in.txt > out.txt\" }\n",
                 tool("gnu-gcc"));
    write("main.c", kWhoBuilt);
    write("in.txt", "one\n");
    for (const char* target : {"prog", "gen"}) {
        ASSERT_EQ(tolm({target}).exitCode, 0);
        ASSERT_TRUE(ranNothing(tolm({target})));
        const std::string older = olderCacheFile(at(".tolm_cache"));
        write(".tolm_cache", older);
        const RunResult again = tolm({"-v", "1", target});
        EXPECT_EQ(again.out.find("Cache file"), std::string::npos) << again.out;
        EXPECT_TRUE(hasLine(again.out, "[app::" + std::string(target) + "] Cache claimed for 'app::" + target + "'.\n"))
            << older << again.out;
        EXPECT_EQ(count(again, "[app::" + std::string(target) + "] Starting build job"), 1);
        EXPECT_TRUE(contentOf(at(".tolm_cache")).starts_with("TOLM_CACHE_V7\n"));
        EXPECT_TRUE(ranNothing(tolm({target})));
    }
}

}  // namespace
