#pragma once
// Case-insensitive names.
//
// Every name of the system (variables, units, targets, profiles, tools,
// options) ignores letter case. CiString keeps the text exactly as written and
// folds case only when comparing and hashing, so a name is always printed with
// the letters of its first definition. Folding is the classic-locale tolower of
// each byte: only A-Z fold, every other byte stands for itself.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace Util {

// True when both texts have the same length and equal folded bytes.
bool ciEquals(std::string_view a, std::string_view b) noexcept;

// Strict case-insensitive ordering. Folded bytes compare as signed 8-bit
// values (so bytes 0x80..0xFF order before ASCII) and a proper prefix orders
// first.
bool ciLess(const char* a, std::size_t aLength, const char* b, std::size_t bLength) noexcept;
bool ciLess(std::string_view a, std::string_view b) noexcept;

// Case-insensitive 64-bit hash: h ^= (h << 6) + (h >> 2) + 0x9e3779b9 + the
// folded byte sign-widened to 64 bits, for each byte; the empty text gives 0.
std::uint64_t ciHash(std::string_view text) noexcept;

// The not-found position of ciFind (all bits set).
inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

// Position of the first case-insensitive occurrence of needle at or after
// start, or npos. An empty needle yields start unless start is the end.
std::size_t ciFind(std::string_view text, const char* needle, std::size_t start = 0);

class CiString {
public:
    CiString() = default;
    CiString(const std::string& text) : text_(text) {}
    CiString(std::string&& text) noexcept : text_(std::move(text)) {}
    CiString(const char* text) : text_(text) {}
    explicit CiString(std::string_view text) : text_(text) {}

    const std::string& str() const noexcept { return text_; }
    const char* c_str() const noexcept { return text_.c_str(); }
    const char* data() const noexcept { return text_.data(); }
    std::size_t size() const noexcept { return text_.size(); }
    std::size_t length() const noexcept { return text_.size(); }
    bool empty() const noexcept { return text_.empty(); }

    operator const std::string&() const noexcept { return text_; }
    operator std::string_view() const noexcept { return text_; }

    friend bool operator==(const CiString& a, const CiString& b) noexcept
    {
        return ciEquals(a.text_, b.text_);
    }
    friend std::weak_ordering operator<=>(const CiString& a, const CiString& b) noexcept
    {
        if (ciLess(a.text_, b.text_)) return std::weak_ordering::less;
        if (ciLess(b.text_, a.text_)) return std::weak_ordering::greater;
        return std::weak_ordering::equivalent;
    }

private:
    std::string text_;
};

std::ostream& operator<<(std::ostream& out, const CiString& name);

// Hasher and equality for unordered maps and sets keyed by names. Transparent,
// so lookups by std::string or a string literal need no CiString; a CiString
// converts to std::string_view.
struct CiHasher {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return ciHash(text); }
};

struct CiEqualTo {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return ciEquals(a, b); }
};

// Transparent ordering for ordered maps that want lookups without a CiString.
struct CiLessThan {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return ciLess(a, b); }
};

} // namespace Util

template <>
struct std::hash<Util::CiString> {
    std::size_t operator()(const Util::CiString& text) const noexcept
    {
        return Util::ciHash(text.str());
    }
};

template <>
struct fmt::formatter<Util::CiString> : fmt::formatter<fmt::string_view> {
    template <typename FormatContext>
    auto format(const Util::CiString& name, FormatContext& ctx) const
    {
        return fmt::formatter<fmt::string_view>::format(
            fmt::string_view(name.data(), name.size()), ctx);
    }
};
