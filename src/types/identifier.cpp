#include "types/identifier.h"

#include "types/identifier_parser.h"

namespace Tolm {

bool indexExprEquals(const IndexExpr& a, const IndexExpr& b)
{
    if (a.index() != b.index()) return false;
    if (a.index() != NestedIndex) return a == b;
    const auto& na = std::get<NestedIndex>(a);
    const auto& nb = std::get<NestedIndex>(b);
    if (!na || !nb) return na == nb;
    return *na == *nb;
}

bool Identifier::Segment::operator==(const Segment& other) const
{
    if (name != other.name || indexes.size() != other.indexes.size()) return false;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (!indexExprEquals(indexes[i], other.indexes[i])) return false;
    }
    return true;
}

bool Identifier::parse(const std::string& text, Identifier& out, ParseError& error)
{
    if (text.empty()) {
        error.position = 0;
        error.message = IdentifierMessages::Empty;
        return false;
    }
    IdentifierParser parser(text, &error);
    return parser.parseSegments(out, '\0');
}

bool Identifier::parseWhole(const std::string& text, Identifier& out, ParseError& error)
{
    if (text.empty()) return parse(text, out, error);
    IdentifierParser parser(text, &error);
    if (!parser.parseSegments(out, '\0')) return false;
    if (parser.position == text.size()) return true;
    error.position = parser.position;
    error.message = IdentifierMessages::UnexpectedCharacter;
    return false;
}

namespace {

void appendIndex(std::string& out, const IndexExpr& index)
{
    out += '[';
    switch (index.index()) {
    case IntegerIndex:
        out += std::to_string(std::get<IntegerIndex>(index));
        break;
    case RangeIndex: {
        const auto& range = std::get<RangeIndex>(index);
        out += std::to_string(range.first) + ".." + std::to_string(range.last);
        break;
    }
    case NestedIndex:
        if (const auto& nested = std::get<NestedIndex>(index)) out += nested->toString();
        break;
    default:
        break;
    }
    out += ']';
}

} // namespace

std::string Identifier::toString() const
{
    std::string out;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '.';
        out += segments[i].name;
        for (const auto& index : segments[i].indexes) appendIndex(out, index);
    }
    return out;
}

} // namespace Tolm
