#include "types/text_expansion.h"

#include <cctype>

#include <fmt/format.h>

#include "types/expansion_limits.h"
#include "types/resolution_cycle.h"
#include "types/tolm_exceptions.h"
#include "types/unknown_first_name.h"
#include "util/log.h"

namespace Tolm {

namespace {

// Marks a reference as in progress for the lifetime of its expansion.
class InProgress {
public:
    InProgress(ExpansionGuard& guard, Util::CiString key) : guard_(guard), key_(std::move(key))
    {
        guard_.insert(key_);
    }
    ~InProgress() { guard_.erase(key_); }
    InProgress(const InProgress&) = delete;
    InProgress& operator=(const InProgress&) = delete;

private:
    ExpansionGuard& guard_;
    Util::CiString key_;
};

// Expands one variable's text under the guard. A name met again while its
// own expansion runs would recurse forever, so it fails instead.
std::string expandReferencedText(const TolmString& owner, const std::string& name,
                                 const TolmValue& value, ExpansionGuard& guard)
{
    Util::CiString key(name);
    if (guard.contains(key)) throw ResolutionCycle(name);
    const InProgress mark(guard, std::move(key));
    return expandVariables(owner, value.toString(), guard);
}

// Warns, inside the handler of a failed lookup, that the reference becomes
// empty text. Only the name the reference itself gives "does not exist": a
// variable whose value fails (an index it does not take, another name it
// refers to) is there, so the warning says what failed instead.
void warnUnexpanded(const TolmString& owner, const std::string& name)
{
    const auto itself = [&](const std::string& missing) { return Util::CiString(missing) == Util::CiString(name); };
    std::string failed;  // stays empty when the reference's own name is missing
    try {
        throw;
    } catch (const MissingMemberException& failure) {
        if (!itself(failure.reference())) failed = failure.message();
    } catch (const NotFoundException& failure) {
        if (!itself(failure.name())) failed = failure.message();
    } catch (const UnknownFirstName& failure) {
        if (!itself(failure.reference())) failed = failure.what();
    } catch (const TolmException& failure) {
        // Without a resolver no lookup ran: nothing exists for the text.
        if (owner.resolver) failed = failure.message();
    } catch (const std::exception& failure) {
        failed = failure.what();
    } catch (...) {
    }
    if (failed.empty())
        Log::log(Log::Warning, fmt::runtime(TextExpansionMessages::MissingVariable), name);
    else
        Log::log(Log::Warning, fmt::runtime(TextExpansionMessages::UnusableVariable), name, failed);
}

}  // namespace

Identifier parseReference(const std::string& name)
{
    Identifier identifier;
    ParseError error;
    // The whole text between the braces must be the name: "${my junk}" must
    // not quietly read "my".
    if (!Identifier::parseWhole(name, identifier, error))
        throw TolmException(fmt::format(fmt::runtime(TextExpansionMessages::InvalidReference), name,
                                        error.message, error.position));
    return identifier;
}

TolmValuePtr lookupReference(const TolmString& owner, const Identifier& identifier,
                             const std::string& name)
{
    if (!owner.resolver)
        throw TolmException(fmt::format(fmt::runtime(TextExpansionMessages::NoResolver), name));
    return owner.resolver->lookup(identifier);
}

std::string expandVariables(const TolmString& owner, const std::string& text, ExpansionGuard& guard,
                            bool* passesOn)
{
    if (passesOn) *passesOn = false;
    // Asked of the first reference only, and only when it is the whole text.
    bool sole = passesOn && text.starts_with("${") && text.find('}') + 1 == text.size();
    std::string result = text;
    std::size_t from = 0;
    for (;;) {
        // The text before the reference just replaced holds no "${", but its
        // last "$" and a "{" starting the replacement form a new reference:
        // searching on from that "$" finds what a search from the start would.
        const std::size_t start = result.find("${", from);
        if (start == std::string::npos) return result;

        const std::size_t close = result.find('}', start + 2);
        if (close == std::string::npos) throw TolmException(TextExpansionMessages::MissingBrace);
        if (result.find("${", start + 2) < close)
            throw TolmException(TextExpansionMessages::NestedReference);

        const std::string name = result.substr(start + 2, close - start - 2);
        const Identifier identifier = parseReference(name);

        TolmValuePtr value;
        try {
            value = lookupReference(owner, identifier, name);
        } catch (const ResolutionCycle&) {
            // A self-reference must reach the caller, not become empty text.
            throw;
        } catch (const ExpansionLimit&) {
            throw;
        } catch (...) {
            warnUnexpanded(owner, name);
        }
        if (sole) *passesOn = value && value->fromDependency;
        sole = false;

        const std::string replacement =
            value ? expandReferencedText(owner, name, *value, guard) : std::string();
        result.replace(start, close - start + 1, replacement);
        ExpansionBudget::checkGrowing(0, result.size());
        from = start == 0 ? 0 : start - 1;
    }
}

std::uint64_t scanHashNumber(std::string_view text, std::size_t position)
{
    if (position + 1 >= text.size() || text[position] != '#') return 0;
    std::size_t end = position + 1;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    return end - position - 1 == 0 ? 0 : end - position;
}

}  // namespace Tolm
