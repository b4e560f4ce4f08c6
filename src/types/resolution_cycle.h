#pragma once
// The failure of a variable that refers to itself, directly (A = "${A}") or
// through others (A = "${b}", B = "${a}").
//
// It is a std::out_of_range, the same failure text expansion gives for a
// repeated name, and carries the name as written where the cycle closes; its
// message says so in words. Its own class lets text expansion tell it from
// the other lookup failures, which it turns into empty text: a cycle must
// reach the caller instead.

#include <stdexcept>
#include <string>

namespace Tolm {

class ResolutionCycle : public std::out_of_range {
public:
    explicit ResolutionCycle(const std::string& nameAsWritten)
        : std::out_of_range("Variable '" + nameAsWritten + "' refers to itself, directly or through others."),
          name_(nameAsWritten)
    {
    }

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

}  // namespace Tolm
