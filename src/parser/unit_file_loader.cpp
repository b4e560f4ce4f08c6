#include "parser/unit_file_loader.h"

#include <memory>
#include <string>
#include <utility>

#include "parser/checked_parse.h"
#include "parser/nesting_check.h"
#include "parser/parse_pipeline.h"
#include "parser/tolm_error_counter.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"
#include "types/tolm_exceptions.h"
#include "types/unit.h"
#include "util/log.h"
#include "util/regular_file.h"

namespace {

namespace Messages {
constexpr const char* NotFound = "File not found at ";
constexpr const char* CannotOpen = "Unable to open file!";
constexpr const char* SyntaxErrors = " Parsing failed due to syntax errors.";
constexpr const char* NoUnit = "Unable to parse unit file.";
constexpr const char* Kind = "Unit file";
}  // namespace Messages

}  // namespace

std::shared_ptr<Tolm::Unit> loadUnitFile(const std::filesystem::path& file) {
    const auto status = std::filesystem::status(file);
    if (!std::filesystem::exists(status)) throw Tolm::TolmException(Messages::NotFound + file.string());

    // Read without blocking: a FIFO or a device is refused, not read.
    Util::FileBytes content = Util::readRegularFile(file);
    Log::log(1, "Parsing {}\n", file.string());
    if (content.kind == Util::FileBytes::NotRegular)
        throw Tolm::TolmException(fmt::format(fmt::runtime(kNotRegularFile), Messages::Kind, file.string()));
    if (content.kind == Util::FileBytes::Directory)
        throw Tolm::TolmException(fmt::format(fmt::runtime(kDirectoryFile), Messages::Kind, file.string()));
    if (content.kind != Util::FileBytes::Read) throw Tolm::TolmException(Messages::CannotOpen);
    const std::string text = std::move(content.bytes);
    // Checked as the project and registry loaders do, so the user knows which file is broken.
    requireSourceText(text, file);

    ParsePipeline parse(text);
    // The console listeners stay and print every error; lexer errors are also
    // counted, since a skipped character could silently change a value.
    TolmErrorCounter lexerErrors("unit", true);
    parse.lexer.addErrorListener(&lexerErrors);

    if (auto failure = excessiveNesting(parse.tokens, file.string())) throw Tolm::TolmException(*failure);
    auto* tree = parse.parser.unitFile();
    if (parse.parser.getNumberOfSyntaxErrors() != 0 || lexerErrors.count > 0)
        throw Tolm::TolmException(file.string() + Messages::SyntaxErrors);
    if (tree == nullptr || tree->tolmUnit() == nullptr) throw Tolm::TolmException(Messages::NoUnit);

    TolmVisitorImpl visitor(sourceBaseDirectory(file), TolmVisitorImpl::UnitFileMode, file);
    std::shared_ptr<Tolm::Unit> unit(takeResult<Tolm::Unit*>(visitor.visitTolmUnit(tree->tolmUnit())));

    Log::log(3, "Parsed unit '{}' at '{}'\n", unit->name, file.string());
    return unit;
}
