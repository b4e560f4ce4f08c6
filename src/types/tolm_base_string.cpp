#include "types/tolm_base_string.h"

#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>

#include <fmt/format.h>

#include "types/tolm_exceptions.h"
#include "types/tolm_int.h"
#include "types/tolm_list.h"
#include "util/ci_string.h"

namespace Tolm {

namespace {

constexpr const char* RangePastEnd = "Variable {} cannot be indexed with {}: the range starts past its end.";

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::size_t skipSpaces(const std::string& text, std::size_t position)
{
    while (position < text.size() && isSpace(text[position])) ++position;
    return position;
}

std::size_t skipWord(const std::string& text, std::size_t position)
{
    while (position < text.size() && !isSpace(text[position])) ++position;
    return position;
}

// Separator rules shared by add and append: strings join directly on add and
// with a space on append, integers always join directly, lists always with a
// space. Anything else cannot be combined with a text.
std::string combinedText(const TolmBaseString& self, const TolmValue& operand, bool appending)
{
    if (const auto* text = dynamic_cast<const TolmBaseString*>(&operand)) {
        return appending ? self.text + " " + text->text : self.text + text->text;
    }
    if (const auto* number = dynamic_cast<const TolmInt*>(&operand)) {
        return self.text + number->toString();
    }
    if (const auto* list = dynamic_cast<const TolmList*>(&operand)) {
        return self.text + " " + list->toString();
    }
    throw BadConversion(operand.typeName(), operand.toLiteral(), self.typeName());
}

}  // namespace

TolmBaseString::Iterator::Iterator(std::shared_ptr<const TolmBaseString> owner, bool atEnd)
    : owner(std::move(owner)), text(this->owner->unquotedText())
{
    if (atEnd) {
        wordBegin = wordEnd = text.size();
        return;
    }
    wordBegin = skipSpaces(text, 0);
    wordEnd = skipWord(text, wordBegin);
}

void TolmBaseString::Iterator::advance()
{
    wordBegin = skipSpaces(text, skipWord(text, wordBegin));
    wordEnd = skipWord(text, wordBegin);
}

TolmValuePtr TolmBaseString::Iterator::current() const
{
    return owner->create(text.substr(wordBegin, wordEnd - wordBegin));
}

bool TolmBaseString::Iterator::equals(const ITolmValueIterator& other) const
{
    const auto* otherString = dynamic_cast<const Iterator*>(&other);
    if (otherString == nullptr) throw InternalError();
    // Positions first: they differ on every step of a loop but the last, so
    // the text comparison runs once per loop instead of once per word.
    return wordBegin == otherString->wordBegin && Util::ciEquals(text, otherString->text);
}

TolmValuePtr TolmBaseString::clone() const
{
    return keepingMark(create(text));
}

TolmValuePtr TolmBaseString::add(const TolmValue& operand) const
{
    std::string joined = combinedText(*this, operand, false);
    TolmValuePtr result = create(std::string());
    static_cast<TolmBaseString&>(*result).text = std::move(joined);
    return result;
}

void TolmBaseString::append(const TolmValue& operand)
{
    text = combinedText(*this, operand, true);
}

TolmValuePtr TolmBaseString::get(const AccessKey& key) const
{
    return std::visit(
        [&](const auto& k) -> TolmValuePtr {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, std::int64_t>) {
                if (k < 0 || static_cast<std::uint64_t>(k) >= text.size()) {
                    throw IndexException(toLiteral(), key);
                }
                return create(text.substr(static_cast<std::size_t>(k), 1));
            } else if constexpr (std::is_same_v<K, KeyRange>) {
                // A count below zero wraps to "everything up to the end"; a
                // start past the end is std::out_of_range, as substr's own.
                const auto first = static_cast<std::uint64_t>(k.first);
                const auto count = static_cast<std::uint64_t>(k.last) - first;
                if (first > text.size())
                    throw std::out_of_range(fmt::format(RangePastEnd, toLiteral(), accessKeyIndexText(key)));
                return create(text.substr(first, count));
            } else {
                throw IndexException(toLiteral(), key);
            }
        },
        key);
}

std::string TolmBaseString::toString() const
{
    return text;
}

std::string TolmBaseString::toLiteral() const
{
    return "\"" + text + "\"";
}

TolmValueIteratorPtr TolmBaseString::begin() const
{
    return std::make_unique<Iterator>(shared_from_this(), false);
}

TolmValueIteratorPtr TolmBaseString::end() const
{
    return std::make_unique<Iterator>(shared_from_this(), true);
}

bool TolmBaseString::equals(const TolmValue& other) const
{
    const auto* otherString = dynamic_cast<const TolmBaseString*>(&other);
    return otherString != nullptr && Util::ciEquals(unquotedText(), otherString->unquotedText());
}

bool TolmBaseString::greaterThan(const TolmValue& other) const
{
    const auto* otherString = dynamic_cast<const TolmBaseString*>(&other);
    return otherString != nullptr && text.size() > otherString->text.size();
}

bool TolmBaseString::lessThan(const TolmValue& other) const
{
    const auto* otherString = dynamic_cast<const TolmBaseString*>(&other);
    return otherString != nullptr && text.size() < otherString->text.size();
}

std::string TolmBaseString::typeName() const
{
    return "TolmBaseString";
}

std::string TolmBaseString::unquotedText() const
{
    return text;
}

TolmValuePtr TolmBaseString::create(std::string newText) const
{
    return std::make_shared<TolmBaseString>(std::move(newText));
}

}  // namespace Tolm
