#include "scenario/run_tolm.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

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

} // namespace

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
    RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                     WIFSIGNALED(status) ? WTERMSIG(status) : 0, contentOf(out.get()), contentOf(err.get())};
    return result;
}
