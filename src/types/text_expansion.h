#pragma once
// Text expansion: how an expandable text value becomes its final text.
//
// Two stages run over the text:
//  1. Variable expansion replaces every ${identifier} by the text of the
//     variable it names, recursively, so variables may be built from others.
//  2. Cross expansion turns a text holding #{identifier}, where the value has
//     several elements, into one text per element; #1, #2, ... after it
//     repeat the element of the first, second, ... cross expansion. Several
//     cross expansions give every combination, the first varying slowest.
//
// Every lookup, at every depth, goes through the resolver of the text value
// being resolved (its owner). A guard holds the references whose expansion
// is in progress, so a text that reaches itself fails instead of recursing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "types/identifier.h"
#include "types/tolm_string.h"
#include "types/tolm_value.h"
#include "util/ci_string.h"

namespace Tolm {

// The reference texts (between "${" and "}") whose expansion is in progress,
// compared ignoring letter case. One guard per top-level resolve.
using ExpansionGuard = std::unordered_set<Util::CiString>;

// The messages of text expansion.
namespace TextExpansionMessages {
inline constexpr const char* MissingBrace = "missing '}'";
inline constexpr const char* NestedReference = "nested ${} is not allowed";
// Logged at level 6 when a ${...} lookup fails; the reference becomes empty.
inline constexpr const char* MissingVariable = "Variable '{}' does not exist.\n";
// The same for a variable that exists but whose value fails; with what failed.
inline constexpr const char* UnusableVariable = "Variable '{}' cannot be expanded: {}\n";
// With the "#" and its digits.
inline constexpr const char* UnresolvedBackReference = "unresolved cross expansion reference '{}'";
// With the reference text, the parser's message and its position.
inline constexpr const char* InvalidReference = "Invalid variable reference '{}': {} at position {}";
// With the reference text: a #{...} variable that holds no value.
inline constexpr const char* CrossWithoutValue = "Variable '{}' has no value to cross expand.";
// With the reference text: a text with references but no context to ask.
inline constexpr const char* NoResolver = "Variable '{}' cannot be looked up: the text belongs to no context.";
}  // namespace TextExpansionMessages

// Each level of cross expansion handles one #{...}, so a written text needs
// as many levels as it holds references. Deeper than this, element texts
// keep bringing a reference back: that is a cycle, reported as ResolutionCycle.
inline constexpr std::uint64_t MaxCrossLevel = 256;

// The text with every ${...} reference replaced. Throws TolmException for a
// malformed reference, and ResolutionCycle (a std::out_of_range carrying the
// name as written) for a reference to a variable whose expansion is in
// progress. A variable that cannot be looked up becomes the empty text after
// a level-6 warning, which says what failed unless the name is simply
// missing. When `passesOn` is given, it tells whether the text is one
// reference and nothing else to a value received from a dependency
// (tolm_value.h).
std::string expandVariables(const TolmString& owner, const std::string& text, ExpansionGuard& guard,
                            bool* passesOn = nullptr);

// Both stages: a new TolmString, or a new flat TolmList of TolmString values
// when a cross expansion took place; crossing a value without elements gives
// an empty list. `level` is 1 at the top. When `passesOn` is given, it tells
// whether the result only passes on a value received from a dependency: the
// text is one ${...} of it. A text that is one #{...} after variable
// expansion passes each element on by itself: each text made of a received
// element comes marked received (tolm_value.h), and `passesOn` is false.
TolmValuePtr resolveStringValue(const TolmString& owner, const std::string& text,
                                ExpansionGuard& guard, std::uint64_t level, bool* passesOn = nullptr);

// Length of the back reference ("#" and digits) at `position`, or 0 when no
// "#" followed by a digit starts there.
std::uint64_t scanHashNumber(std::string_view text, std::size_t position);

// The identifier written between the braces of a reference. A text that is
// no identifier throws TolmException with the parser's message and position.
Identifier parseReference(const std::string& name);

// The value the reference names, through the owner's resolver. Throws
// TolmException when the owner has none.
TolmValuePtr lookupReference(const TolmString& owner, const Identifier& identifier,
                             const std::string& name);

}  // namespace Tolm
