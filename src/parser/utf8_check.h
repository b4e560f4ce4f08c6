#pragma once

// The ANTLR runtime reports malformed UTF-8 input with an error of its own
// wording (or decodes it loosely); every loader checks the text first so the
// user always gets one clear message.

#include <string_view>

namespace Tolm {

inline constexpr const char* kIllegalUtf8Message = "UTF-8 string contains an illegal byte sequence";

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// truncated or overlong sequences, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// Throws std::invalid_argument with kIllegalUtf8Message when `text` is not
// well-formed UTF-8.
void requireValidUtf8(std::string_view text);

}  // namespace Tolm
