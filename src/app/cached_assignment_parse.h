#pragma once
// Turning the stored text of one cached assignment back into an assignment.
//
// The rule: rewrite every P"text" into P"(text)" (path literals from before
// the parenthesised form), parse the result as one statement based at ".",
// and when that fails accept a name and its operator with nothing after it
// as an assignment without a value. Type and modifier always come from the
// "A" line, never from the text.
//
// Parsing through the grammar costs far more than reading the file, and a
// cache holds thousands of assignments. So a small scanner reads the forms
// the writer produces (texts, raw texts, paths, integers, lists and context
// blocks of them, and a name with or without an operator) and answers for
// the grammar when it is sure; anything it does not know goes to the real
// parser. It must give exactly what the parser gives: the tests compare the
// two.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "types/assignment.h"

// The text with every occurrence of P, a double quote, a run that does not
// begin with "(" and holds no double quote, CR or LF, and a double quote
// replaced by P"(run)". Occurrences are found left to right without overlap.
std::string rewritePathLiterals(std::string_view text);
// Whether rewritePathLiterals would change the text. The texts the writer
// makes have no such literal, and the reader spares them the copy.
bool hasOldPathLiteral(std::string_view text);

// What the scanner makes of a text that is already rewritten.
struct QuickParse {
    enum Verdict {
        Parsed,   // `name` and `value` are what the parser gives
        Fails,    // the parser certainly rejects the text
        Unknown,  // only the parser can tell
    };
    Verdict verdict = Unknown;
    std::string name;
    Tolm::TolmValuePtr value;  // null for a name without a value
};
QuickParse quickParseAssignment(std::string_view text);

// The no-value rule on the text as stored: the operator of `type` ("=",
// "+=", "?=" or ":"), a name before its first occurrence and only blanks
// after it. Nullopt when the text does not have that shape.
std::optional<Tolm::Assignment> assignmentWithoutValue(std::string_view text, std::uint32_t type,
                                                       std::uint32_t modifier);

// The whole rule. Nullopt when the text is no assignment; never throws
// anything but std::bad_alloc. A text nested deeper than the parser's stack
// allows counts as one that does not parse.
std::optional<Tolm::Assignment> assignmentFromCacheText(std::string_view text, std::uint32_t type,
                                                        std::uint32_t modifier);
