#include "parser/checked_parse.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "parser/nesting_check.h"
#include "parser/utf8_check.h"
#include "types/tolm_exceptions.h"

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

std::string readSourceFile(const std::filesystem::path& file, const char* kind)
{
    std::ifstream in(file, std::ios::in | std::ios::binary);
    // A directory opens on Linux but cannot be read; treat it as no file.
    std::error_code ignored;
    if (!in || std::filesystem::is_directory(file, ignored)) {
        throw Tolm::NotFoundException(kind, file.string());
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Tolm::NotFoundException(kind, file.string());
    // The runtime's own complaint would not say which file is broken.
    if (!Tolm::isValidUtf8(text)) throw std::runtime_error(file.string() + ": " + Tolm::kIllegalUtf8Message);
    return text;
}

std::filesystem::path sourceBaseDirectory(const std::filesystem::path& file)
{
    std::filesystem::path directory = file.parent_path();
    if (directory.empty()) directory = ".";
    return std::filesystem::weakly_canonical(directory);
}
