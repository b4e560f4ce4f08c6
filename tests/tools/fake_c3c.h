#pragma once
// A stand-in for the C3 compiler c3c, for tests that find, probe and run it.
//
// Asked for "--version" it prints "c3c version <version>". Any other call is
// a build: it records its arguments and creates the file named after "-o"
// (relative to its working directory, parents included), as a successful
// compile would. Every call, probes included, is appended to a log next to
// the script, so a test sees how often a file was probed and what a build
// was asked to do.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/fake_tool.h"

namespace FakeC3c {

// Ends the arguments of one call in the log.
inline const std::string CallEnd = "--- end of call";

// The log of the stand-in at `file`.
inline std::filesystem::path logOf(const std::filesystem::path& file)
{
    return file.parent_path() / (file.filename().string() + ".calls");
}

// Writes the stand-in at `file` (parents created) reporting `version`.
inline void write(const std::filesystem::path& file, const std::string& version)
{
    const std::string log = FakeTool::shellQuoted(logOf(file).string());
    FakeTool::writeExecutable(file, "#!/bin/sh\n"
                                    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + log + "\n"
                                    "echo " + FakeTool::shellQuoted(CallEnd) + " >> " + log + "\n"
                                    "if [ \"$*\" = --version ]; then\n"
                                    "  echo " + FakeTool::shellQuoted("c3c version " + version) + "\n"
                                    "  exit 0\n"
                                    "fi\n"
                                    "out=\n"
                                    "while [ \"$#\" -gt 0 ]; do\n"
                                    "  if [ \"$1\" = -o ]; then out=$2; fi\n"
                                    "  shift\n"
                                    "done\n"
                                    "[ -n \"$out\" ] || exit 2\n"
                                    "mkdir -p \"$(dirname \"$out\")\" && : > \"$out\"\n");
}

// The argument lists of the calls of the stand-in at `file`, in order;
// with `builds`, the version probes are left out.
inline std::vector<std::vector<std::string>> calls(const std::filesystem::path& file, bool builds = false)
{
    std::vector<std::vector<std::string>> result;
    std::vector<std::string> arguments;
    std::ifstream in(logOf(file));
    for (std::string line; std::getline(in, line);) {
        if (line != CallEnd) {
            arguments.push_back(line);
            continue;
        }
        if (!builds || arguments != std::vector<std::string>{"--version"}) result.push_back(arguments);
        arguments.clear();
    }
    return result;
}

}  // namespace FakeC3c
