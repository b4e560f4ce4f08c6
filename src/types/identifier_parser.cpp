#include "types/identifier_parser.h"

#include <memory>

#include "types/name_characters.h"

namespace Msg = Tolm::IdentifierMessages;

bool IdentifierParser::fail(const char* message)
{
    if (error) {
        error->position = position;
        error->message = message;
    }
    return false;
}

std::uint64_t IdentifierParser::readNumber()
{
    // Wraps modulo 2^64 on overflow, as unsigned arithmetic does.
    std::uint64_t value = 0;
    while (!atEnd() && Tolm::isAsciiDigit(current())) {
        value = value * 10 + static_cast<std::uint64_t>(current() - '0');
        ++position;
    }
    return value;
}

bool IdentifierParser::atNumber() const
{
    if (atEnd()) return false;
    if (Tolm::isAsciiDigit(current())) return true;
    return current() == '-' && position + 1 < text.size() && Tolm::isAsciiDigit(text[position + 1]);
}

std::int64_t IdentifierParser::readSignedNumber()
{
    const bool negative = current() == '-';
    if (negative) ++position;
    const std::uint64_t magnitude = readNumber();
    return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
}

bool IdentifierParser::parseSegments(Tolm::Identifier& out, char terminator)
{
    out.segments.clear();
    Tolm::Identifier::Segment segment;
    if (!parseSegment(segment)) return false;
    out.segments.push_back(std::move(segment));
    while (!atEnd()) {
        if (current() != '.') return true;
        ++position;
        if (atEnd() || current() == terminator) return fail(Msg::ExpectedSegment);
        Tolm::Identifier::Segment next;
        if (!parseSegment(next)) return false;
        out.segments.push_back(std::move(next));
    }
    return true;
}

bool IdentifierParser::parseSegment(Tolm::Identifier::Segment& segment)
{
    segment.indexes.clear();
    if (atEnd()) return fail(Msg::EndInName);
    if (!Tolm::startsName(current())) return fail(Msg::InvalidStart);
    const std::uint64_t nameStart = position;
    ++position;
    while (!atEnd() && Tolm::continuesName(current())) ++position;
    segment.name = std::string(text.substr(nameStart, position - nameStart));

    while (!atEnd() && current() == '[') {
        // Each level recurses; refuse before the stack runs out.
        if (++depth > Tolm::MaxNestingDepth) return fail(Msg::NestingTooDeep);
        ++position;
        if (atEnd()) return fail(Msg::EndInBrackets);
        Tolm::IndexExpr index;
        if (atNumber()) {
            const auto first = readSignedNumber();
            if (position + 1 < text.size() && text[position] == '.' && text[position + 1] == '.') {
                position += 2;
                if (!atNumber()) return fail(Msg::ExpectedNumber);
                const auto last = readSignedNumber();
                index = Tolm::IndexRange{first, last};
            } else {
                index = first;
            }
        } else if (Tolm::startsName(current())) {
            auto nested = std::make_shared<Tolm::Identifier>();
            if (!parseSegments(*nested, ']')) return false;
            index = std::move(nested);
        } else {
            return fail(Msg::InvalidIndex);
        }
        if (atEnd() || current() != ']') return fail(Msg::ExpectedBracket);
        ++position;
        --depth;
        segment.indexes.push_back(std::move(index));
    }
    return true;
}
