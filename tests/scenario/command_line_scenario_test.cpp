#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "scenario/scratch_dir.h"

namespace {

struct RunResult {
    int exitCode = -1; // as the shell sees it (0..255); -1 when killed by a signal
    std::string out;
    std::string err;
};

// Output goes to anonymous temporary files rather than pipes, so a chatty
// child can never block on a full pipe while the parent waits for it.
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File tempFile() {
    File file(std::tmpfile(), &std::fclose);
    if (!file) throw std::runtime_error("tmpfile failed");
    return file;
}

std::string contentOf(std::FILE* file) {
    std::string text;
    char buffer[4096];
    std::rewind(file);
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, n);
    return text;
}

// Runs the real tolm binary with `words` after the program name, in `cwd`,
// with HOME set to `home` and the caller's PATH as the whole environment;
// arguments go straight to exec, so no shell quoting is involved.
RunResult runTolm(const std::vector<std::string>& words, const std::filesystem::path& cwd,
                  const std::filesystem::path& home) {
    // Everything the child needs is prepared before fork.
    std::vector<std::string> args{TOLM_BINARY};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const char* path = std::getenv("PATH");
    std::string homeEntry = "HOME=" + home.string();
    std::string pathEntry = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
    char* envp[] = {homeEntry.data(), pathEntry.data(), nullptr};
    const File out = tempFile(), err = tempFile();
    std::fflush(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(fileno(out.get()), STDOUT_FILENO);
        dup2(fileno(err.get()), STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp);
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentOf(out.get()), contentOf(err.get())};
}

using Words = std::vector<std::string>;

const std::string kUsage =
    "tolm [options] target? [assignment]*\n"
    "Options: \n"
    "  -l <unit>  list targets from unit (1 = main unit)\n"
    "  -u         list units from project file\n"
    "  -p         list profiles from project file\n"
    "  -v <num>   verbosity level, default = 2\n"
    "  -j <num>   thread count\n"
    "  -f <file>  default tolm file override\n"
    "  -o <file>  main target outputs\n"
    "  -r         register current project\n"
    "  --find-compilers   detect and register default toolchains\n"
    "  --version\n"
    "  --create-project     initialise project file\n";

// Each test runs in an empty directory with an empty home directory.
class CommandLineScenario : public ::testing::Test {
protected:
    RunResult tolm(const Words& words) { return runTolm(words, work_.path(), home_.path()); }

    ScratchDir work_;
    ScratchDir home_;
};

// Whole runs: exact output, exit status and nothing on standard error.
TEST_F(CommandLineScenario, OutputAndStatus) {
    const struct {
        Words words;
        std::string out;
        int exitCode;
    } cases[] = {
        // --version acts before everything else; -h acts while parsing, so it wins over it.
        {{"--version"}, "3.12.0.0\n", 0},
        {{"--VERSION", "--create-project"}, "3.12.0.0\n", 0},
        {{"-version", "-r"}, "3.12.0.0\n", 0},
        {{"-h"}, kUsage, 0},
        {{"--version", "-h"}, kUsage, 0},
        {{"-h", "--bogus", "-l"}, kUsage, 0},
        {{"-v", "6", "-h"}, "", 0},
        // A mode that cannot run yet fails by name; the first mode in run order is the one reported.
        {{"--create-project", "--find-compilers"}, "Error: --create-project is not available yet.\n", 1},
        {{"-r", "--find-compilers"}, "Error: --find-compilers is not available yet.\n", 1},
        {{"-u", "-l", "app"}, "Error: -l is not available yet.\n", 1},
        // Option errors end the run through the top-level handling.
        {{"-l"}, "Option '-l' requires a unit.\n", 1},
        {{"-l", "-u"}, "Option '-l' requires a unit.\n", 1},
        {{"-o"}, "unknown switch\n", 1},
        {{"app", "-f"}, "unknown switch\n", 1},
        {{"-f", ""}, "unknown switch\n", 1},
        {{"--out", "", "app"}, "unknown switch\n", 1},
        // An empty unit word would silently turn the list request into a build.
        {{"--list-targets", ""}, "Option '-l' requires a unit.\n", 1},
        {{"-j", "2147483648"}, "Number '2147483648' of option '-j' is out of range.\n", 1},
        {{"-v", "99999999999"}, "Number '99999999999' of option '-v' is out of range.\n", 1},
    };
    for (const auto& c : cases) {
        const RunResult run = tolm(c.words);
        EXPECT_EQ(run.out, c.out) << c.words[0];
        EXPECT_EQ(run.exitCode, c.exitCode) << c.words[0];
        EXPECT_EQ(run.err, "") << c.words[0];
    }
    // A build without any unit file must never look like a success.
    const RunResult build = tolm({"app"});
    EXPECT_EQ(build.exitCode, 1);
    EXPECT_EQ(build.out.rfind("Error: ", 0), 0u) << build.out;
    // Nothing above touched the registry or the project directory.
    EXPECT_TRUE(home_.isEmpty());
    EXPECT_TRUE(work_.isEmpty());
}

} // namespace
