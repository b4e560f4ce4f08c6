#include "types/tolm_path_string.h"

#include <system_error>

namespace Tolm {

std::filesystem::path TolmPathString::fullPath() const
{
    return baseDirectory / text;
}

std::string TolmPathString::toLiteral() const
{
    return "P\"" + fullPath().native() + "\"";
}

bool TolmPathString::equals(const TolmValue& other) const
{
    const auto* otherPath = dynamic_cast<const TolmPathString*>(&other);
    if (otherPath == nullptr) return TolmString::equals(other);
    std::error_code error;
    const bool same = std::filesystem::equivalent(fullPath(), otherPath->fullPath(), error);
    return !error && same;
}

std::string joinedPathText(std::string_view base, std::string_view text)
{
    if (base.empty() || text.starts_with('/')) return std::string(text);
    std::string joined;
    joined.reserve(base.size() + 1 + text.size());
    joined = base;
    if (!base.ends_with('/')) joined += '/';
    joined += text;
    return joined;
}

TolmValuePtr TolmPathString::create(std::string newText) const
{
    return std::make_shared<TolmPathString>(std::move(newText), baseDirectory);
}

}  // namespace Tolm
