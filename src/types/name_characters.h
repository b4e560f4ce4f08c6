#pragma once

// The characters of a name, as the lexer's IDENTIFIER takes them: a letter
// or "_" first, then letters, digits, "_" and "-" (my-var). The identifier
// parser, the cache reader and every writer of names must agree with the
// lexer, so they all ask here. Classic-locale classes: bytes of 128 and
// above are neither.

namespace Tolm {

constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

constexpr bool startsName(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

constexpr bool continuesName(char c) { return startsName(c) || isAsciiDigit(c) || c == '-'; }

}  // namespace Tolm
