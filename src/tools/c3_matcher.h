#pragma once
// The matcher of a "c3c" tool definition.
//
// The definition names where c3c lives (toolchain_path) and which versions it
// accepts (toolchain_version, toolchain_min_version). The matcher searches
// and probes once, when it is made, keeps the highest accepted version (the
// first found among equal ones) and makes the one C3Builder that every C3
// target of this tool shares, also through clones. At tool selection it only
// compares the target's own version wishes with the version found.

#include <filesystem>
#include <memory>
#include <string>

#include "tools/c3_builder.h"
#include "tools/matcher.h"

namespace Tolm {

class C3Matcher : public Matcher {
public:
    // Throws TolmException when the definition names no toolchain_path, or
    // when no c3c there runs, reports a version and passes the wants.
    C3Matcher(std::string name, NameMap variables, NameMap required);

    std::unique_ptr<Matcher> clone() const override;
    // Impossible when the target's toolchain_version differs from the found
    // version (ignoring case) or its toolchain_min_version is not met;
    // otherwise the builder's own match.
    MatchResult match(const TargetContext& target) const override;
    // The shared builder when it accepts the target; empty otherwise.
    std::shared_ptr<Builder> selectBuilder(const TargetContext& target) override;

    const std::string& version() const { return version_; }
    const std::filesystem::path& executable() const { return executable_; }
    const std::filesystem::path& directory() const { return directory_; }

private:
    std::string version_;
    std::filesystem::path executable_;
    std::filesystem::path directory_;
    std::shared_ptr<C3Builder> builder_;
};

// Registers the tool type "c3c"; the start-up registration calls it last.
void RegisterC3Matcher();

}  // namespace Tolm
