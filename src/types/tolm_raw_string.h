#pragma once
// A text value taken literally: never expanded, and its quotes stay part of
// its text, its words and its equality.

#include <string>

#include "types/tolm_base_string.h"

namespace Tolm {

class TolmRawString : public TolmBaseString {
public:
    explicit TolmRawString(std::string text) : TolmBaseString(std::move(text)) {}

    std::string typeName() const override;
    TolmValuePtr create(std::string newText) const override;
};

}  // namespace Tolm
