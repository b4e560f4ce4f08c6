#include "app/toolchain_storing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace TestSupport;

std::shared_ptr<Tolm::ContextTemplate> definition(std::vector<Tolm::Assignment> assignments) {
    return std::make_shared<Tolm::ContextTemplate>(std::move(assignments));
}

// The registry's tools as "name: assignment, ..." lines.
std::string toolsOf(const TolmRegistry& registry) {
    std::string text;
    for (const auto& [name, tool] : registry.tools) {
        text += name.str() + ":";
        for (const Tolm::Assignment& assignment : tool->assignments) text += " " + assignment.toString();
        text += "\n";
    }
    return text;
}

// Each detected toolchain is stored under its toolchain_name without that
// assignment, replacing a tool of the same name ignoring case; the other
// registry tools stay.
TEST(StoreDetectedToolchains, StoresUnderToolchainName) {
    TolmRegistry registry;
    registry.tools["GCC-12"] = definition({set("old", num(1))});
    registry.tools["mine"] = definition({});
    storeDetectedToolchains(registry, {definition({set("tool_type", str("gnu-gcc")), set("toolchain_name", str("gcc-12")),
                                                   set("toolchain_version", str("12.2.0"))}),
                                       definition({set("TOOLCHAIN_NAME", str("clang-16"))})});
    EXPECT_EQ(toolsOf(registry),
              "clang-16:\n"
              "gcc-12: tool_type = \"gnu-gcc\" toolchain_version = \"12.2.0\"\n"
              "mine:\n");
}

}  // namespace
