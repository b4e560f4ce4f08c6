#include "app/dependency_list.h"

#include <cctype>
#include <string>
#include <variant>

#include <fmt/format.h>

#include "types/identifier_parser.h"
#include "types/target_context.h"
#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "util/log.h"
#include "util/trim.h"

namespace {

namespace Messages {
constexpr const char* Creating = "Creating dependency list.\n";
constexpr const char* EmptyDynamic = "Dynamic dependency '{}' is empty and will be skipped.\n";
constexpr const char* Invalid = "Invalid dynamic dependency '{}': {}";
constexpr const char* UnmatchedClose = "unmatched ')'";
constexpr const char* Unterminated = "unterminated parameter list";
constexpr const char* SingleAlias = "single output alias cannot be used when a macro expands to multiple dependencies";
constexpr const char* SourceWithParameters =
    "cannot combine source-parameterized macro with parameters from the resolved dependency value";
constexpr const char* MacroWithParameters =
    "cannot combine macro parameters with parameters from the resolved dependency value";
constexpr const char* EmptyTargetName = "empty target name";
constexpr const char* EmptyParameter = "empty parameter";
constexpr const char* InvalidParameter = "invalid parameter '{}'";
}  // namespace Messages

Tolm::TolmException invalid(const std::string& text, const std::string& detail) {
    return Tolm::TolmException(fmt::format(fmt::runtime(Messages::Invalid), text, detail));
}

// Splits at whitespace outside parentheses, so "b(x, y)" stays one word.
void splitWords(const std::string& text, std::vector<Tolm::NamedValue>& entries) {
    int depth = 0;
    std::string word;
    auto flush = [&] {
        Tolm::TolmValuePtr none;
        Tolm::addTrimmedParameter(entries, word, none);
        word.clear();
    };
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')' && depth-- == 0) throw invalid(text, Messages::UnmatchedClose);
        if (depth == 0 && std::isspace(static_cast<unsigned char>(c))) {
            flush();
            continue;
        }
        word += c;
    }
    if (depth > 0) throw invalid(text, Messages::Unterminated);
    flush();
}

std::vector<Tolm::NamedValue> entriesOf(const Tolm::TolmValuePtr& value) {
    std::vector<Tolm::NamedValue> entries;
    if (auto* nested = dynamic_cast<const Tolm::TolmContext*>(value.get())) {
        for (const auto& [name, assignment] : nested->context->assignments) {
            std::string text = assignment.name;
            Tolm::TolmValuePtr item = assignment.value;
            Tolm::addTrimmedParameter(entries, text, item);
        }
    } else if (auto* list = dynamic_cast<const Tolm::TolmList*>(value.get())) {
        for (const Tolm::TolmValuePtr& item : list->items()) {
            std::string text = item->toString();
            Tolm::TolmValuePtr shared = item;
            Tolm::addTrimmedParameter(entries, text, shared);
        }
    } else {
        splitWords(value->toString(), entries);
    }
    return entries;
}

// "name(a, b)": the parameters become identifiers, the name the target.
void takeParameterList(const std::string& text, std::size_t open, Tolm::Dependency& dependency) {
    if (!dependency.parameters.empty()) throw invalid(text, Messages::MacroWithParameters);
    if (text.back() != ')') throw invalid(text, Messages::Unterminated);
    const std::string name = Util::trimWhitespace(text.substr(0, open));
    if (name.empty()) throw invalid(text, Messages::EmptyTargetName);
    const std::string inner = text.substr(open + 1, text.size() - open - 2);
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = inner.find(',', start);
        const std::string piece =
            Util::trimWhitespace(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (piece.empty()) throw invalid(text, Messages::EmptyParameter);
        Tolm::Identifier identifier;
        IdentifierParser parser(piece);
        if (!parser.parseSegments(identifier) || parser.position != piece.size())
            throw invalid(text, fmt::format(fmt::runtime(Messages::InvalidParameter), piece));
        dependency.parameters.push_back(std::move(identifier));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    dependency.target = Tolm::parseDependencyString(name);
}

void expandDynamic(Tolm::TargetContext& target, const Tolm::Dependency& written,
                   const Tolm::DynamicTarget& dynamic, std::vector<Tolm::Dependency>& result) {
    const Tolm::TolmValuePtr value = target.lookup(dynamic.identifier);
    const std::string whole = value ? value->toString() : std::string();
    if (whole.empty()) {
        Log::log(6, fmt::runtime(Messages::EmptyDynamic), dynamic.identifier.toString());
        return;
    }
    const std::vector<Tolm::NamedValue> entries = entriesOf(value);
    if (entries.empty()) {
        Log::log(6, fmt::runtime(Messages::EmptyDynamic), dynamic.identifier.toString());
        return;
    }
    if (written.aliasKind == 1 && entries.size() > 1) throw invalid(whole, Messages::SingleAlias);

    for (const Tolm::NamedValue& entry : entries) {
        const std::string& text = entry.name;
        Tolm::Dependency dependency = written;
        const std::size_t open = text.find('(');
        if (dynamic.sourceParameter) {
            if (open != std::string::npos) throw invalid(text, Messages::SourceWithParameters);
            dependency.source = entry.value;
            dependency.target = Tolm::parseDependencyString(text);
        } else if (open == std::string::npos) {
            dependency.target = Tolm::parseDependencyString(text);
        } else {
            takeParameterList(text, open, dependency);
        }
        result.push_back(std::move(dependency));
    }
}

}  // namespace

std::vector<Tolm::Dependency> createDependencyList(Tolm::TargetContext& target) {
    Log::log(1, fmt::runtime(Messages::Creating));
    std::vector<Tolm::Dependency> result;
    result.reserve(target.dependencies.size());
    for (const Tolm::Dependency& written : target.dependencies) {
        if (const auto* dynamic = std::get_if<Tolm::DynamicTarget>(&written.target))
            expandDynamic(target, written, *dynamic, result);
        else
            result.push_back(written);
    }
    return result;
}
