#include "types/expansion_limits.h"

#include <fmt/format.h>

namespace Tolm {

namespace {

thread_local ExpansionBudget* activeBudget = nullptr;
thread_local std::size_t resolutionDepth = 0;

}  // namespace

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

void ExpansionBudget::exceeded(const char* bound) const
{
    if (variable_.empty()) throw ExpansionLimit(fmt::format(fmt::runtime(ExpansionMessages::TooLargeText), bound));
    throw ExpansionLimit(fmt::format(fmt::runtime(ExpansionMessages::TooLarge), variable_, bound));
}

void ExpansionBudget::charge(std::uint64_t ExpansionBudget::*counter, const char* bound, std::size_t bytes)
{
    ExpansionBudget* budget = activeBudget;
    if (!budget) return;
    if (++(budget->*counter) > MaxExpansionTexts) budget->exceeded(bound);
    budget->bytes_ += bytes;
    if (budget->bytes_ > MaxExpansionBytes) budget->exceeded(ExpansionMessages::BytesBound);
}

void ExpansionBudget::chargeText(std::size_t bytes)
{
    charge(&ExpansionBudget::texts_, ExpansionMessages::TextsBound, bytes);
}

void ExpansionBudget::chargeListItem(std::size_t bytes)
{
    charge(&ExpansionBudget::items_, ExpansionMessages::ItemsBound, bytes);
}

void ExpansionBudget::checkGrowing(std::uint64_t texts, std::uint64_t bytes)
{
    const ExpansionBudget* budget = activeBudget;
    if (!budget) return;
    if (budget->texts_ + texts > MaxExpansionTexts) budget->exceeded(ExpansionMessages::TextsBound);
    if (budget->bytes_ + bytes > MaxExpansionBytes) budget->exceeded(ExpansionMessages::BytesBound);
}

ResolutionDepth::ResolutionDepth(const std::string& variable)
{
    if (resolutionDepth >= MaxResolutionDepth)
        throw ExpansionLimit(fmt::format(fmt::runtime(ExpansionMessages::TooDeep), variable));
    ++resolutionDepth;
}

ResolutionDepth::~ResolutionDepth()
{
    --resolutionDepth;
}

}  // namespace Tolm
