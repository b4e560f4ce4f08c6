#pragma once
// Bounds on what resolving one variable may cost.
//
// Each #{...} multiplies the texts of a value, each "${A}${A}" doubles its
// length and each [A, A] doubles a list, so a few lines could ask for
// gigabytes; and each variable that refers to the next one adds a level of
// recursion, so a long chain of references could exhaust the stack. Real
// projects stay far below every bound, and below them nothing changes; past
// one, resolution stops with ExpansionLimit naming the variable.
//
// An ExpansionBudget covers the resolution of one variable's value (all its
// texts, and the items its lists take over from the lists they hold); a
// variable looked up along the way is resolved under a budget of its own. A
// ResolutionDepth marks one variable whose resolution is in progress. Both
// are kept per thread, since expansion reaches other variables through their
// contexts, which know nothing of the caller.

#include <cstddef>
#include <cstdint>
#include <string>

#include "types/tolm_exceptions.h"

namespace Tolm {

inline constexpr std::uint64_t MaxExpansionTexts = 1'000'000;
inline constexpr std::uint64_t MaxExpansionBytes = std::uint64_t(64) << 20;
inline constexpr std::size_t MaxResolutionDepth = 200;

namespace ExpansionMessages {
// With the variable's name and the bound that was passed.
inline constexpr const char* TooLarge = "Expansion of variable '{}' produces more than {}.";
// When the text belongs to no variable (a condition's operand).
inline constexpr const char* TooLargeText = "Expansion of a text produces more than {}.";
inline constexpr const char* TextsBound = "1000000 texts";
inline constexpr const char* ItemsBound = "1000000 list items";
inline constexpr const char* BytesBound = "64 MiB of text";
// With the variable reached at the limit.
inline constexpr const char* TooDeep = "Variable '{}' is reached through more than 200 nested references.";
}  // namespace ExpansionMessages

// Passes through the handlers that turn a failed lookup into empty text or
// "does not exist": it must reach the user.
class ExpansionLimit : public TolmException {
public:
    explicit ExpansionLimit(std::string message) : TolmException(std::move(message)) {}
};

class ExpansionBudget {
public:
    // Makes this the active budget of the thread until it is destroyed.
    // `variable` names the variable whose value is expanded; may be empty.
    explicit ExpansionBudget(std::string variable);
    ~ExpansionBudget();
    ExpansionBudget(const ExpansionBudget&) = delete;
    ExpansionBudget& operator=(const ExpansionBudget&) = delete;

    // The thread's active budget, or null when none is.
    static ExpansionBudget* active();

    // Counts one finished text of `bytes` bytes against the active budget.
    static void chargeText(std::size_t bytes);
    // Counts one item that a list takes over from a list it holds; `bytes`
    // is the length of the item's text (0 for an item that is no text).
    static void chargeListItem(std::size_t bytes);
    // Checks texts still being built (`texts` of `bytes` bytes together):
    // with what was charged they must stay within both bounds.
    static void checkGrowing(std::uint64_t texts, std::uint64_t bytes);

private:
    [[noreturn]] void exceeded(const char* bound) const;
    // One more of what `counter` counts (past MaxExpansionTexts: `bound`),
    // and `bytes` more text.
    static void charge(std::uint64_t ExpansionBudget::*counter, const char* bound, std::size_t bytes);

    std::string variable_;
    std::uint64_t texts_ = 0;
    std::uint64_t items_ = 0;
    std::uint64_t bytes_ = 0;
    ExpansionBudget* previous_;
};

class ResolutionDepth {
public:
    // Enters the resolution of `variable`; throws ExpansionLimit when that
    // would nest more than MaxResolutionDepth resolutions.
    explicit ResolutionDepth(const std::string& variable);
    ~ResolutionDepth();
    ResolutionDepth(const ResolutionDepth&) = delete;
    ResolutionDepth& operator=(const ResolutionDepth&) = delete;
};

}  // namespace Tolm
