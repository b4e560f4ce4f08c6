// What a run makes of files whose times moved since the last build, through
// the real binary: an output holding its old bytes again over a source saved
// since, an object touched into the future, and a directory named as an
// input that the target's own job writes into.

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "scenario/tolm_scenario.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ChangedTimesScenario : public TolmScenario {
protected:
    void SetUp() override {
        for (const char* tool : {"gcc", "ld", "clang", "ld.lld"})
            if (!fs::exists(fs::path("/usr/bin") / tool)) GTEST_SKIP() << "/usr/bin/" << tool << " is missing";
    }
    // How many commands the run printed for the target (all targets when empty); the run must end
    // well.
    static int commandsOf(const RunResult& run, const std::string& target = "") {
        EXPECT_EQ(run.exitCode, 0) << run.out;
        const std::string lead = target.empty() ? "] \"" : "::" + target + "] \"";
        int commands = 0;
        for (const std::string& line : linesOf(run.out)) commands += line.find(lead) != std::string::npos;
        return commands;
    }
    // How many jobs the run started for the target (all targets when empty); the run must end well.
    static int jobsOf(const RunResult& run, const std::string& target = "") {
        EXPECT_EQ(run.exitCode, 0) << run.out;
        const std::string end = (target.empty() ? "" : "::" + target) + "] Starting build job";
        int jobs = 0;
        for (const std::string& line : linesOf(run.out)) jobs += line.ends_with(end);
        return jobs;
    }
    fs::file_time_type timeOf(const std::string& relative) const { return fs::last_write_time(at(relative)); }
    void setTime(const std::string& relative, fs::file_time_type time) const {
        fs::last_write_time(at(relative), time);
    }
    // Waits until the clock has passed `time` by more than a timestamp tick, so a change made next
    // gets a later time and a run started next begins after it.
    static void waitPast(fs::file_time_type time) {
        while (fs::file_time_type::clock::now() <= time + 20ms) std::this_thread::sleep_for(5ms);
    }
    // Adds a file to the directory once the clock has passed the directory's time.
    void addFileTo(const std::string& directory) const {
        waitPast(timeOf(directory));
        write(directory + "/added.txt", "added\n");
    }
};

// With gcc and with clang: the program's old bytes put back over it after its source was saved
// (the copy made later than the save) are what the last build left, but from the older source:
// the next run builds the program again, and it returns the new value.
TEST_F(ChangedTimesScenario, OldBytesPutBackOverAChangedSourceRebuild) {
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        writeProject("app: { C_FILES = P\"(m.c)\" OUTPUT_DIR = P\"(bin)\" }\n", tool(type), type);
        write(type + "/m.c", "int main(void) { return 1; }\n");
        ASSERT_EQ(commandsOf(tolm({}, type)), 1) << type;
        const std::string program = type + "/bin/app", saved = type + "/app.v1";
        fs::copy_file(at(program), at(saved));
        const fs::file_time_type built = timeOf(program);

        write(type + "/m.c", "int main(void) { return 2; }\n");
        fs::copy_file(at(saved), at(program), fs::copy_options::overwrite_existing);
        setTime(type + "/m.c", built + 1ms);
        setTime(program, built + 2ms);
        waitPast(built + 2ms);
        EXPECT_EQ(commandsOf(tolm({}, type)), 1) << type;
        EXPECT_EQ(outputOfProgram(at(program)), "exit 2: ") << type;
        EXPECT_EQ(commandsOf(tolm({}, type)), 0) << type;
    }
}

