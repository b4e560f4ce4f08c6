#pragma once
// One variable assignment: a name, the operator it was written with, a
// modifier and a value.
//
// Every context, template, tool definition, profile and output set is made of
// assignments. The operator decides what happens when the assignment meets an
// existing variable of the same name (mergeInto). An assignment also caches
// its own resolution: the resolved value replaces the written one and
// `resolved` records that until the assignment changes again.

#include <cstdint>
#include <string>

#include "types/tolm_value.h"

namespace Tolm {

// Set while an assignment's value is being resolved, so that a variable that
// refers to itself fails instead of recursing without end. A copy starts
// unmarked and assigning keeps the target's own mark: the mark belongs to one
// map entry, never to the record's content.
class ResolutionMark {
public:
    ResolutionMark() = default;
    ResolutionMark(const ResolutionMark&) noexcept {}
    ResolutionMark& operator=(const ResolutionMark&) noexcept { return *this; }

    bool active = false;
};

struct Assignment {
    // The numbers are stored in the build cache file; never renumber.
    enum class AssignType : std::uint32_t {
        Set = 1,         // "="  replaces the value
        Append = 2,      // "+=" appends to the value
        SetIfEmpty = 3,  // "?=" sets only a variable without a value
        Declare = 4,     // bare name: clears the value of an existing variable
    };

    // Modifiers, written before the name.
    static constexpr std::uint32_t NoModifier = 0;
    static constexpr std::uint32_t OutputModifier = 1;    // "^"
    static constexpr std::uint32_t RequiredModifier = 2;  // "!"

    bool resolved = false;  // value already holds the result of resolution
    std::string name;       // as written; comparisons ignore letter case
    TolmValuePtr value;     // null for a variable declared without a value
    AssignType type = AssignType::Set;
    std::uint32_t modifier = NoModifier;
    ResolutionMark resolving;

    Assignment() = default;
    Assignment(std::string name, TolmValuePtr value, AssignType type, std::uint32_t modifier);

    // The assignment in source form, e.g. `X = "a"`, `X += `, or `X`. The
    // modifier is never part of it.
    std::string toString() const;

    // Stores newValue, clears `resolved` and gives back the previous value.
    TolmValuePtr replaceValue(TolmValuePtr newValue);

    // The resolved value, resolving and caching it on first use. A failure
    // leaves the assignment as it was. Throws ResolutionCycle when called
    // again while its own resolution is in progress.
    TolmValuePtr resolve();

    // Merges `incoming` into this existing entry by the incoming operator.
    // With mode 1 the incoming modifier replaces this one. Name and type of
    // this entry never change. Throws AssignmentException for an unknown
    // operator or a name of another variable; a refused append (BadOperation)
    // propagates. Either failure leaves this entry unchanged.
    void mergeFrom(const Assignment& incoming, std::uint32_t mode);
};

// Same name ignoring case, and the same value object, both null, or values
// that `equals`. Type, modifier and `resolved` play no part.
bool operator==(const Assignment& a, const Assignment& b);

// A Resolvable value's resolve result; any other value, and null, unchanged.
TolmValuePtr resolveValue(const TolmValuePtr& value);

}  // namespace Tolm
