#include "types/value_factories.h"

#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"

namespace Tolm {

TolmValuePtr makeStringValue(const char* text)
{
    return std::make_shared<TolmString>(std::string(text));
}

TolmValuePtr makeStringValue(const std::string& text)
{
    return std::make_shared<TolmString>(text);
}

TolmValuePtr makeStringValueMoved(std::string&& text)
{
    return std::make_shared<TolmString>(std::move(text));
}

TolmValuePtr makePathStringValue(std::filesystem::path baseDirectory, std::string&& text)
{
    return std::make_shared<TolmPathString>(std::move(text), std::move(baseDirectory));
}

TolmValuePtr makePathStringValue(std::string text)
{
    return std::make_shared<TolmPathString>(std::move(text), std::filesystem::path());
}

TolmValuePtr makeRawStringValue(std::string text)
{
    return std::make_shared<TolmRawString>(std::move(text));
}

TolmValuePtr makeIntValue(std::int32_t value)
{
    return std::make_shared<TolmInt>(value);
}

TolmValuePtr makeListValue(std::vector<TolmValuePtr> items)
{
    return std::make_shared<TolmList>(std::move(items));
}

}  // namespace Tolm
