#include "types/qualified_target_name.h"

#include <stdexcept>

#include "util/ci_string.h"

namespace Tolm {

namespace {

// Messages of the strict reading.
const char* const kEmptyDependency = "Dependency string is empty";
const char* const kEmptyPrefixOrTarget = "Dependency string has empty prefix or target: ";
const char* const kEmptyNsOrUnit = "Dependency string has empty ns or unit: ";

const char* const kUnitSeparator = "::";
const char kNamespaceSeparator = '/';

}  // namespace

std::string QualifiedTargetName::toString() const
{
    return ns + kNamespaceSeparator + unit + kUnitSeparator + target;
}

QualifiedTargetName QualifiedTargetName::fromString(std::string_view text)
{
    const std::size_t split = Util::ciFind(text, kUnitSeparator, 0);
    if (split == Util::npos) return {"", "", std::string(text)};
    const std::string_view prefix = text.substr(0, split);
    std::string target(text.substr(split + 2));
    const std::size_t slash = prefix.find(kNamespaceSeparator);
    if (slash == std::string_view::npos) return {"", std::string(prefix), std::move(target)};
    return {std::string(prefix.substr(0, slash)), std::string(prefix.substr(slash + 1)),
            std::move(target)};
}

QualifiedTargetName parseDependencyString(std::string_view text)
{
    const std::size_t split = Util::ciFind(text, kUnitSeparator, 0);
    if (split == Util::npos) {
        if (text.empty()) throw std::runtime_error(kEmptyDependency);
        return {"", "", std::string(text)};
    }
    const std::string_view prefix = text.substr(0, split);
    const std::string_view target = text.substr(split + 2);
    if (prefix.empty() || target.empty()) {
        throw std::runtime_error(kEmptyPrefixOrTarget + std::string(text));
    }
    const std::size_t slash = prefix.find(kNamespaceSeparator);
    if (slash == std::string_view::npos) return {"", std::string(prefix), std::string(target)};
    const std::string_view ns = prefix.substr(0, slash);
    const std::string_view unit = prefix.substr(slash + 1);
    if (ns.empty() || unit.empty()) throw std::runtime_error(kEmptyNsOrUnit + std::string(text));
    return {std::string(ns), std::string(unit), std::string(target)};
}

}  // namespace Tolm
