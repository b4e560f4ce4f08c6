#pragma once

#include <string>

namespace Util {

// A copy of text without the leading and trailing characters for which
// isspace is true.
std::string trimWhitespace(const std::string& text);

} // namespace Util
