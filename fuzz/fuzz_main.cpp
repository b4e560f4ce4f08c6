// One libFuzzer binary per target: the build compiles this file once for
// each name in FuzzChecks::targets(), with TOLM_FUZZ_TARGET set to it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/fuzz_checks.h"

namespace {

const FuzzChecks::Target* target = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    target = FuzzChecks::findTarget(TOLM_FUZZ_TARGET);
    if (target == nullptr) {
        std::fprintf(stderr, "unknown fuzz target '%s'\n", TOLM_FUZZ_TARGET);
        std::abort();
    }
    FuzzChecks::silenceOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        target->check(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const FuzzChecks::Finding& finding) {
        std::fprintf(stderr, "\nFinding in %s: %s\n", target->name, finding.what());
        std::abort();
    }
    return 0;
}
