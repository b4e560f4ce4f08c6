#include "parser/literal_writer.h"

#include <array>
#include <filesystem>
#include <string>
#include <system_error>

#include "parser/utf8_check.h"
#include "types/assignment.h"
#include "types/tolm_base_string.h"
#include "types/tolm_identifier.h"
#include "types/name_characters.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"

namespace Tolm {

namespace {

// The words the lexer always takes as keywords, never as identifiers.
constexpr std::array<std::string_view, 8> kKeywords = {
    "unit", "if", "import", "units", "profiles", "projects", "tools", "name"};

std::optional<std::string> quoted(const std::string& text)
{
    // A STRING token has no escapes, so a double quote cannot be carried;
    // bytes that are not UTF-8 would make the reader refuse the whole file.
    if (text.find('"') != std::string::npos || !isValidUtf8(text)) return std::nullopt;
    return '"' + text + '"';
}

std::optional<std::string> raw(char marker, const std::string& content)
{
    if (!fitsRawString(content) || !isValidUtf8(content)) return std::nullopt;
    return std::string(1, marker) + "\"(" + content + ")\"";
}

std::optional<std::string> writableIndex(const IndexExpr& index)
{
    switch (index.index()) {
    case IntegerIndex:
        return '[' + std::to_string(std::get<IntegerIndex>(index)) + ']';
    case RangeIndex: {
        const auto& range = std::get<RangeIndex>(index);
        return '[' + std::to_string(range.first) + ':' + std::to_string(range.last) + ']';
    }
    case NestedIndex: {
        const auto& nested = std::get<NestedIndex>(index);
        if (!nested) return std::nullopt;
        auto inner = writableIdentifier(*nested);
        if (!inner) return std::nullopt;
        return '[' + *inner + ']';
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> writableList(const TolmList& list)
{
    std::string out = "[";
    bool first = true;
    for (const auto& item : list.items()) {
        // The reader flattens a list written inside a list.
        if (!item || dynamic_cast<const TolmList*>(item.get()) != nullptr) return std::nullopt;
        auto literal = writableLiteral(*item);
        if (!literal) return std::nullopt;
        if (!first) out += ", ";
        out += *literal;
        first = false;
    }
    return out + "]";
}

}  // namespace

bool isWritableName(std::string_view text)
{
    if (text.empty() || !startsName(text.front())) return false;
    for (char c : text) {
        if (!continuesName(c)) return false;
    }
    for (auto keyword : kKeywords) {
        if (text == keyword) return false;
    }
    return true;
}

bool fitsRawString(std::string_view content)
{
    // The lexer ends the literal at the first ')"', so that pair is the one
    // thing the content cannot hold; a ')' at its end closes with the ')"'
    // after it.
    return content.find(")\"") == std::string_view::npos;
}

std::optional<std::string> writableIdentifier(const Identifier& identifier)
{
    if (identifier.segments.empty()) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < identifier.segments.size(); ++i) {
        const auto& segment = identifier.segments[i];
        if (!isWritableName(segment.name)) return std::nullopt;
        if (i > 0) out += '.';
        out += segment.name;
        for (const auto& index : segment.indexes) {
            auto text = writableIndex(index);
            if (!text) return std::nullopt;
            out += *text;
        }
    }
    return out;
}

std::optional<std::string> writableLiteral(const TolmValue& value)
{
    // Most derived classes first: a path is a string, a string a base string.
    if (const auto* path = dynamic_cast<const TolmPathString*>(&value)) {
        // The reader gives the path the registry's own directory, so write it
        // already joined with the directory it was read against, and made
        // absolute so that a base relative to the current directory keeps
        // its meaning.
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(path->fullPath(), error);
        if (error) return std::nullopt;
        return raw('P', full.native());
    }
    if (const auto* text = dynamic_cast<const TolmString*>(&value)) return quoted(text->text);
    if (const auto* text = dynamic_cast<const TolmBaseString*>(&value)) {
        // Raw and base strings are both never expanded; R"(...)" keeps that.
        return raw('R', text->text);
    }
    if (const auto* number = dynamic_cast<const TolmInt*>(&value)) return number->toLiteral();
    if (const auto* list = dynamic_cast<const TolmList*>(&value)) return writableList(*list);
    if (const auto* reference = dynamic_cast<const TolmIdentifier*>(&value)) {
        return writableIdentifier(reference->identifier);
    }
    return std::nullopt;
}

std::optional<std::string> writableAssignment(const Assignment& assignment)
{
    if (!isWritableName(assignment.name)) return std::nullopt;
    std::string out;
    if (assignment.modifier == Assignment::OutputModifier) {
        out = "^";
    } else if (assignment.modifier == Assignment::RequiredModifier) {
        out = "!";
    } else if (assignment.modifier != Assignment::NoModifier) {
        return std::nullopt;
    }
    out += assignment.name;

    using Type = Assignment::AssignType;
    if (!assignment.value) {
        // A bare name reads back as a declaration; "=" without a value clears
        // the variable just as a declaration does. "+=" and "?=" without a
        // value leave an existing value alone, which a bare name would not.
        if (assignment.type == Type::Set || assignment.type == Type::Declare) return out;
        return std::nullopt;
    }
    const char* op = nullptr;
    switch (assignment.type) {
    case Type::Set: op = " = "; break;
    case Type::Append: op = " += "; break;
    case Type::SetIfEmpty: op = " ?= "; break;
    default: return std::nullopt;  // a declaration with a value has no syntax
    }
    auto literal = writableLiteral(*assignment.value);
    if (!literal) return std::nullopt;
    return out + op + *literal;
}

}  // namespace Tolm