// A command target of an imported project, run by the importer: its input is saved while the
// command runs (here by the command itself, once), after it read the old text, which it then
// writes over the output with the bytes the imported project's own run left there. The imported
// project's next run builds the target again, and the one after that does nothing. The importer's
// next run builds it once (it too saw the input change), and then both leave it alone.
TEST_F(ChangedTimesScenario, ImportedCommandRewritingOldBytesOverASavedInputRebuilds) {
    write("lib/.tolm_project.txt", "name lib\nunits { l { \"tolm.txt\" } }\n");
    write("lib/tolm.txt", "unit l\ncopy: { src = P\"(in.txt)\" ^OUT = P\"(out.txt)\" cwd = P\"(.)\"\n"
                          "  cmdline = \"cat in.txt > out.tmp; if [ -e once ]; then rm once; echo new > in.txt; fi; "
                          "cat out.tmp > out.txt\" }\n");
    write("lib/in.txt", "old\n");
    write("app/.tolm_project.txt",
          "name app\nimport { \"../lib/.tolm_project.txt\"; }\nunits { a { \"tolm.txt\" } }\n");
    write("app/tolm.txt", "unit a\nall: lib/l::copy { NO_TOOL }\n");
    EXPECT_EQ(jobsOf(tolm({}, "lib")), 1);
    const fs::file_time_type built = timeOf("lib/out.txt");

    write("lib/once", "");
    EXPECT_EQ(jobsOf(tolm({}, "app"), "copy"), 1);
    EXPECT_EQ(contentOf(at("lib/out.txt")), "old\n");
    // However fast the command ran: saved after the imported project's build, written over after
    // the save.
    setTime("lib/in.txt", built + 1ms);
    setTime("lib/out.txt", built + 2ms);
    waitPast(built + 2ms);

    EXPECT_EQ(jobsOf(tolm({}, "lib")), 1);
    EXPECT_EQ(contentOf(at("lib/out.txt")), "new\n");
    EXPECT_EQ(jobsOf(tolm({}, "lib")), 0);
    EXPECT_EQ(jobsOf(tolm({}, "app"), "copy"), 1);
    EXPECT_EQ(jobsOf(tolm({}, "lib")), 0);
    EXPECT_EQ(jobsOf(tolm({}, "app"), "copy"), 0);
}

// An object touched an hour into the future with its content unchanged (a clock ahead): the next
// run compiles it again and links the program once, and the run after that does nothing.
TEST_F(ChangedTimesScenario, ObjectTouchedIntoTheFutureIsBuiltOnce) {
    writeProject("objects: { C_FILES = P\"(m.c)\" C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n"
                 "app: objects { OBJS = objects.objs OUTPUT_DIR = P\"(bin)\" }\n",
                 tool("gnu-gcc"));
    write("m.c", "int main(void) { return 0; }\n");
    EXPECT_EQ(commandsOf(tolm({"app"})), 2);
    setTime("obj/m.o", fs::file_time_type::clock::now() + 1h);

    const RunResult after = tolm({"app"});
    EXPECT_EQ(commandsOf(after, "objects"), 1);
    EXPECT_EQ(commandsOf(after, "app"), 1);
    EXPECT_EQ(commandsOf(tolm({"app"})), 0);
}

// A command that makes a file in the directory it names as an input: the next run runs nothing,
// and a file added to the directory later runs the command again, once.
TEST_F(ChangedTimesScenario, DirectoryInputWrittenByItsOwnCommandSettles) {
    writeProject("gen: { gendir = P\"(gen)\" ^h = P\"(gen/v.h)\" "
                 "cmdline = \"rm -f gen/v.h && touch gen/v.h && sleep 0.1 && echo x > gen/v.h\" }\n");
    fs::create_directory(at("gen"));
    EXPECT_EQ(jobsOf(tolm({})), 1);
    EXPECT_EQ(jobsOf(tolm({})), 0);
    addFileTo("gen");
    EXPECT_EQ(jobsOf(tolm({})), 1);
    EXPECT_EQ(jobsOf(tolm({})), 0);
}

