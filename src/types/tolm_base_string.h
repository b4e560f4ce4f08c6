#pragma once
// The common text value and its word iterator.
//
// The four text types share everything here; they differ only in their
// class name, in `create` (which makes a value of their own class) and in
// whether surrounding double quotes count as part of the text.
//
// Oddities kept on purpose: strings order by byte length only (ab is less
// than xyz, and neither less nor greater than cd), and equality ignores
// letter case.

#include <cstddef>
#include <memory>
#include <string>

#include "types/tolm_value.h"

namespace Tolm {

class TolmBaseString : public TolmValue, public std::enable_shared_from_this<TolmBaseString> {
public:
    explicit TolmBaseString(std::string text) : text(std::move(text)) {}

    // Walks the whitespace-separated words of the owner's `unquotedText`.
    // Each word is a new value of the owner's class.
    class Iterator : public ITolmValueIterator {
    public:
        // atEnd: position past the last word instead of at the first one.
        Iterator(std::shared_ptr<const TolmBaseString> owner, bool atEnd);
        void advance() override;
        TolmValuePtr current() const override;
        bool equals(const ITolmValueIterator& other) const override;

        std::shared_ptr<const TolmBaseString> owner;
        std::string text;  // the owner's unquoted text when the iterator was made
        std::size_t wordBegin = 0;
        std::size_t wordEnd = 0;
    };

    TolmValuePtr clone() const override;
    TolmValuePtr add(const TolmValue& operand) const override;
    void append(const TolmValue& operand) override;
    TolmValuePtr get(const AccessKey& key) const override;
    std::string toString() const override;
    std::string toLiteral() const override;
    // Both throw std::bad_weak_ptr unless a shared pointer owns this string.
    TolmValueIteratorPtr begin() const override;
    TolmValueIteratorPtr end() const override;
    bool equals(const TolmValue& other) const override;
    bool greaterThan(const TolmValue& other) const override;
    bool lessThan(const TolmValue& other) const override;
    std::string typeName() const override;

    // The text without the quotes that some types strip.
    virtual std::string unquotedText() const;
    // A new value of this class holding `newText`.
    virtual TolmValuePtr create(std::string newText) const;

    // Stored exactly as received, quotes included.
    std::string text;
};

}  // namespace Tolm
