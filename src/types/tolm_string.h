#pragma once
// An expandable text value: references to variables in it are expanded when
// its context resolves it. One pair of surrounding double quotes is not part
// of its words and does not count for equality.

#include <string>

#include "types/tolm_base_string.h"

namespace Tolm {

class TolmString : public TolmBaseString, public Resolvable {
public:
    explicit TolmString(std::string text) : TolmBaseString(std::move(text)) {}

    std::string typeName() const override;
    std::string unquotedText() const override;
    // The new string has no resolver.
    TolmValuePtr create(std::string newText) const override;
    // Expands the text; changes this `text` and returns a new value (a string,
    // or a flat list when a cross expansion took place). The value is marked
    // received from a dependency when this text is, or when the text is one
    // reference and nothing else to a value so marked; after a cross
    // expansion, each text made of a marked element is.
    TolmValuePtr resolve() override;
};

// The text without one pair of surrounding double quotes, if it has them.
std::string stripSurroundingQuotes(const std::string& text);

}  // namespace Tolm
