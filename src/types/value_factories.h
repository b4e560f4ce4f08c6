#pragma once
// Shorthands that make shared values of the common types.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "types/tolm_value.h"

namespace Tolm {

TolmValuePtr makeStringValue(const char* text);
TolmValuePtr makeStringValue(const std::string& text);
TolmValuePtr makeStringValueMoved(std::string&& text);
TolmValuePtr makePathStringValue(std::filesystem::path baseDirectory, std::string&& text);
// A path string with an empty base directory.
TolmValuePtr makePathStringValue(std::string text);
TolmValuePtr makeRawStringValue(std::string text);
TolmValuePtr makeIntValue(std::int32_t value);
// Throws TolmException when an item is empty.
TolmValuePtr makeListValue(std::vector<TolmValuePtr> items);

}  // namespace Tolm
