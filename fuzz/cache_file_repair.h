#pragma once

// Keeps mutated cache files worth reading.
//
// Every string in the cache file is a length line and that many bytes. A
// mutation inside a key or an assignment text almost never leaves the length
// right, and a wrong length ends the load at its first record, so a fuzzer
// working on raw bytes rarely gets to the assignment reader and the writer.
// The cache file target therefore repairs half of its mutated inputs: it
// walks them as the reader does and gives each string whose length is wrong
// the length up to the line feed nearest to where it was said to end (the
// later one of two as near).

#include <string>
#include <string_view>

namespace FuzzChecks {

// The bytes with every string length the walk reaches made right; the walk
// stops, leaving the rest as it is, where the file breaks another rule.
std::string repairCacheLengths(std::string_view bytes);

}  // namespace FuzzChecks
