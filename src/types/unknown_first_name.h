#pragma once
// The failure of a dotted or indexed reference whose first name the context
// lacks (`libz.lib` where no variable or dependency is called libz).
//
// It is the std::out_of_range the lookup has always thrown, with its text;
// its own class carries the reference as written, so the target walk can
// say what the target has instead.

#include <stdexcept>
#include <string>

namespace Tolm {

class UnknownFirstName : public std::out_of_range {
public:
    UnknownFirstName(const std::string& message, std::string reference)
        : std::out_of_range(message), reference_(std::move(reference))
    {
    }

    const std::string& reference() const { return reference_; }

private:
    std::string reference_;
};

}  // namespace Tolm
