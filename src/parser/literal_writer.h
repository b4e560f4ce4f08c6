#pragma once

// Text forms that the grammar reads back to the same value.
//
// The value classes' own literal forms serve messages and dumps; some of them
// do not parse again (a path prints as P"..." rather than P"(...)", a raw text
// prints as a plain quoted text, a range index as [a..b]). Files that tolm
// writes and later reads again use these forms instead. Each function answers
// std::nullopt when the language has no form that reads back to the same
// thing, so the writer can leave the entry out rather than write it broken.

#include <optional>
#include <string>
#include <string_view>

#include "types/identifier.h"
#include "types/tolm_value.h"

namespace Tolm {

struct Assignment;

// True when `text` lexes as one IDENTIFIER that is not a keyword, so it can
// stand as a project, tool or variable name.
bool isWritableName(std::string_view text);

// True when R"(content)" (or P"(content)") lexes as one token whose content
// is exactly `content`.
bool fitsRawString(std::string_view content);

// The identifier in the grammar's syntax: ranges as [a:b].
std::optional<std::string> writableIdentifier(const Identifier& identifier);

// A literal that the registry reader turns back into an equal value of the
// same kind. Texts without double quotes, raw texts as R"(...)", paths as
// absolute P"(...)" (all of them well-formed UTF-8), integers, identifiers and flat
// lists of these. Nested lists and context values have no such form.
std::optional<std::string> writableLiteral(const TolmValue& value);

// The assignment with its modifier ("^" or "!"), operator and value, in a
// form that reads back with the same operator, modifier and value. A bare
// name stands for a declaration and for a "=" without a value, which has the
// same effect; "+=" and "?=" without a value, and a declaration that carries
// a value, have no written form.
std::optional<std::string> writableAssignment(const Assignment& assignment);

}  // namespace Tolm
