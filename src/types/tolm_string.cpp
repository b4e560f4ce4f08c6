#include "types/tolm_string.h"

namespace Tolm {

std::string stripSurroundingQuotes(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

std::string TolmString::typeName() const
{
    return "TolmString";
}

std::string TolmString::unquotedText() const
{
    return stripSurroundingQuotes(text);
}

TolmValuePtr TolmString::create(std::string newText) const
{
    return std::make_shared<TolmString>(std::move(newText));
}

}  // namespace Tolm
