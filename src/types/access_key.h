#pragma once
// Access keys: what a value's get selects an element or part with, and the
// key chain that stands for one identifier during a lookup.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace Tolm {

// A range key: first, last and step as the value classes interpret them.
struct KeyRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t step = 1;

    bool operator==(const KeyRange&) const = default;
};

// A pattern key; messages print it between slashes.
struct KeyPattern {
    std::string pattern;

    bool operator==(const KeyPattern&) const = default;
};

// Alternatives in this order: integer, range, text (a variable name or a text
// index), pattern.
using AccessKey = std::variant<std::int64_t, KeyRange, std::string, KeyPattern>;

// Alternative indexes of AccessKey.
enum AccessKeyKind : std::size_t {
    IntegerKey = 0,
    RangeKey = 1,
    TextKey = 2,
    PatternKey = 3,
};

// One identifier during a lookup: per segment a text key with its name, then
// one key per index expression.
using KeyChain = std::vector<AccessKey>;

// The key as an index failure shows it: "[n]", "[first:last:step]", the bare
// text, or "/pattern/". A valueless key gives an empty text.
std::string accessKeyIndexText(const AccessKey& key);

// The key as an identifier failure shows it: the number, "first, last, step",
// or the text (a pattern without slashes). A valueless key gives an empty text.
std::string accessKeyPathText(const AccessKey& key);

} // namespace Tolm
