#pragma once
// The test of a conditional block, and the block it guards.

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "types/tolm_value.h"

namespace Tolm {

class ContextTemplate;

struct Condition {
    enum class OperatorType : std::uint32_t {
        Equal = 1,     // "="  left equals right
        NotEqual = 2,  // "!=" left notEquals right
        Less = 3,      // "<"  left lessThan right
        Greater = 4,   // ">"  left greaterThan right
        Exists = 5,    // the identifier alone: left resolves without failure
    };

    TolmValuePtr left;   // the language always makes it an identifier value
    TolmValuePtr right;  // null for Exists
    OperatorType op = OperatorType::Exists;

    // Whether the condition holds, its operands resolved through their own
    // resolvers. Exists never fails: any failure means it does not hold. The
    // comparisons pass on lookup failures and fail with a TolmException naming
    // the variable when an operand has no value. Gives no answer for an
    // operator number outside 1 to 5.
    std::optional<bool> holds() const;

    // The same condition with cloned operands (null stays null); the clones
    // have no resolver yet.
    Condition cloned() const;

    // Points every resolvable operand at the resolver.
    void pointOperandsAt(Resolver* resolver) const;
};

// A condition and the block it guards; contexts and templates keep them in
// evaluation order.
using ConditionalBlock = std::pair<Condition, std::shared_ptr<ContextTemplate>>;

}  // namespace Tolm
