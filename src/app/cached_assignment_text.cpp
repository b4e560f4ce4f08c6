#include "app/cached_assignment_text.h"

#include <filesystem>
#include <string_view>
#include <vector>

#include "parser/literal_writer.h"
#include "parser/utf8_check.h"
#include "types/tolm_base_string.h"
#include "types/tolm_context.h"
#include "types/tolm_identifier.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/value_casts.h"

namespace {

using Type = Tolm::Assignment::AssignType;

bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// R"(...)" or P"(...)" around `content`, when the lexer gives back exactly
// that content and the path rewrite finds nothing inside it to change.
std::optional<std::string> parenthesised(char marker, const std::string& content)
{
    if (!Tolm::fitsRawString(content) || contains(content, "P\"") || !Tolm::isValidUtf8(content)) return std::nullopt;
    std::string literal;
    literal.reserve(content.size() + 5);
    literal += marker;
    literal += "\"(";
    literal += content;
    literal += ")\"";
    return literal;
}

std::optional<std::string> pathLiteral(const Tolm::TolmPathString& path)
{
    // The reader bases every path at ".", so a path already based there (or
    // nowhere) keeps its own text; joining would prefix "./" on every save.
    const std::string& base = path.baseDirectory.native();
    const bool readerBase = base.empty() || base == "." || (base.find('.') != std::string::npos && path.baseDirectory == ".");
    return parenthesised('P', readerBase ? path.text : path.fullPath().native());
}

std::optional<std::string> textLiteral(const std::string& text)
{
    if (!contains(text, "\"")) {
        if (!Tolm::isValidUtf8(text)) return std::nullopt;
        return '"' + text + '"';
    }
    return parenthesised('R', text);
}

void collectLeaves(const Tolm::TolmList& list, std::vector<const Tolm::TolmValue*>& leaves)
{
    for (const Tolm::TolmValuePtr& item : list.items()) {
        if (const auto* nested = Tolm::valueAs<Tolm::TolmList>(item.get())) {
            collectLeaves(*nested, leaves);
        } else {
            leaves.push_back(item.get());
        }
    }
}

std::optional<std::string> listLiteral(const Tolm::TolmList& list)
{
    std::vector<const Tolm::TolmValue*> leaves;
    collectLeaves(list, leaves);
    if (leaves.empty()) return "[]";
    std::string literal = "[";
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        auto item = cacheLiteral(*leaves[i]);
        if (!item) return std::nullopt;
        literal += ' ';
        literal += *item;
        if (i + 1 == leaves.size()) break;
        // A line feed stops the path rewrite from running on into the next item.
        literal += item->ends_with("P\"") ? ",\n" : ",";
    }
    return literal + " ]";
}

const char* operatorText(Type type)
{
    switch (type) {
    case Type::Append: return " += ";
    case Type::SetIfEmpty: return " ?= ";
    default: return " = ";
    }
}

// One variable of a context literal. Inside braces there is no "A" line to
// carry the type, so a variable without a value is its bare name (the cache
// compares names and values only); "!" does not parse there at all.
std::optional<std::string> nestedAssignmentText(const Tolm::Assignment& assignment)
{
    if (!Tolm::isWritableName(assignment.name)) return std::nullopt;
    std::string text;
    if (assignment.modifier == Tolm::Assignment::OutputModifier) text = "^";
    else if (assignment.modifier != Tolm::Assignment::NoModifier) return std::nullopt;
    text += assignment.name;
    if (!assignment.value) return text;
    auto literal = cacheLiteral(*assignment.value);
    if (!literal) return std::nullopt;
    return text + operatorText(assignment.type) + *literal;
}

// `{ name = value ... }` in the context's name order. Conditional blocks have
// no form here; a context holding one is left out rather than read back
// without it.
std::optional<std::string> contextLiteral(const Tolm::TolmContext& value)
{
    if (!value.context || !value.context->conditions.empty()) return std::nullopt;
    if (value.context->assignments.empty()) return "{}";
    std::string literal = "{";
    const char* separator = " ";
    for (const auto& [key, assignment] : value.context->assignments) {
        auto text = nestedAssignmentText(assignment);
        if (!text) return std::nullopt;
        literal += separator;
        literal += *text;
        // A text ending in P may stand anywhere in a variable (a list closes
        // after it); a line feed after such a variable keeps the path rewrite
        // from running on into the next one.
        separator = contains(*text, "P\"") ? "\n" : " ";
    }
    return literal + separator + "}";
}

}  // namespace

std::optional<std::string> cacheLiteral(const Tolm::TolmValue& value)
{
    // Most derived classes first: a path is a text.
    if (const auto* path = Tolm::valueAs<Tolm::TolmPathString>(&value)) return pathLiteral(*path);
    if (const auto* text = Tolm::valueAs<Tolm::TolmBaseString>(&value)) return textLiteral(text->text);
    if (const auto* number = Tolm::valueAs<Tolm::TolmInt>(&value)) return number->toLiteral();
    if (const auto* list = Tolm::valueAs<Tolm::TolmList>(&value)) return listLiteral(*list);
    if (const auto* nested = Tolm::valueAs<Tolm::TolmContext>(&value)) return contextLiteral(*nested);
    if (const auto* reference = Tolm::valueAs<Tolm::TolmIdentifier>(&value))
        return Tolm::writableIdentifier(reference->identifier);
    return std::nullopt;
}

std::optional<std::string> cacheAssignmentText(const Tolm::Assignment& assignment)
{
    if (!Tolm::isWritableName(assignment.name)) return std::nullopt;
    if (!assignment.value) {
        // "=", "+=" and "?=" keep their operator and read back through the
        // reader's no-value rule; any other type as the bare name, which
        // parses as a name without a value.
        switch (assignment.type) {
        case Type::Set:
        case Type::Append:
        case Type::SetIfEmpty: return assignment.name + operatorText(assignment.type);
        default: return assignment.name;
        }
    }
    auto literal = cacheLiteral(*assignment.value);
    if (!literal) return std::nullopt;
    return assignment.name + operatorText(assignment.type) + *literal;
}
