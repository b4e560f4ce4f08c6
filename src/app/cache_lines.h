#pragma once
// The elements the build cache file is made of.
//
// Lines end with '\n' and nothing else; a last line without one still counts.
// - count: a line of decimal digits (the reader skips leading white space and
//   ignores whatever follows the digits);
// - string: a count n, then exactly n bytes of any value, then '\n';
// - assignment: a line "A <type> <modifier>", then a string holding its text
//   (cached_assignment_text.h);
// - time: a line holding a file's last write time as the seconds since
//   1970-01-01 UTC (signed) and the nanoseconds within that second (nine
//   digits), separated by a blank ("1765099999 012345678"), or "-" for a file
//   that did not exist;
// - fingerprint: a line of 16 lower-case hexadecimal digits, a hash of a
//   file's content, or "-" for a file that could not be read.
//
// The reader walks the whole file held in memory: a string is a view into it,
// and a length or count can never make it allocate more than the bytes that
// are actually there, however large the number a damaged file states.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "types/assignment.h"

// A read position in the file's bytes.
class CacheReader {
public:
    explicit CacheReader(std::string_view bytes) : rest_(bytes) {}

    // The next line without its '\n'; nullopt at the end of the bytes.
    std::optional<std::string_view> line();
    // The next n bytes, which must be followed by '\n' (consumed too).
    std::optional<std::string_view> block(std::uint64_t n);
    std::size_t remaining() const { return rest_.size(); }

private:
    std::string_view rest_;
};

// The elements appended to a text in memory, where the whole file is put
// together before it is written.
void appendCacheCount(std::string& out, std::uint64_t count);
void appendCacheString(std::string& out, std::string_view text);
// False, appending nothing, when the assignment has no text that reads back.
bool appendCacheAssignment(std::string& out, const Tolm::Assignment& assignment);

void appendCacheTime(std::string& out, const std::optional<std::filesystem::file_time_type>& time);

// Each reader gives nullopt when the element is missing or breaks its rule.
std::optional<std::uint64_t> readCacheNumber(CacheReader& in);
std::optional<std::string_view> readCacheString(CacheReader& in);
std::optional<Tolm::Assignment> readCacheAssignment(CacheReader& in);
// A time the file clock cannot hold breaks the rule.
std::optional<std::optional<std::filesystem::file_time_type>> readCacheTime(CacheReader& in);

void appendCacheFingerprint(std::string& out, const std::optional<std::uint64_t>& fingerprint);
std::optional<std::optional<std::uint64_t>> readCacheFingerprint(CacheReader& in);