// A shared library linked from objects into its output directory, with that directory as a library
// path, and a program linked with it: with gcc's ld and with clang's ld.lld (which renames a
// temporary file into the directory), the next run runs nothing, and a file added to the directory
// later links both again.
TEST_F(ChangedTimesScenario, LibraryLinkedIntoItsLibraryPathSettles) {
    for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
        writeProject("objects: { C_FILES = P\"(x.c)\" C_FLAGS = \"-c -fPIC\" }\n"
                     "libx: objects { OBJS = objects.objs SHARED OUTPUT_NAME = \"libx.so\" OUTPUT_DIR = P\"(bin)\" "
                     "LIBPATH = P\"(bin)\" }\n"
                     "app: libx { C_FILES = P\"(main.c)\" LIB = libx.so }\n",
                     tool(type), type);
        write(type + "/x.c", "int f(void) { return 41; }\n");
        write(type + "/main.c", "int f(void);\nint main(void) { return f() + 1; }\n");
        const RunResult first = tolm({"app"}, type);
        EXPECT_EQ(commandsOf(first, "libx"), 1) << type;
        EXPECT_EQ(commandsOf(first, "app"), 1) << type;
        EXPECT_EQ(commandsOf(tolm({"app"}, type)), 0) << type;

        addFileTo(type + "/bin");
        const RunResult added = tolm({"app"}, type);
        EXPECT_EQ(commandsOf(added, "objects"), 0) << type;
        EXPECT_EQ(commandsOf(added, "libx"), 1) << type;
        EXPECT_EQ(commandsOf(added, "app"), 1) << type;
        EXPECT_EQ(commandsOf(tolm({"app"}, type)), 0) << type;
    }
}

}  // namespace

// An output given a newer time with its own bytes (touched, copied back) after a complete build:
// the run that follows may build what reads it, once; from then on a run with nothing changed runs
// no command. With gcc and with clang, for an archive of the object, a program linked from it and
// one linked from its archive; and for a command target reading another's output. Old bytes put
// back over an object whose source was saved since still build it again.
TEST_F(ChangedTimesScenario, OutputRewrittenAlikeSettlesAfterOneRun) {
    const std::string objects =
        "objects: { C_FILES = [P\"(a.c)\", P\"(m.c)\"] C_FLAGS = \"-c\" OUTPUT_DIR = P\"(obj)\" }\n";
    const std::string archive = "arch: objects { OBJS = objects.objs STATIC OUTPUT_NAME = \"liba.a\" }\n";
    const struct {
        std::string form, targets, rewritten, source;
    } forms[] = {
        {"archive", archive + objects, "obj/a.o", "a.c"},
        {"program", "app: objects { OBJS = objects.objs OUTPUT_DIR = P\"(bin)\" }\n" + objects, "obj/a.o", "a.c"},
        {"program of the archive",
         "app: arch { C_FILES = P\"(m.c)\" LIB = arch.lib OUTPUT_DIR = P\"(bin)\" }\n" + archive + objects, "obj/a.o",
         "a.c"},
        {"command", "use: gen { src = gen.o ^out = P\"(u.txt)\" cmdline = \"cat g.txt > u.txt\" }\n"
                    "gen: { src = P\"(g.in)\" ^o = P\"(g.txt)\" cmdline = \"cat g.in > g.txt\" }\n",
         "g.txt", ""},
    };
    for (const auto& form : forms) {
        for (const std::string type : {"gnu-gcc", "llvm-clang"}) {
            if (form.source.empty() && type != "gnu-gcc") continue;
            const std::string dir = type + "/" + form.form, label = form.form + " " + type;
            writeProject(form.targets, tool(type), dir);
            write(dir + "/a.c", "int f(void) { return 1; }\n");
            write(dir + "/m.c", "int f(void);\nint main(void) { return f(); }\n");
            write(dir + "/g.in", "g\n");
            EXPECT_GT(jobsOf(tolm({}, dir)), 0) << label;
            const std::string rewritten = dir + "/" + form.rewritten;
            waitPast(timeOf(rewritten));
            fs::last_write_time(at(rewritten), fs::file_time_type::clock::now());
            tolm({}, dir);
            EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << label;
            EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << label;
            if (form.source.empty()) continue;

            const std::string saved = rewritten + ".v1";
            fs::copy_file(at(rewritten), at(saved));
            waitPast(timeOf(rewritten));
            write(dir + "/" + form.source, "int f(void) { return 2; }\n");
            waitPast(timeOf(dir + "/" + form.source));
            fs::copy_file(at(saved), at(rewritten), fs::copy_options::overwrite_existing);
            waitPast(timeOf(rewritten));
            EXPECT_EQ(jobsOf(tolm({}, dir), "objects"), 1) << label;
            EXPECT_EQ(jobsOf(tolm({}, dir)), 0) << label;
        }
    }
}
