#include "parser/checked_parse.h"

#include <fmt/format.h>

#include <stdexcept>
#include <utility>

#include "parser/nesting_check.h"
#include "parser/utf8_check.h"
#include "types/tolm_exceptions.h"
#include "util/regular_file.h"

CheckedParse::CheckedParse(const std::string& text, const std::filesystem::path& source)
    : ParsePipeline(text), listener(source), source_(source)
{
    // Lexer errors fail the load just as parser errors do.
    lexer.removeErrorListeners();
    lexer.addErrorListener(&listener);
    parser.removeErrorListeners();
    parser.addErrorListener(&listener);
}

void CheckedParse::throwFirstError() const
{
    if (!listener.messages.empty()) throw std::runtime_error(listener.messages.front());
}

void CheckedParse::refuseDeepNesting()
{
    if (auto failure = excessiveNesting(tokens, source_.string())) throw std::runtime_error(*failure);
}

void requireSourceText(std::string_view text, const std::filesystem::path& file)
{
    // The runtime's own complaint would not say which file is broken.
    if (!Tolm::isValidUtf8(text)) throw std::runtime_error(file.string() + ": " + Tolm::kIllegalUtf8Message);
    if (const auto nul = Tolm::firstNulByte(text))
        throw std::runtime_error(fmt::format(fmt::runtime(kNulByte), file.string(), nul->line, nul->column));
}

std::string readSourceFile(const std::filesystem::path& file, const char* kind)
{
    Util::FileBytes content = Util::readRegularFile(file);
    if (content.kind == Util::FileBytes::NotRegular)
        throw Tolm::TolmException(fmt::format(fmt::runtime(kNotRegularFile), kind, file.string()));
    if (content.kind == Util::FileBytes::Directory)
        throw Tolm::TolmException(fmt::format(fmt::runtime(kDirectoryFile), kind, file.string()));
    if (content.kind != Util::FileBytes::Read) throw Tolm::NotFoundException(kind, file.string());
    requireSourceText(content.bytes, file);
    return std::move(content.bytes);
}

std::filesystem::path sourceBaseDirectory(const std::filesystem::path& file)
{
    std::filesystem::path directory = file.parent_path();
    if (directory.empty()) directory = ".";
    return std::filesystem::weakly_canonical(directory);
}
