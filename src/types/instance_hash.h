#pragma once
// What tells instances of one parameterised target apart in the cache and in
// output file names: the instance text made from the parameter values, and
// its hash. Both must stay stable across runs and versions, so the hash is a
// fixed algorithm (64-bit FNV-1a), not std::hash, and the text is made from
// fixed tags, never from compiler-given class names.
//
// Parameters that are all plain texts give the texts themselves, as they
// always have, so those instances keep their output directories and cache
// records. Any other parameter (a number, a path, a list, a context such as
// a dependency's outputs) is described by its class and its complete value,
// behind a lead that no joined plain-text instance text starts with: the
// number 3 and the text "3", or two contexts with the same variable names,
// are different instances. So is one text that could be taken for another
// instance text (the empty text, which would be none, a text starting with
// the lead, a text holding the separator of joined texts): every instance
// with parameter values has a text, and a hash, of its own.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "types/tolm_value.h"

namespace Tolm {

std::uint64_t fnv1aHash64(std::string_view text);
// The hash as exactly 16 lower-case hexadecimal digits.
std::string fnv1aHash64Hex(std::string_view text);

// The instance text of these parameter values; empty only without values.
// All plain texts: one text stands as it is unless it could be taken for
// another instance text; two or more are joined so that ("ab", "c") and
// ("a", "bc") stay apart whatever bytes the texts hold.
std::string instanceTextOf(std::span<const TolmValuePtr> values);

// Appends the value's class and complete value: every text with its length
// in front, so no two values, or sequences of values, describe alike. A path
// carries its base directory, a context its assignments with their
// operators, modifiers and values, and its conditional blocks.
void describeInstanceValue(const TolmValuePtr& value, std::string& description);

}  // namespace Tolm
