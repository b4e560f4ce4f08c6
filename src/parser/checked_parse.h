#pragma once

// One parse of a whole project or registry file whose lexer and parser errors
// are collected rather than printed: the loader refuses too deep nesting,
// parses from its start rule, then `throwFirstError` reports the first error
// with file, line and column.

#include <filesystem>
#include <string>
#include <string_view>

#include "parser/parse_pipeline.h"
#include "parser/throwing_error_listener.h"

class CheckedParse : public ParsePipeline {
public:
    // `text` is the file's content, `source` the path that error messages
    // begin with.
    CheckedParse(const std::string& text, const std::filesystem::path& source);
    CheckedParse(const CheckedParse&) = delete;
    CheckedParse& operator=(const CheckedParse&) = delete;

    // Throws std::runtime_error with the first collected message, if any.
    void throwFirstError() const;

    // Throws std::runtime_error, naming the file, line and column, when the
    // text nests too deep to parse safely. Call before parsing.
    void refuseDeepNesting();

    ThrowingErrorListener listener;

private:
    std::filesystem::path source_;
};

// With the kind of file ("Project file") and its path: a FIFO, a device or a
// socket where a file of the language should be.
inline constexpr const char* kNotRegularFile = "{} '{}' is not a regular file.";
// The same for a directory.
inline constexpr const char* kDirectoryFile = "{} '{}' is a directory.";
// With the path, the line and the column, in the form of the parser's own
// errors.
inline constexpr const char* kNulByte = "{}({},{}): a NUL byte is not allowed";

// Throws std::runtime_error naming the file when `text` is not valid UTF-8,
// and kNulByte when it holds a NUL byte: a command's text would reach the
// shell cut short at it, and a name or path would not be the one written.
void requireSourceText(std::string_view text, const std::filesystem::path& file);

// The whole content of a file, read without blocking. Throws
// Tolm::TolmException (kNotRegularFile) for a FIFO, a device or a socket,
// Tolm::NotFoundException with `kind` and the path's text when the file
// cannot be read (missing or unreadable), Tolm::TolmException
// (kDirectoryFile) for a directory, and
// std::runtime_error as requireSourceText does.
std::string readSourceFile(const std::filesystem::path& file, const char* kind);

// The directory against which relative paths of `file` are taken: its parent
// directory ("." for a bare file name), made absolute and normalised.
std::filesystem::path sourceBaseDirectory(const std::filesystem::path& file);
