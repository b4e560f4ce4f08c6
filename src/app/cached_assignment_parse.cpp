#include "app/cached_assignment_parse.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "parser/literal_writer.h"
#include "parser/parse_assignment.h"
#include "parser/utf8_check.h"
#include "types/context.h"
#include "types/name_characters.h"
#include "types/tolm_context.h"
#include "types/tolm_list.h"
#include "types/value_factories.h"

namespace {

// Every path read from the cache is based here, by the parser and by the
// scanner alike.
const std::filesystem::path& readerBase()
{
    static const std::filesystem::path base(".");
    return base;
}

// Reads the token forms the writer uses, exactly as the lexer and parser
// would, and gives up (nullopt) on anything else. Whitespace is what the
// lexer skips; comments are not recognised, so text holding one gives up.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }

    void skipBlanks()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
    }

    // An IDENTIFIER token that is not a keyword.
    std::optional<std::string> name()
    {
        std::size_t end = pos_;
        while (end < text_.size() && Tolm::continuesName(text_[end])) ++end;
        std::string_view word = text_.substr(pos_, end - pos_);
        if (!Tolm::isWritableName(word)) return std::nullopt;
        pos_ = end;
        return std::string(word);
    }

    // "=", "+=" or "?=". ("=>" is one token of its own, but ">" starts no
    // value, so the value after it fails anyway.)
    std::optional<Tolm::Assignment::AssignType> assignOperator()
    {
        using Type = Tolm::Assignment::AssignType;
        std::string_view rest = text_.substr(pos_);
        if (rest.starts_with("+=")) return take(2, Type::Append);
        if (rest.starts_with("?=")) return take(2, Type::SetIfEmpty);
        if (rest.starts_with("=")) return take(1, Type::Set);
        return std::nullopt;
    }

    Tolm::TolmValuePtr value()
    {
        if (atEnd()) return nullptr;
        std::string_view rest = text_.substr(pos_);
        if (rest.front() == '"') return quoted();
        if (rest.starts_with("R\"(")) return parenthesised(Tolm::makeRawStringValue);
        if (rest.starts_with("P\"(")) return parenthesised(pathValue);
        if (rest.front() == '-' || Tolm::isAsciiDigit(rest.front())) return number();
        if (rest.front() == '[') return list();
        if (rest.front() == '{') return context();
        return nullptr;
    }

private:
    Tolm::Assignment::AssignType take(std::size_t length, Tolm::Assignment::AssignType type)
    {
        pos_ += length;
        return type;
    }

    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    static Tolm::TolmValuePtr pathValue(std::string text)
    {
        return Tolm::makePathStringValue(readerBase(), std::move(text));
    }

    Tolm::TolmValuePtr quoted()
    {
        const std::size_t close = text_.find('"', pos_ + 1);
        if (close == std::string_view::npos) return nullptr;
        std::string content(text_.substr(pos_ + 1, close - pos_ - 1));
        pos_ = close + 1;
        return Tolm::makeStringValueMoved(std::move(content));
    }

    // R"(...)" or P"(...)": as for the lexer, the first ')"' closes it.
    template <typename Make>
    Tolm::TolmValuePtr parenthesised(Make make)
    {
        const std::size_t begin = pos_ + 3;
        const std::size_t at = text_.find(")\"", begin);
        if (at == std::string_view::npos) return nullptr;
        std::string content(text_.substr(begin, at - begin));
        pos_ = at + 2;
        return make(std::move(content));
    }

    // A NUMBER token; only values the parser's int conversion accepts.
    Tolm::TolmValuePtr number()
    {
        std::size_t at = pos_;
        const bool negative = text_[at] == '-';
        if (negative) ++at;
        const std::size_t digits = at;
        constexpr std::int64_t limit = 2147483648;  // magnitude of the lowest int
        std::int64_t magnitude = 0;
        while (at < text_.size() && Tolm::isAsciiDigit(text_[at])) {
            magnitude = std::min(limit + 1, magnitude * 10 + (text_[at] - '0'));
            ++at;
        }
        if (at == digits || magnitude > (negative ? limit : limit - 1)) return nullptr;
        pos_ = at;
        return Tolm::makeIntValue(static_cast<std::int32_t>(negative ? -magnitude : magnitude));
    }

    Tolm::TolmValuePtr list()
    {
        // The writer nests little; deep nesting is left to the parser
        // rather than to this recursion.
        if (++depth_ > MaxNesting) return nullptr;
        ++pos_;
        auto list = std::make_shared<Tolm::TolmList>();
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            --depth_;
            return list;
        }
        while (true) {
            Tolm::TolmValuePtr item = value();
            if (!item) return nullptr;
            // As the parser does: a nested list adds its items.
            list->append(*item);
            skipBlanks();
            if (atEnd()) return nullptr;
            const char next = text_[pos_++];
            if (next == ']') {
                --depth_;
                return list;
            }
            if (next != ',') return nullptr;
            skipBlanks();
        }
    }

    // A block of assignments, each an optional "^", a name and optionally an
    // operator and a value, evaluated as the parser's context value is.
    Tolm::TolmValuePtr context()
    {
        if (++depth_ > MaxNesting) return nullptr;
        ++pos_;
        std::vector<Tolm::Assignment> assignments;
        while (true) {
            skipBlanks();
            if (atEnd()) return nullptr;
            if (text_[pos_] == '}') break;
            std::uint32_t modifier = Tolm::Assignment::NoModifier;
            if (text_[pos_] == '^') {
                modifier = Tolm::Assignment::OutputModifier;
                ++pos_;
                skipBlanks();
            }
            auto name = this->name();
            if (!name) return nullptr;
            skipBlanks();
            auto type = Tolm::Assignment::AssignType::Declare;
            Tolm::TolmValuePtr value;
            if (auto written = assignOperator()) {
                type = *written;
                skipBlanks();
                value = this->value();
                if (!value) return nullptr;
            }
            assignments.emplace_back(std::move(*name), std::move(value), type, modifier);
        }
        ++pos_;
        --depth_;
        const std::vector<Tolm::ConditionalBlock> noConditions;
        try {
            return std::make_shared<Tolm::TolmContext>(std::make_shared<Tolm::Context>(assignments, noConditions));
        } catch (const std::bad_alloc&) {
            throw;
        } catch (...) {
            // Variables of one name that do not merge: the parser fails on
            // them the same way, and says so.
            return nullptr;
        }
    }

    static constexpr int MaxNesting = 16;

    std::string_view text_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

