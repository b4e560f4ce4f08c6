#include "types/instance_hash.h"

#include <iterator>
#include <typeinfo>

#include <fmt/format.h>

#include "types/condition.h"
#include "types/context_template.h"
#include "types/value_casts.h"

namespace Tolm {

namespace {

// Every NUL of a joined plain-text instance text starts one of these pairs;
// the lead of a described one is a pair that no joined text starts with.
constexpr char InstanceSeparator[] = {'\0', '\1'};
constexpr char EscapedNul[] = {'\0', '\2'};
constexpr char DescribedLead[] = {'\0', '\3'};

void appendEscaped(std::string& joined, const std::string& text)
{
    for (char c : text) {
        if (c == '\0')
            joined.append(std::begin(EscapedNul), std::end(EscapedNul));
        else
            joined += c;
    }
}

void appendText(std::string& description, std::string_view text)
{
    description += std::to_string(text.size());
    description += ':';
    description += text;
}

void describeAssignment(const Assignment& assignment, std::string& description)
{
    description += 'a';
    appendText(description, assignment.name);
    description += fmt::format("{},{},", static_cast<unsigned>(assignment.type), assignment.modifier);
    describeInstanceValue(assignment.value, description);
}

void describeBlocks(const std::vector<ConditionalBlock>& blocks, std::string& description);

// A block's own assignments in source order (names may repeat), then its blocks.
void describeTemplate(const ContextTemplate* block, std::string& description)
{
    description += '(';
    if (block) {
        for (const Assignment& assignment : block->assignments) describeAssignment(assignment, description);
        describeBlocks(block->conditions, description);
    }
    description += ')';
}

void describeBlocks(const std::vector<ConditionalBlock>& blocks, std::string& description)
{
    for (const auto& [condition, block] : blocks) {
        description += fmt::format("?{},", static_cast<unsigned>(condition.op));
        describeInstanceValue(condition.left, description);
        describeInstanceValue(condition.right, description);
        describeTemplate(block.get(), description);
    }
}

bool isPlainText(const TolmValuePtr& value)
{
    return value && typeid(*value) == typeid(TolmString);
}

bool startsWith(std::string_view text, const char (&lead)[2])
{
    return text.size() >= 2 && text[0] == lead[0] && text[1] == lead[1];
}

// Whether one plain text can be its own instance text: an empty one would
// read as no parameters, one holding a separator as several texts joined, and
// one starting with the described lead as the description of another value.
bool standsAsItself(std::string_view text)
{
    return !text.empty() && !startsWith(text, DescribedLead) &&
           text.find(std::string_view(InstanceSeparator, 2)) == std::string_view::npos;
}

}  // namespace

std::uint64_t fnv1aHash64(std::string_view text)
{
    constexpr std::uint64_t offsetBasis = 0xcbf29ce484222325ULL;
    constexpr std::uint64_t prime = 0x100000001b3ULL;
    std::uint64_t hash = offsetBasis;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= prime;
    }
    return hash;
}

std::string fnv1aHash64Hex(std::string_view text)
{
    return fmt::format("{:016x}", fnv1aHash64(text));
}

std::string instanceTextOf(std::span<const TolmValuePtr> values)
{
    std::string text;
    if (values.empty()) return text;
    bool plain = true;
    for (const TolmValuePtr& value : values) plain = plain && isPlainText(value);
    if (plain && values.size() == 1) {
        text = values.front()->toString();
        if (standsAsItself(text)) return text;
        plain = false;
    }
    if (!plain) {
        text.assign(std::begin(DescribedLead), std::end(DescribedLead));
        for (const TolmValuePtr& value : values) describeInstanceValue(value, text);
        return text;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text.append(std::begin(InstanceSeparator), std::end(InstanceSeparator));
        appendEscaped(text, values[i]->toString());
    }
    return text;
}

void describeInstanceValue(const TolmValuePtr& value, std::string& description)
{
    // Subclasses first: a path is a text, and valueAs answers as dynamic_cast does.
    if (!value) {
        description += 'n';
    } else if (const auto* path = valueAs<TolmPathString>(value.get())) {
        description += 'p';
        appendText(description, path->baseDirectory.native());
        appendText(description, path->text);
    } else if (const auto* rawText = valueAs<TolmRawString>(value.get())) {
        description += 'r';
        appendText(description, rawText->text);
    } else if (const auto* text = valueAs<TolmBaseString>(value.get())) {
        description += 's';
        appendText(description, text->text);
    } else if (const auto* number = valueAs<TolmInt>(value.get())) {
        description += 'i';
        appendText(description, std::to_string(number->value));
    } else if (const auto* identifier = valueAs<TolmIdentifier>(value.get())) {
        description += 'v';
        appendText(description, identifier->identifier.toString());
    } else if (const auto* list = valueAs<TolmList>(value.get())) {
        description += '[';
        for (const TolmValuePtr& item : list->items()) describeInstanceValue(item, description);
        description += ']';
    } else if (const auto* nested = valueAs<TolmContext>(value.get())) {
        description += '{';
        if (nested->context) {
            for (const auto& [name, assignment] : nested->context->assignments)
                describeAssignment(assignment, description);
            describeBlocks(nested->context->conditions, description);
        }
        description += '}';
    } else {
        description += 'x';
        appendText(description, value->typeName());
        appendText(description, value->toLiteral());
    }
}

}  // namespace Tolm
