#pragma once
// A scope of build variables.
//
// A context maps case-insensitive names to assignments and keeps an ordered
// list of conditional blocks whose assignments join the scope when their
// condition holds. It is the Resolver of the system: identifier values and
// text expansion reach variables only through `lookup`.
//
// Every context owns its values. A value that enters a context (through
// addAssignment, a copy, addConditions or a merge) is cloned and pointed at
// the receiving context, so a value never resolves through a context that
// no longer exists, and an in-place append never reaches into the context
// the value came from. Within one context a resolved identifier may share
// the value object of the variable it names; a copy or a merge of a whole
// context clones such a shared value once and so keeps it shared.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "types/access_key.h"
#include "types/assignment.h"
#include "types/condition.h"
#include "types/identifier.h"
#include "types/tolm_value.h"
#include "util/ci_string.h"

namespace Tolm {

class Context;
using ContextPtr = std::shared_ptr<Context>;

class Context : public Resolver, public std::enable_shared_from_this<Context> {
public:
    using AssignmentMap = std::map<Util::CiString, Assignment>;

    std::vector<ConditionalBlock> conditions;  // in evaluation order
    AssignmentMap assignments;                 // iterates in case-insensitive name order

    Context() = default;
    // Entries and conditions copied with cloned values and operands, pointed
    // at the copy.
    Context(const Context& other);
    Context& operator=(const Context&) = delete;
    // A context evaluated from a template's contents: the values cloned,
    // assignments of one name merged in source order, conditions kept in order.
    Context(const std::vector<Assignment>& assignmentList, const std::vector<ConditionalBlock>& blocks);
    ~Context() override = default;

    // The resolved value the identifier names (context_lookup.cpp).
    TolmValuePtr lookup(const Identifier& identifier) override;
    // Writes "{", one line per assignment and "}" to the log at that level.
    virtual void dump(int level);

    // Inserts the assignment, or merges it into the entry of that name by its
    // operator. mode 1: the incoming modifier replaces the entry's.
    void addAssignment(const Assignment& incoming, std::uint32_t mode);
    // Every assignment of other, in name order, mode 0.
    void addAssignments(const Context& other);
    // Every conditional block of other, its operands pointed at this context.
    void addConditions(const Context& other);
    // Gathers the values into list variables, in order.
    void mergeVariables(const std::vector<Assignment>& list);
    // Merges a whole context. A non-zero type replaces each assignment's own.
    // Gives back the assignments whose append was refused.
    std::vector<Assignment> addImplicitContext(const Context& source, Assignment::AssignType type,
                                               bool withConditions, std::uint32_t mode);

    // One pass applying the blocks whose conditions hold (context_conditions.cpp).
    void evaluateConditions();
    // Resolves every assignment in name order.
    void resolveVariables();

    // The entry a key chain ending in a name designates (context_lookup.cpp).
    Assignment& getAssignment(const KeyChain& chain);
    // The key chain of an identifier; nested index identifiers are looked up
    // through this context (context_lookup.cpp).
    KeyChain keyChainOf(const Identifier& identifier);

private:
    class CloneMemo;
    // addAssignment with the clones of one copy or merge shared through cloneOnce.
    void addClonedAssignment(const Assignment& incoming, std::uint32_t mode, CloneMemo& cloneOnce);
    // addAssignment for an assignment whose value is already this context's
    // own (freshly cloned), so it is not cloned again.
    void addOwnedAssignment(Assignment incoming, std::uint32_t mode);
    void appendCondition(const ConditionalBlock& block);
};

// A name with a value: parameters and variable lists of the driver and tools.
struct NamedValue {
    std::string name;
    TolmValuePtr value;
};

// Trims text in place; an empty result adds nothing. A null value becomes a
// text value holding the trimmed text. The pair is moved onto the list.
void addTrimmedParameter(std::vector<NamedValue>& list, std::string& text, TolmValuePtr& value);

}  // namespace Tolm
