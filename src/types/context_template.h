#pragma once
// An unevaluated block of the language: the body of a target, of a
// conditional block, of a profile or tool definition, or a context literal.
//
// A block is read once but may be evaluated many times (once per target
// instance, once each time its condition holds). Every evaluation makes a
// fresh Context holding clones of the block's values, so no evaluation can
// change the template or another evaluation. Templates do not change after
// they are built.

#include <memory>
#include <utility>
#include <vector>

#include "types/assignment.h"
#include "types/condition.h"
#include "types/context.h"

namespace Tolm {

class ContextTemplate {
public:
    std::vector<ConditionalBlock> conditions;  // in source order
    std::vector<Assignment> assignments;       // in source order; names may repeat

    ContextTemplate() = default;
    explicit ContextTemplate(std::vector<Assignment> assignmentList)
        : assignments(std::move(assignmentList))
    {
    }
    ContextTemplate(std::vector<Assignment> assignmentList, std::vector<ConditionalBlock> blocks)
        : conditions(std::move(blocks)), assignments(std::move(assignmentList))
    {
    }
    virtual ~ContextTemplate() = default;

    ContextTemplate(const ContextTemplate&) = default;
    ContextTemplate(ContextTemplate&&) = default;
    ContextTemplate& operator=(const ContextTemplate&) = default;
    ContextTemplate& operator=(ContextTemplate&&) = default;

    // A new shared context evaluated from this block. For a Target it is a
    // plain context of the target's block, not a target context.
    virtual ContextPtr createContext() const;
};

}  // namespace Tolm
