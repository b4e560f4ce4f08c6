#include "types/tolm_raw_string.h"

namespace Tolm {

std::string TolmRawString::typeName() const
{
    return "TolmRawString";
}

TolmValuePtr TolmRawString::create(std::string newText) const
{
    return std::make_shared<TolmRawString>(std::move(newText));
}

}  // namespace Tolm
