#pragma once
// Numbers read from system files (/proc) and notes, where a field that
// holds anything else than the whole number is not one.

#include <charconv>
#include <string_view>
#include <system_error>

namespace Util {

// Whether `text`, all of it, is a number in that base; it is then in `number`.
template <class Number>
bool parseWholeNumber(std::string_view text, Number& number, int base = 10) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace Util
