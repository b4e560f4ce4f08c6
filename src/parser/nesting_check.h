#pragma once

// The generated parser, the visitor and the model all recurse once per level
// of brackets and braces, so a small file of "[[[[..." or nested "if" blocks
// could overflow the stack. Every loader therefore reads the token stream
// once before parsing and refuses text nested deeper than
// Tolm::MaxNestingDepth levels of "{", "[" and "(" together.

#include <optional>
#include <string>

#include "antlr4-runtime.h"

// Reads all tokens of `tokens` (lexer errors are reported as the parse would
// report them) and returns the failure text when the nesting is too deep:
// "`source`(line,column): nesting deeper than 200 levels", at the first
// opening token past the limit. Returns nothing when the text is acceptable.
std::optional<std::string> excessiveNesting(antlr4::CommonTokenStream& tokens, const std::string& source);
