#include "util/ci_string.h"

#include <string>

namespace Util {

namespace {

// The classic-locale tolower of one byte taken as unsigned, cut to its low
// byte: only A to Z change. (tolm never leaves the classic locale; a call of
// std::tolower per byte cost more than the comparisons around it.)
inline unsigned char fold(char c) noexcept
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

} // namespace

bool ciEquals(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

bool ciLess(const char* a, std::size_t aLength, const char* b, std::size_t bLength) noexcept
{
    const std::size_t n = aLength < bLength ? aLength : bLength;
    for (std::size_t i = 0; i < n; ++i) {
        // Signed on purpose: bytes 0x80..0xFF order before every ASCII byte.
        const auto fa = static_cast<signed char>(fold(a[i]));
        const auto fb = static_cast<signed char>(fold(b[i]));
        if (fa < fb) return true;
        if (fb < fa) return false;
    }
    return aLength < bLength;
}

bool ciLess(std::string_view a, std::string_view b) noexcept
{
    return ciLess(a.data(), a.size(), b.data(), b.size());
}

std::uint64_t ciHash(std::string_view text) noexcept
{
    std::uint64_t h = 0;
    for (char c : text) {
        const auto widened = static_cast<std::uint64_t>(
            static_cast<std::int64_t>(static_cast<signed char>(fold(c))));
        h ^= (h << 6) + (h >> 2) + 0x9e3779b9ULL + widened;
    }
    return h;
}

std::size_t ciFind(std::string_view text, const char* needleText, std::size_t start)
{
    const std::string needle(needleText ? needleText : "");
    if (needle.empty() || start == text.size()) {
        return start < text.size() ? start : npos;
    }
    if (start > text.size() || needle.size() > text.size() - start) return npos;
    const std::size_t last = text.size() - needle.size();
    for (std::size_t p = start; p <= last; ++p) {
        std::size_t i = 0;
        while (i < needle.size() && fold(text[p + i]) == fold(needle[i])) ++i;
        if (i == needle.size()) return p;
    }
    return npos;
}

std::ostream& operator<<(std::ostream& out, const CiString& name)
{
    return out << name.str();
}

} // namespace Util
