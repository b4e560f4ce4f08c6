#include "parser/registry_file.h"

#include <stdexcept>

#include "parser/checked_parse.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"

TolmRegData parseRegistryFile(const std::filesystem::path& file)
{
    // Any failure to read it is only a warning of the run.
    const std::string text = readSourceFile(file, RegistryFileMessages::kNotFoundKind);

    CheckedParse parse(text, file);
    parse.refuseDeepNesting();
    TolmTopParser::RegistryFileContext* tree = parse.parser.registryFile();
    parse.throwFirstError();
    if (tree == nullptr || tree->tolmRegistry() == nullptr) {
        throw std::runtime_error(RegistryFileMessages::kNoRegistry);
    }

    TolmVisitorImpl visitor(sourceBaseDirectory(file), TolmVisitorImpl::RegistryFileMode, file);
    antlrcpp::Any result = visitor.visitTolmRegistry(tree->tolmRegistry());
    return takeResult<TolmRegData>(std::move(result));
}
