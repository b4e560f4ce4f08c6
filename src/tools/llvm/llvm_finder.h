#pragma once
// Finding installed LLVM toolchains below a directory.
//
// An LLVM toolchain is a "clang" file (optionally with a version suffix such
// as -17) whose companions clang++, llvm-ar, llvm-objcopy and a linker carry
// the same suffix in the same directory. The clang is asked for its version
// and its target triple, both at once and at once with every other clang of
// the search; the triple decides the linker (lld-link for the MSVC flavour
// of Windows, ld.lld otherwise).
//
// A clang file counts as seen only once it was accepted as a toolchain, so
// a link to it from a directory that lacks the companions never hides the
// toolchain in its own directory, whatever order the directories come in.
// Of several paths to one file only the first is asked; the next is asked
// only when that one was refused.
//
// Versions compare by their leading numbers. A number too large for 32 bits
// is not a version at all: such a text is unordered against every other, so
// it never satisfies a minimum, never equals and never wins a choice.

#include <compare>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "types/assignment.h"
#include "util/ci_string.h"

// What a tool definition asks of its LLVM toolchain; empty texts ask nothing.
struct LLVMWants {
    std::optional<std::filesystem::path> toolchain_path;  // engaged only for a non-empty text
    std::string toolchain_version;                        // "0" accepts any
    std::string toolchain_min_version;
    std::string TOOLCHAIN_TRIPLET;  // the triple the compiler is probed for
    std::string arch;

    // Each field from the text of the definition's variable of the same name.
    // Throws TolmException "Invalid LLVM TOOLCHAIN_TRIPLET '<text>'." for a
    // triple holding anything but letters, digits, '_', '.', '+' and '-'.
    static LLVMWants fromVariables(const std::map<Util::CiString, Tolm::Assignment>& variables);
};

// A target triple split at '-' by position; missing pieces are empty.
struct TargetTriple {
    std::string text;    // the whole triple as printed
    std::string arch;    // first piece
    std::string vendor;  // second piece
    std::string os;      // third piece
    std::string abi;     // fourth piece and every further one, joined by '-'
};

struct LLVMToolchainInfo {
    std::string version;          // "-dumpversion" output
    std::string requestedTarget;  // the wanted triple it was probed for; may be empty
    TargetTriple target;          // "-print-target-triple" output
    std::filesystem::path binDirectory;  // the directory holding the clang
    std::filesystem::path clang;
    std::filesystem::path clangxx;
    std::filesystem::path ar;
    std::filesystem::path objcopy;
    std::filesystem::path linker;  // lld-link or ld.lld
};

namespace LLVMFinder {

// Every toolchain the wants accept in the bin directories at or below root
// (or beside root when it names a file or a link), in the order found.
std::vector<LLVMToolchainInfo> searchRoot(const LLVMWants& wants, const std::filesystem::path& root);

// directory/(name + suffix), or the same with ".exe", whichever exists first
// (a link counts even when dangling); the empty path when neither does.
std::filesystem::path findTool(const std::filesystem::path& directory, const std::string& name,
                               const std::string& suffix);

// The toolchain a definition gets from the search's results: the highest
// version, the first found among equals; a version that cannot be compared
// loses to every one that can. Nothing for an empty list.
std::optional<LLVMToolchainInfo> chooseNewest(const std::vector<LLVMToolchainInfo>& found);

}  // namespace LLVMFinder

TargetTriple parseTargetTriple(const std::string& text);

// os is "windows" or "win32", ignoring letter case.
bool isWindowsToolchain(const TargetTriple& target);
// A Windows triple whose abi mentions msvc: links with lld-link.
bool isMsvcToolchain(const TargetTriple& target);

// The leading number of every '.'-separated piece; 0 for a piece without
// one. Nothing when a number does not fit 32 bits.
std::optional<std::vector<std::uint32_t>> splitVersionNumeric(const std::string& version);

// Part by part, missing parts counting as 0; unordered when either text
// holds a number too large to keep.
std::partial_ordering compareVersionsNumeric(const std::string& a, const std::string& b);

// True for an empty minimum, the minimum "0", or a version at least the
// minimum; false when either cannot be compared.
bool versionAtLeast(const std::string& version, const std::string& minimum);
