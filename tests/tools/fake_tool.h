#pragma once
// Stand-ins for compilers and other probed programs: small shell scripts that
// answer chosen argument texts with chosen output and fail on anything else.
// Each run can be recorded in a log file, so a test sees which files were
// probed and how often.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

namespace FakeTool {

// 'text' quoted for sh.
inline std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline void writeExecutable(const std::filesystem::path& file, const std::string& script)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!(out << script).flush()) throw std::runtime_error("Cannot write " + file.string());
    out.close();
    std::filesystem::permissions(file, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
}

// A program that prints answers.at("$*") and exits 0, or exits 1 for any
// other argument text. With a log, every run appends "<$0> <$*>" to it; with
// `meet` as well, it then waits until the log holds that many lines, so it
// answers only while that many runs have started, and exits 1 when they
// have not after 15 s or more.
inline void write(const std::filesystem::path& file, const std::map<std::string, std::string>& answers,
                  const std::filesystem::path& log = {}, int meet = 0)
{
    std::string script = "#!/bin/sh\n";
    if (!log.empty()) script += "echo \"$0 $*\" >> " + shellQuoted(log.string()) + "\n";
    if (meet > 0)
        script += "i=0; while [ $(wc -l < " + shellQuoted(log.string()) + ") -lt " + std::to_string(meet) +
                  " ]; do i=$((i+1)); [ $i -gt 1500 ] && exit 1; sleep 0.01; done\n";
    script += "case \"$*\" in\n";
    for (const auto& [arguments, output] : answers)
        script += shellQuoted(arguments) + ") printf '%s\\n' " + shellQuoted(output) + "; exit 0;;\n";
    script += "esac\nexit 1\n";
    writeExecutable(file, script);
}

// A GNU compiler reporting a machine and a full version.
inline void gnuCompiler(const std::filesystem::path& file, const std::string& machine, const std::string& version,
                        const std::filesystem::path& log = {})
{
    write(file, {{"-dumpmachine", machine}, {"-dumpfullversion", version}}, log);
}

// A clang reporting a version and its default triple.
inline void clang(const std::filesystem::path& file, const std::string& version, const std::string& triple,
                  const std::filesystem::path& log = {})
{
    write(file, {{"-dumpversion", version}, {"-print-target-triple", triple}}, log);
}

// The lines of a probe log, sorted: probes run side by side, so the order
// they started in means nothing. Empty when nothing ran.
inline std::vector<std::string> logLines(const std::filesystem::path& log)
{
    std::vector<std::string> lines;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace FakeTool
