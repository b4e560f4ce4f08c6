#pragma once

// The ANTLR runtime reports malformed UTF-8 input with an error of its own
// wording (or decodes it loosely); every loader checks the text first so the
// user always gets one clear message.

#include <cstddef>
#include <optional>
#include <string_view>

namespace Tolm {

inline constexpr const char* kIllegalUtf8Message = "UTF-8 string contains an illegal byte sequence";

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// truncated or overlong sequences, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// Throws std::invalid_argument with kIllegalUtf8Message when `text` is not
// well-formed UTF-8.
void requireValidUtf8(std::string_view text);

// A place in a text as the parser's errors name it: the line from 1, the
// column from 0, counted in characters, not bytes.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 0;
};

// Where the first NUL byte of `text`, well-formed UTF-8, lies; none when it
// holds none.
std::optional<TextPosition> firstNulByte(std::string_view text);

}  // namespace Tolm
