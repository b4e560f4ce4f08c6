#include "parser/utf8_check.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace Tolm {

namespace {

// Number of continuation bytes after `lead`, or -1 for a byte that cannot
// start a sequence (a continuation byte, C0/C1 overlong leads, F5 and above).
int continuationCount(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int more = continuationCount(lead);
        if (more < 0) return false;
        if (more == 0) {
            ++i;
            // Most text is ASCII: skip it a word at a time.
            std::uint64_t word;
            while (i + sizeof word <= text.size()) {
                std::memcpy(&word, text.data() + i, sizeof word);
                if (word & 0x8080808080808080ULL) break;
                i += sizeof word;
            }
            continue;
        }
        if (text.size() - i <= static_cast<size_t>(more)) return false;
        uint32_t codePoint = lead & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const bool overlong = (more == 2 && codePoint < 0x800) || (more == 3 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (overlong || surrogate || codePoint > 0x10FFFF) return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

void requireValidUtf8(std::string_view text) {
    if (!isValidUtf8(text)) throw std::invalid_argument(kIllegalUtf8Message);
}

std::optional<TextPosition> firstNulByte(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul == std::string_view::npos) return std::nullopt;
    TextPosition position;
    for (const char byte : text.substr(0, nul)) {
        if (byte == '\n') {
            ++position.line;
            position.column = 0;
        } else if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) {
            // A continuation byte belongs to the character its lead began.
            ++position.column;
        }
    }
    return position;
}

}  // namespace Tolm
