#include "types/tolm_exceptions.h"

// Every message text of the exception family is composed here.

namespace Tolm {

std::string BadOperation::message() const
{
    return TolmException::message();
}

std::string NotFoundException::message() const
{
    return kind_ + " '" + name_ + "' not found.";
}

std::string BadConversion::message() const
{
    return "Cannot convert " + valueType_ + " " + literal_ + " to " + operandType_;
}

std::string IndexException::message() const
{
    return "Variable " + variable_ + " cannot be indexed with " + accessKeyIndexText(key_);
}

std::string IdentifierError::message() const
{
    std::string text = reason_ + " ";
    const std::uint64_t shown = shownCount_ < keys_.size() ? shownCount_ : keys_.size();
    for (std::uint64_t i = 0; i < shown; ++i) text += accessKeyPathText(keys_[i]) + ".";
    text += " <<";
    return text;
}

std::string InternalError::message() const
{
    return std::string("Internal: ") + location_.file_name() + "(" +
           std::to_string(location_.line()) + ") " + location_.function_name();
}

std::string LoopFoundException::message() const
{
    std::string text = "Loop detected! Causing term: '" + causingTerm_ + "'\n" +
                       "  loop goes as follows: ";
    for (const auto& entry : chain_) text += entry + " <- ";
    return text;
}

} // namespace Tolm
