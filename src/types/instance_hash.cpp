#include "types/instance_hash.h"

#include <fmt/format.h>

namespace Tolm {

std::uint64_t fnv1aHash64(std::string_view text)
{
    constexpr std::uint64_t offsetBasis = 0xcbf29ce484222325ULL;
    constexpr std::uint64_t prime = 0x100000001b3ULL;
    std::uint64_t hash = offsetBasis;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= prime;
    }
    return hash;
}

std::string fnv1aHash64Hex(std::string_view text)
{
    return fmt::format("{:016x}", fnv1aHash64(text));
}

}  // namespace Tolm
