#pragma once
// The name of a target across projects: namespace, unit and target.
//
// Written forms: the canonical text "ns/unit::target" (both separators always
// written), the lenient reading of a target named on the command line, and
// the strict reading of a dependency text taken from a variable.

#include <string>
#include <string_view>

namespace Tolm {

struct QualifiedTargetName {
    std::string ns;      // namespace of the holding project; empty for the current one
    std::string unit;    // empty for the unit of the referring target
    std::string target;

    // ns + "/" + unit + "::" + target.
    std::string toString() const;
    // Never fails: the part after the first "::" is the target, a prefix
    // holding "/" splits into namespace and unit, any other prefix is the unit.
    static QualifiedTargetName fromString(std::string_view text);
};

// Like fromString, but rejects empty parts with std::runtime_error.
QualifiedTargetName parseDependencyString(std::string_view text);

}  // namespace Tolm
