// The cache file target's mutator: libFuzzer's own mutations, and for half of
// the inputs the string lengths repaired afterwards (cache_file_repair.h).
// Linked into that target alone.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/cache_file_repair.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    // The other half stays damaged: the reader must cope with that too.
    if (seed % 2 == 0) return size;
    const std::string repaired =
        FuzzChecks::repairCacheLengths(std::string_view(reinterpret_cast<const char*>(data), size));
    if (repaired.size() > maxSize) return size;
    std::memcpy(data, repaired.data(), repaired.size());
    return repaired.size();
}
