#pragma once
// Identifiers: a dotted, indexed variable name such as
// name.inner[0][2..5][other.name]. Built by the language front end and by
// Identifier::parse; turned into a KeyChain by the context lookup.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace Tolm {

struct Identifier;

// A written range [first..last], both numbers as written; each value class
// decides what it selects.
struct IndexRange {
    std::int64_t first = 0;
    std::int64_t last = 0;

    bool operator==(const IndexRange&) const = default;
};

// One "[...]" part. Alternatives in this order: integer [N], range [N..M],
// nested identifier [identifier].
using IndexExpr = std::variant<std::int64_t, IndexRange, std::shared_ptr<Identifier>>;

// Alternative indexes of IndexExpr.
enum IndexExprKind : std::size_t {
    IntegerIndex = 0,
    RangeIndex = 1,
    NestedIndex = 2,
};

// Deep equality: nested identifiers compare by content, not by pointer.
bool indexExprEquals(const IndexExpr& a, const IndexExpr& b);

// Where and why an identifier parse failed. A plain record, not an exception
// class, though text expansion throws it as one.
struct ParseError {
    std::uint64_t position = 0;
    std::string message;
};

struct Identifier {
    struct Segment {
        std::string name;               // as written; lookups ignore case
        std::vector<IndexExpr> indexes; // one per "[...]" after the name

        bool operator==(const Segment& other) const;
    };

    std::vector<Segment> segments;

    Identifier() = default;
    explicit Identifier(std::vector<Segment> parts) : segments(std::move(parts)) {}

    // Parses the longest identifier at the start of text into out; whatever
    // follows it is ignored. On failure fills error and returns false.
    static bool parse(const std::string& text, Identifier& out, ParseError& error);

    // Like parse, but the whole text must be the identifier: a character left
    // over fails with UnexpectedCharacter at its position.
    static bool parseWhole(const std::string& text, Identifier& out, ParseError& error);

    // The identifier in the syntax parse reads: segments joined by ".",
    // indexes as [N], [N..M] and [identifier].
    std::string toString() const;

    bool operator==(const Identifier& other) const { return segments == other.segments; }
};

// The failure messages of the identifier parser.
namespace IdentifierMessages {
inline constexpr const char* Empty = "Empty identifier";
inline constexpr const char* EndInName = "Unexpected end while parsing name";
inline constexpr const char* InvalidStart = "Invalid identifier start";
inline constexpr const char* EndInBrackets = "Unexpected end inside '[]'";
inline constexpr const char* InvalidIndex = "Invalid index expression inside '[]'";
inline constexpr const char* ExpectedBracket = "Expected ']'";
inline constexpr const char* ExpectedNumber = "Expected number";
inline constexpr const char* ExpectedSegment = "Expected identifier segment after '.'";
inline constexpr const char* UnexpectedCharacter = "Unexpected character";
inline constexpr const char* NestingTooDeep = "nesting deeper than 200 levels";
} // namespace IdentifierMessages

// The deepest nesting of brackets and braces the language accepts, index
// brackets of identifiers included. Parsing nested text recurses, so without
// a bound a small input could exhaust the stack; real projects nest a handful
// of levels. IdentifierMessages::NestingTooDeep names the same number.
inline constexpr std::size_t MaxNestingDepth = 200;

} // namespace Tolm
