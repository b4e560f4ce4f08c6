#pragma once
// The hash that tells instances of one parameterised target apart in the
// cache and in output file names. It must stay stable across runs and
// versions, so it is a fixed algorithm (64-bit FNV-1a), not std::hash.

#include <cstdint>
#include <string>
#include <string_view>

namespace Tolm {

std::uint64_t fnv1aHash64(std::string_view text);
// The hash as exactly 16 lower-case hexadecimal digits.
std::string fnv1aHash64Hex(std::string_view text);

}  // namespace Tolm
