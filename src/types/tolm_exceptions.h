#pragma once
// The program's own failures. TolmException is the root (not a standard
// exception); subclasses keep the parts of their message as fields and compose
// the text only when message() is called. AssignmentException is the one
// failure that derives from std::exception instead.

#include <cstdint>
#include <exception>
#include <source_location>
#include <string>
#include <vector>

#include "types/access_key.h"

namespace Tolm {

class TolmException {
public:
    explicit TolmException(std::string message) : message_(std::move(message)) {}
    virtual ~TolmException() = default;

    virtual std::string message() const { return message_; }

protected:
    TolmException() = default;

private:
    std::string message_;
};

// A value operation that the value does not support.
class BadOperation : public TolmException {
public:
    explicit BadOperation(std::string message) : TolmException(std::move(message)) {}
    std::string message() const override;
};

// kind + " '" + name + "' not found."
class NotFoundException : public TolmException {
public:
    NotFoundException(std::string kind, std::string name)
        : kind_(std::move(kind)), name_(std::move(name))
    {
    }
    std::string message() const override;

    const std::string& kind() const { return kind_; }
    const std::string& name() const { return name_; }

private:
    std::string kind_;
    std::string name_;
};

// A dotted name with a part that the context value it reaches lacks: the
// message of NotFoundException for that part (kind "Assignment" for the last
// part of a name, "Variable" for a part on the way). What the caller may add
// rides along: the name as written, the part before its first dot, the
// written name of the context value and the variables that one holds.
class MissingMemberException : public NotFoundException {
public:
    MissingMemberException(std::string kind, std::string member, std::string reference, std::string base,
                           std::string holder, std::vector<std::string> available)
        : NotFoundException(std::move(kind), std::move(member)), reference_(std::move(reference)),
          base_(std::move(base)), holder_(std::move(holder)), available_(std::move(available))
    {
    }

    const std::string& reference() const { return reference_; }
    const std::string& base() const { return base_; }
    const std::string& holder() const { return holder_; }
    const std::vector<std::string>& available() const { return available_; }

private:
    std::string reference_;
    std::string base_;
    std::string holder_;
    std::vector<std::string> available_;
};

// "Cannot convert " + value type + " " + literal + " to " + operand type
class BadConversion : public TolmException {
public:
    BadConversion(std::string valueType, std::string literal, std::string operandType)
        : valueType_(std::move(valueType)), literal_(std::move(literal)),
          operandType_(std::move(operandType))
    {
    }
    std::string message() const override;

private:
    std::string valueType_;
    std::string literal_;
    std::string operandType_;
};

// "Variable " + variable + " cannot be indexed with " + key text
class IndexException : public TolmException {
public:
    IndexException(std::string variable, AccessKey key)
        : variable_(std::move(variable)), key_(std::move(key))
    {
    }
    std::string message() const override;

    const AccessKey& key() const { return key_; }

private:
    std::string variable_;
    AccessKey key_;
};

// reason + " " + the first shownCount keys, each followed by "." + " <<"
class IdentifierError : public TolmException {
public:
    IdentifierError(std::vector<AccessKey> keys, std::uint64_t shownCount, std::string reason)
        : keys_(std::move(keys)), shownCount_(shownCount), reason_(std::move(reason))
    {
    }
    std::string message() const override;

private:
    std::vector<AccessKey> keys_;
    std::uint64_t shownCount_;
    std::string reason_;
};

// "Internal: " + file + "(" + line + ") " + function signature
class InternalError : public TolmException {
public:
    explicit InternalError(std::source_location location = std::source_location::current())
        : location_(location)
    {
    }
    std::string message() const override;

    const std::source_location& location() const { return location_; }

private:
    std::source_location location_;
};

// The target walk met a target already in progress. chain holds the walk's
// target keys newest first, so the message shows the loop as it was walked.
class LoopFoundException : public TolmException {
public:
    LoopFoundException(std::string causingTerm, std::vector<std::string> chain)
        : causingTerm_(std::move(causingTerm)), chain_(std::move(chain))
    {
    }
    std::string message() const override;

    const std::string& causingTerm() const { return causingTerm_; }
    const std::vector<std::string>& chain() const { return chain_; }

private:
    std::string causingTerm_;
    std::vector<std::string> chain_;
};

// An assignment combined with an existing one by an operation with no defined
// effect. A standard exception, unlike the rest of the family.
class AssignmentException : public std::exception {
public:
    explicit AssignmentException(std::string message) : message_(std::move(message)) {}
    ~AssignmentException() override = default;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace Tolm