bool isBlankText(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The parser descends once per "[" or "{" and runs out of stack somewhere
// past ten thousand levels. No file tolm writes comes near the limit, so a
// text beyond it is taken as one that does not parse. Brackets inside texts
// count too, which only errs on the side of refusing.
constexpr int MaxParseNesting = 2000;

bool nestsTooDeep(std::string_view text)
{
    int depth = 0;
    for (char c : text) {
        if (c == '[' || c == '{') {
            if (++depth > MaxParseNesting) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

const char* operatorOfType(std::uint32_t type)
{
    switch (type) {
    case 1: return "=";
    case 2: return "+=";
    case 3: return "?=";
    case 4: return ":";
    default: return nullptr;
    }
}

}  // namespace

bool hasOldPathLiteral(std::string_view text)
{
    for (std::size_t at = text.find("P\""); at != std::string_view::npos; at = text.find("P\"", at + 1)) {
        const std::size_t runBegin = at + 2;
        if (runBegin < text.size() && text[runBegin] == '(') continue;
        const std::size_t runEnd = text.find_first_of("\"\r\n", runBegin);
        if (runEnd != std::string_view::npos && text[runEnd] == '"') return true;
    }
    return false;
}

std::string rewritePathLiterals(std::string_view text)
{
    std::string result;
    std::size_t copied = 0;
    for (std::size_t at = text.find("P\""); at != std::string_view::npos; at = text.find("P\"", at + 1)) {
        const std::size_t runBegin = at + 2;
        if (runBegin < text.size() && text[runBegin] == '(') continue;
        const std::size_t runEnd = text.find_first_of("\"\r\n", runBegin);
        if (runEnd == std::string_view::npos || text[runEnd] != '"') continue;
        result.append(text.substr(copied, at - copied));
        result += "P\"(";
        result.append(text.substr(runBegin, runEnd - runBegin));
        result += ")\"";
        copied = runEnd + 1;
        at = runEnd;
    }
    result.append(text.substr(copied));
    return result;
}

QuickParse quickParseAssignment(std::string_view text)
{
    QuickParse result;
    // The parser refuses such text before it looks at it.
    if (!Tolm::isValidUtf8(text)) return result;
    Scanner scan(text);
    scan.skipBlanks();
    auto name = scan.name();
    if (!name) return result;
    scan.skipBlanks();
    if (scan.atEnd()) {
        result.verdict = QuickParse::Parsed;
        result.name = std::move(*name);
        return result;
    }
    if (!scan.assignOperator()) return result;
    scan.skipBlanks();
    if (scan.atEnd()) {
        // An operator needs a value.
        result.verdict = QuickParse::Fails;
        return result;
    }
    Tolm::TolmValuePtr value = scan.value();
    if (!value) return result;
    scan.skipBlanks();
    if (!scan.atEnd()) return result;
    result.verdict = QuickParse::Parsed;
    result.name = std::move(*name);
    result.value = std::move(value);
    return result;
}

std::optional<Tolm::Assignment> assignmentWithoutValue(std::string_view text, std::uint32_t type,
                                                       std::uint32_t modifier)
{
    const char* op = operatorOfType(type);
    if (op == nullptr) return std::nullopt;
    const std::size_t at = text.find(op);
    if (at == std::string_view::npos) return std::nullopt;
    if (!isBlankText(text.substr(at + std::string_view(op).size()))) return std::nullopt;
    std::string_view name = text.substr(0, at);
    const std::size_t first = name.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return std::nullopt;
    name = name.substr(first, name.find_last_not_of(" \t\r\n") - first + 1);
    return Tolm::Assignment(std::string(name), nullptr, static_cast<Tolm::Assignment::AssignType>(type), modifier);
}

std::optional<Tolm::Assignment> assignmentFromCacheText(std::string_view text, std::uint32_t type,
                                                        std::uint32_t modifier)
{
    const auto assignType = static_cast<Tolm::Assignment::AssignType>(type);
    // Most texts hold no path literal of the old form; spare them the copy.
    std::string rewritten;
    std::string_view parsed = text;
    if (hasOldPathLiteral(text)) {
        rewritten = rewritePathLiterals(text);
        parsed = rewritten;
    }

    QuickParse quick = quickParseAssignment(parsed);
    if (quick.verdict == QuickParse::Parsed)
        return Tolm::Assignment(std::move(quick.name), std::move(quick.value), assignType, modifier);
    if (quick.verdict == QuickParse::Unknown && !nestsTooDeep(parsed)) {
        try {
            Tolm::Assignment full = parseAssignment(parsed, readerBase(), true);
            return Tolm::Assignment(std::move(full.name), std::move(full.value), assignType, modifier);
        } catch (...) {
            // Whatever the parse throws (syntax, UTF-8, numbers out of range),
            // the no-value rule still gets its turn.
        }
    }
    return assignmentWithoutValue(text, type, modifier);
}
