#include "types/variable_access.h"

#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/value_iteration.h"

namespace Tolm {

namespace {

// The kind named in the failure of getVariable.
constexpr const char* VariableKind = "Variable";

const Assignment* findAssignment(const VariableMap& variables, const std::string& name)
{
    const auto found = variables.find(Util::CiString(name));
    return found == variables.end() ? nullptr : &found->second;
}

// The named value, null when the name is absent or holds no value.
TolmValuePtr valueOrNull(const VariableMap& variables, const std::string& name)
{
    const Assignment* assignment = findAssignment(variables, name);
    return assignment ? assignment->value : nullptr;
}

// Characters that never make /bin/sh read a word as anything but itself.
bool isPlainWordCharacter(char c)
{
    const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return alphanumeric || std::string_view("/._-+,:=@%").find(c) != std::string_view::npos;
}

bool isPlainWord(std::string_view text)
{
    for (const char c : text)
        if (!isPlainWordCharacter(c)) return false;
    return true;
}

}  // namespace

std::string quotedPath(std::string_view path)
{
    std::string word;
    word.reserve(path.size() + 4);
    word += '"';
    // A program reads a word that begins with '-' as an option; the same file
    // named from the current directory cannot be one.
    if (path.starts_with('-')) word += "./";
    for (const char c : path) {
        if (c == '$' || c == '`' || c == '"' || c == '\\') word += '\\';
        word += c;
    }
    word += '"';
    return word;
}

TolmValuePtr getVariable(const VariableMap& variables, const std::string& name)
{
    const Assignment* assignment = findAssignment(variables, name);
    if (!assignment) throw NotFoundException(VariableKind, name);
    return assignment->value;
}

bool hasVariable(const VariableMap& variables, const std::string& name)
{
    return findAssignment(variables, name) != nullptr;
}

std::uint32_t variableModifier(const VariableMap& variables, const std::string& name)
{
    const Assignment* assignment = findAssignment(variables, name);
    return assignment ? assignment->modifier : 0;
}

std::string variableTextOr(const VariableMap& variables, const std::string& name, const std::string& fallback)
{
    const TolmValuePtr value = valueOrNull(variables, name);
    return value ? value->toString() : fallback;
}

std::string variableText(const VariableMap& variables, const std::string& name)
{
    return variableTextOr(variables, name, std::string());
}

std::string lookupVariableText(const VariableMap& variables, std::string name)
{
    return variableText(variables, name);
}

std::string valueToCommandText(const TolmValue& value, const std::string& prefix, bool quote)
{
    const std::string text = value.toString();
    if (text.empty()) return text;
    std::string piece = " " + prefix;
    if (dynamic_cast<const TolmPathString*>(&value)) {
        // Right after the space a path would stand where options stand.
        const bool standsAlone = prefix.empty() && text.front() == '-';
        return piece + (quote || standsAlone || !isPlainWord(text) ? quotedPath(text) : text);
    }
    if (quote && text.front() != '"') piece += '"';
    piece += text;
    if (quote && text.back() != '"') piece += '"';
    return piece;
}

std::string valueToCommandText(const TolmValuePtr& value, const std::string& prefix, bool quote)
{
    return value ? valueToCommandText(*value, prefix, quote) : std::string();
}

std::string flattenToStrings(const TolmValue& value, const std::string& prefix, bool quote)
{
    const auto* list = dynamic_cast<const TolmList*>(&value);
    if (!list) return valueToCommandText(value, prefix, quote);
    std::string pieces;
    for (const auto& item : list->items())
        pieces += flattenToStrings(*item, prefix, quote);
    return pieces;
}

std::string getVariableString(const VariableMap& variables, const std::string& name,
                              const std::string& prefix, bool quote)
{
    const TolmValuePtr value = valueOrNull(variables, name);
    return value ? flattenToStrings(*value, prefix, quote) : std::string();
}

std::string getVariableStrings(const VariableMap& variables, const std::string& name,
                               const std::string& prefix, bool quote)
{
    const TolmValuePtr value = valueOrNull(variables, name);
    if (!value) return {};
    if (dynamic_cast<const TolmPathString*>(value.get())) return valueToCommandText(*value, prefix, quote);
    std::string pieces;
    auto it = valueBegin(value);
    const auto end = valueEnd(value);
    // A value without iterators (an unresolved identifier) has no elements.
    if (!it || !end) return pieces;
    for (; !it->equals(*end); it->advance()) {
        const TolmValuePtr element = it->current();
        if (const auto* list = dynamic_cast<const TolmList*>(element.get())) {
            for (const auto& item : list->items())
                pieces += valueToCommandText(item, prefix, quote);
        } else {
            pieces += valueToCommandText(element, prefix, quote);
        }
    }
    return pieces;
}

// A context answers for its assignment map.

TolmValuePtr getVariable(const Context& variables, const std::string& name)
{
    return getVariable(variables.assignments, name);
}

bool hasVariable(const Context& variables, const std::string& name)
{
    return hasVariable(variables.assignments, name);
}

std::uint32_t variableModifier(const Context& variables, const std::string& name)
{
    return variableModifier(variables.assignments, name);
}

std::string variableTextOr(const Context& variables, const std::string& name, const std::string& fallback)
{
    return variableTextOr(variables.assignments, name, fallback);
}

std::string variableText(const Context& variables, const std::string& name)
{
    return variableText(variables.assignments, name);
}

std::string getVariableString(const Context& variables, const std::string& name,
                              const std::string& prefix, bool quote)
{
    return getVariableString(variables.assignments, name, prefix, quote);
}

std::string getVariableStrings(const Context& variables, const std::string& name,
                               const std::string& prefix, bool quote)
{
    return getVariableStrings(variables.assignments, name, prefix, quote);
}

}  // namespace Tolm
