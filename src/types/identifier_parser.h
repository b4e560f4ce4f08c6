#pragma once
// The parser behind Identifier::parse, also used directly by callers that
// need to know how far an identifier reaches (compare position with the text
// length to require the whole text). Failures are recorded, never thrown.

#include <cstdint>
#include <string_view>

#include "types/identifier.h"

struct IdentifierParser {
    std::string_view text;              // never modified
    std::uint64_t position = 0;         // next character to read; only grows
    Tolm::ParseError* error = nullptr;  // null: failures show only as false

    IdentifierParser() = default;
    explicit IdentifierParser(std::string_view parsedText, Tolm::ParseError* errorRecord = nullptr)
        : text(parsedText), error(errorRecord)
    {
    }

    // Reads "."-separated segments into out (cleared first), stopping before
    // the first character that continues neither. terminator is the character
    // that may close an enclosing construct ("]" when nested, '\0' at top
    // level).
    bool parseSegments(Tolm::Identifier& out, char terminator = '\0');

    // Reads one segment: a name and its "[...]" parts.
    bool parseSegment(Tolm::Identifier::Segment& segment);

private:
    bool fail(const char* message);
    bool atEnd() const { return position >= text.size(); }
    char current() const { return text[position]; }
    std::uint64_t readNumber();
    // An index number may carry a minus sign, as the language's numbers do,
    // so that the printed form of every index (negative ones included, which
    // the language writes as a[-1] and which large numbers wrap to) reads back.
    bool atNumber() const;
    std::int64_t readSignedNumber();

    std::size_t depth = 0;  // "[" open around the current position
};
