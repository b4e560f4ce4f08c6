#include "types/expansion_budget.h"

#include <fmt/format.h>

namespace Tolm {

namespace {

thread_local ExpansionBudget* activeBudget = nullptr;

std::string tooLargeMessage(const std::string& variable, const char* bound)
{
    if (variable.empty()) return fmt::format(fmt::runtime(ExpansionMessages::TooLargeText), bound);
    return fmt::format(fmt::runtime(ExpansionMessages::TooLarge), variable, bound);
}

}  // namespace

ExpansionTooLarge::ExpansionTooLarge(std::string variable, const char* bound)
    : TolmException(tooLargeMessage(variable, bound))
{
}

ExpansionBudget::ExpansionBudget(std::string variable) : variable_(std::move(variable)), previous_(activeBudget)
{
    activeBudget = this;
}

ExpansionBudget::~ExpansionBudget()
{
    activeBudget = previous_;
}

ExpansionBudget* ExpansionBudget::active()
{
    return activeBudget;
}

void ExpansionBudget::chargeText(std::size_t bytes)
{
    ExpansionBudget* budget = activeBudget;
    if (!budget) return;
    if (++budget->texts_ > MaxExpansionTexts) throw ExpansionTooLarge(budget->variable_, ExpansionMessages::TextsBound);
    budget->bytes_ += bytes;
    if (budget->bytes_ > MaxExpansionBytes) throw ExpansionTooLarge(budget->variable_, ExpansionMessages::BytesBound);
}

void ExpansionBudget::checkGrowing(std::uint64_t texts, std::uint64_t bytes)
{
    const ExpansionBudget* budget = activeBudget;
    if (!budget) return;
    if (budget->texts_ + texts > MaxExpansionTexts)
        throw ExpansionTooLarge(budget->variable_, ExpansionMessages::TextsBound);
    if (budget->bytes_ + bytes > MaxExpansionBytes)
        throw ExpansionTooLarge(budget->variable_, ExpansionMessages::BytesBound);
}

}  // namespace Tolm
