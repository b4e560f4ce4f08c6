#include "app/cache_lines.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "app/cached_assignment_parse.h"
#include "app/cached_assignment_text.h"

namespace {

// The white space a formatted stream read skips.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view skipSpaces(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at])) ++at;
    return text.substr(at);
}

// Reads a word as `stream >> std::string` does: spaces skipped, then up to
// the next space.
std::optional<std::string_view> takeWord(std::string_view& text)
{
    text = skipSpaces(text);
    std::size_t end = 0;
    while (end < text.size() && !isSpace(text[end])) ++end;
    if (end == 0) return std::nullopt;
    std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// Reads a signed number as `stream >> int` does: spaces skipped, an optional
// sign, at least one digit, stopping at the first non-digit; fails when the
// value does not fit an int.
std::optional<std::int32_t> takeInt(std::string_view& text)
{
    text = skipSpaces(text);
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const std::size_t digits = at;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (at < text.size() && isDigit(text[at])) {
        magnitude = std::min(limit + 1, magnitude * 10 + (text[at] - '0'));
        ++at;
    }
    if (at == digits || magnitude > (negative ? limit : limit - 1)) return std::nullopt;
    text.remove_prefix(at);
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// Reads a signed number of at most `bound` in magnitude: spaces skipped, an
// optional minus, at least one digit, up to the next space or the end.
std::optional<std::int64_t> takeNumber(std::string_view& text, std::int64_t bound)
{
    text = skipSpaces(text);
    std::size_t at = 0;
    const bool negative = at < text.size() && text[at] == '-';
    if (negative) ++at;
    const std::size_t digits = at;
    std::int64_t magnitude = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > bound) return std::nullopt;
    }
    if (at == digits || (at < text.size() && !isSpace(text[at]))) return std::nullopt;
    text.remove_prefix(at);
    return negative ? -magnitude : magnitude;
}

}  // namespace

std::optional<std::string_view> CacheReader::line()
{
    if (rest_.empty()) return std::nullopt;
    const std::size_t end = rest_.find('\n');
    std::string_view text = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return text;
}

std::optional<std::string_view> CacheReader::block(std::uint64_t n)
{
    if (n >= rest_.size() || rest_[n] != '\n') return std::nullopt;
    std::string_view bytes = rest_.substr(0, n);
    rest_.remove_prefix(n + 1);
    return bytes;
}

void appendCacheCount(std::string& out, std::uint64_t count)
{
    const fmt::format_int digits(count);
    out.append(digits.data(), digits.size());
    out += '\n';
}

void appendCacheString(std::string& out, std::string_view text)
{
    appendCacheCount(out, text.size());
    out += text;
    out += '\n';
}

bool appendCacheAssignment(std::string& out, const Tolm::Assignment& assignment)
{
    auto text = cacheAssignmentText(assignment);
    if (!text) return false;
    // Written as the signed numbers the reader takes, so any stored type or
    // modifier reads back unchanged.
    out += "A ";
    out += fmt::format_int(static_cast<std::int32_t>(assignment.type)).str();
    out += ' ';
    out += fmt::format_int(static_cast<std::int32_t>(assignment.modifier)).str();
    out += '\n';
    appendCacheString(out, *text);
    return true;
}

void appendCacheTime(std::string& out, const std::optional<std::filesystem::file_time_type>& time)
{
    if (!time) {
        out += "-\n";
        return;
    }
    // Whole seconds convert between the clocks without overflow.
    const auto whole = std::chrono::floor<std::chrono::seconds>(*time);
    out += fmt::format("{} {:09}\n", std::chrono::file_clock::to_sys(whole).time_since_epoch().count(),
                       (*time - whole).count());
}

std::optional<std::uint64_t> readCacheNumber(CacheReader& in)
{
    auto line = in.line();
    if (!line) return std::nullopt;
    std::string_view text = skipSpaces(*line);
    std::uint64_t number = 0;
    std::size_t at = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        const auto digit = static_cast<std::uint64_t>(text[at] - '0');
        if (number > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        number = number * 10 + digit;
    }
    if (at == 0) return std::nullopt;
    return number;
}

std::optional<std::string_view> readCacheString(CacheReader& in)
{
    auto length = readCacheNumber(in);
    if (!length) return std::nullopt;
    return in.block(*length);
}

std::optional<Tolm::Assignment> readCacheAssignment(CacheReader& in)
{
    auto line = in.line();
    if (!line) return std::nullopt;
    std::string_view fields = *line;
    auto word = takeWord(fields);
    auto type = takeInt(fields);
    auto modifier = takeInt(fields);
    if (!word || *word != "A" || !type || !modifier) return std::nullopt;
    auto text = readCacheString(in);
    if (!text) return std::nullopt;
    return assignmentFromCacheText(*text, static_cast<std::uint32_t>(*type), static_cast<std::uint32_t>(*modifier));
}

std::optional<std::optional<std::filesystem::file_time_type>> readCacheTime(CacheReader& in)
{
    using namespace std::chrono;
    auto line = in.line();
    if (!line) return std::nullopt;
    std::string_view text = *line;
    if (skipSpaces(text) == "-") return std::optional<std::filesystem::file_time_type>();
    // Far beyond any time the file clock holds, and far from overflowing the
    // conversion below.
    constexpr std::int64_t Far = std::int64_t{1} << 40;
    const auto sinceEpoch = takeNumber(text, Far);
    const auto fraction = takeNumber(text, 999999999);
    if (!sinceEpoch || !fraction || *fraction < 0) return std::nullopt;
    const std::int64_t fileSeconds = file_clock::from_sys(sys_seconds(seconds(*sinceEpoch))).time_since_epoch().count();
    constexpr std::int64_t Held = duration_cast<seconds>(std::filesystem::file_time_type::duration::max()).count();
    if (fileSeconds <= -Held || fileSeconds >= Held) return std::nullopt;
    return std::filesystem::file_time_type(duration_cast<std::filesystem::file_time_type::duration>(seconds(fileSeconds)) +
                                           nanoseconds(*fraction));
}

void appendCacheFingerprint(std::string& out, const std::optional<std::uint64_t>& fingerprint)
{
    out += fingerprint ? fmt::format("{:016x}\n", *fingerprint) : std::string("-\n");
}

std::optional<std::optional<std::uint64_t>> readCacheFingerprint(CacheReader& in)
{
    auto line = in.line();
    if (!line) return std::nullopt;
    if (*line == "-") return std::optional<std::uint64_t>();
    if (line->size() != 16) return std::nullopt;
    std::uint64_t value = 0;
    for (const char digit : *line) {
        int nibble;
        if (digit >= '0' && digit <= '9')
            nibble = digit - '0';
        else if (digit >= 'a' && digit <= 'f')
            nibble = digit - 'a' + 10;
        else
            return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(nibble);
    }
    return std::optional<std::uint64_t>(value);
}
