#include "parser/registry_file.h"

#include <stdexcept>

#include "parser/checked_parse.h"
#include "parser/tolm_visitor.h"
#include "parser/visit_result.h"

TolmRegData parseRegistryFile(const std::filesystem::path& file)
{
    // Said as a registry that cannot be read, which the run only warns about.
    const std::string text = readSourceFile(file, RegistryFileMessages::kNotFoundKind, DirectoryAs::Unreadable);

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
