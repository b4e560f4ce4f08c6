#pragma once
// Finding installed GNU compilers below a directory.
//
// A GNU toolchain is known by what its compiler says of itself: the machine
// triplet of "-dumpmachine" (also the prefix of its tool names) and its
// version. The search collects every "bin" directory at or below a root,
// probes each compiler-like file there once however many names lead to it
// (all of them at once, probe_batch.h), and keeps one record per directory,
// triplet and version, in listing order whichever compiler answers first. Directories that
// cannot be read and compilers that do not answer are not errors: they only
// make the result smaller. Nothing here logs.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "types/assignment.h"
#include "util/ci_string.h"

namespace Tolm {
class ContextTemplate;
}

// What a tool definition asks of its GNU toolchain; empty texts ask nothing.
struct GNUWants {
    std::optional<std::filesystem::path> toolchain_path;  // engaged only for a non-empty text
    std::string prefix;  // the whole triplet
    std::string arch;
    std::string os;
    std::string abi;
    std::string toolchain_version;  // "0" accepts any
    std::string toolchain_min_version;

    // Each field from the text of the definition's variable of the same name.
    static GNUWants fromVariables(const std::map<Util::CiString, Tolm::Assignment>& variables);
};

// One compiler that answered in one directory.
struct GNUCompilerProbe {
    std::string version;     // may be empty
    std::string machine;     // "-dumpmachine" output, never empty
    std::string executable;  // the path as the directory listing gave it
};

struct GNUToolchainInfo {
    std::string version;  // may be empty
    std::string prefix;   // the whole triplet, e.g. x86_64-linux-gnu
    std::string arch;     // first, second and third part of the triplet;
    std::string os;       // empty when the triplet has fewer parts
    std::string abi;
    std::filesystem::path toolchainPath;  // the directory holding the compiler
    std::filesystem::path rootPath;       // the parent of that bin directory
};

namespace GNUFinder {

// Every toolchain found in the bin directories at or below root that the
// wants accept, in discovery order, each directory/triplet/version once.
std::vector<GNUToolchainInfo> searchRoot(const GNUWants& wants, std::filesystem::path root);

// How a file name (without ".exe") reads as a compiler of a family: whether
// it is one ([prefix-]name[-version], e.g. x86_64-linux-gnu-gcc-12 for
// "gcc"), and the version its name ends with, if any. Any other family text
// than "gcc" and "g\+\+" is used as the name pattern itself.
struct CompilerName {
    bool matches = false;
    std::string version;
};
CompilerName readCompilerName(const std::string& family, const std::string& name);

// Probes the C ("gcc") or C++ ("g\+\+") compilers of one directory, in
// listing order. Any other family text is used as the name pattern itself.
std::vector<GNUCompilerProbe> scanDirectory(const std::string& family, const std::filesystem::path& directory);

// Appends a toolchain record for every probe that the wants accept.
void selectCandidates(const GNUWants& wants, const std::filesystem::path& rootPath,
                      const std::vector<GNUCompilerProbe>& probes, std::vector<GNUToolchainInfo>& output);

}  // namespace GNUFinder

// One "gnu-gcc" tool definition per toolchain found below the roots, in
// order; a toolchain reached from several roots is kept once.
std::vector<std::shared_ptr<Tolm::ContextTemplate>> findGnuToolchains(const std::vector<std::filesystem::path>& roots);
