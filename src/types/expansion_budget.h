#pragma once
// A bound on what one value's expansion may produce.
//
// Each #{...} multiplies the texts of a value and each "${A}${A}" doubles
// its length, so a few lines could ask for gigabytes. One budget covers the
// resolution of one variable's value (all its texts, list items included);
// a variable looked up along the way is resolved under a budget of its own.
// Passing either bound stops the expansion with ExpansionTooLarge. Real
// projects stay far below both, and below them nothing changes.
//
// The active budget is kept per thread, since expansion reaches other
// variables through their contexts, which know nothing of the caller.

#include <cstddef>
#include <cstdint>
#include <string>

#include "types/tolm_exceptions.h"

namespace Tolm {

inline constexpr std::uint64_t MaxExpansionTexts = 1'000'000;
inline constexpr std::uint64_t MaxExpansionBytes = std::uint64_t(64) << 20;

namespace ExpansionMessages {
// With the variable's name and the bound that was passed.
inline constexpr const char* TooLarge = "Expansion of variable '{}' produces more than {}.";
// When the text belongs to no variable (a condition's operand).
inline constexpr const char* TooLargeText = "Expansion of a text produces more than {}.";
inline constexpr const char* TextsBound = "1000000 texts";
inline constexpr const char* BytesBound = "64 MiB of text";
}  // namespace ExpansionMessages

// Passes through the handlers that turn a failed lookup into empty text or
// "does not exist": it must reach the user.
class ExpansionTooLarge : public TolmException {
public:
    ExpansionTooLarge(std::string variable, const char* bound);
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
    // Checks texts still being built (`texts` of `bytes` bytes together):
    // with what was charged they must stay within both bounds.
    static void checkGrowing(std::uint64_t texts, std::uint64_t bytes);

private:
    std::string variable_;
    std::uint64_t texts_ = 0;
    std::uint64_t bytes_ = 0;
    ExpansionBudget* previous_;
};

}  // namespace Tolm
