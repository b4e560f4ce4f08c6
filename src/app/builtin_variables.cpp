#include "app/builtin_variables.h"

#include <string>
#include <system_error>

#include "tolm_app.h"
#include "types/value_factories.h"

namespace {

using Type = Tolm::Assignment::AssignType;

void addText(Tolm::Context& context, const char* name, const std::string& text, Type type) {
    context.addAssignment(Tolm::Assignment(name, Tolm::makeStringValue(text), type, 0), 0);
}

bool pathExists(const char* path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

void addBuiltinVariables(Tolm::Context& context, const std::filesystem::path& projectRoot, std::time_t now) {
    if (pathExists("C:\\"))
        addText(context, "os_family", "windows", Type::SetIfEmpty);
    else if (pathExists("/bin"))
        addText(context, "os_family", "unix", Type::SetIfEmpty);

    std::tm local{};
    localtime_r(&now, &local);
    addText(context, "year", std::to_string(local.tm_year + 1900), Type::SetIfEmpty);
    addText(context, "month", std::to_string(local.tm_mon + 1), Type::SetIfEmpty);
    addText(context, "day", std::to_string(local.tm_mday), Type::SetIfEmpty);

    addText(context, "project_root", projectRoot.string(), Type::Set);
    addText(context, "output_def_dir", "out", Type::Set);
    addText(context, "cwd", std::filesystem::current_path().string(), Type::SetIfEmpty);
}

void TolmApplication::CreateImplicitContext() {
    addBuiltinVariables(builtinContext, projectRoot, std::time(nullptr));
}
