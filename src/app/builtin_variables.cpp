#include "app/builtin_variables.h"

#include <iterator>
#include <string>
#include <system_error>

#include "tolm_app.h"
#include "types/value_factories.h"

namespace {

constexpr const char* DateVariables[] = {"year", "month", "day"};

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
    const int date[] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    for (std::size_t i = 0; i < std::size(DateVariables); ++i)
        addText(context, DateVariables[i], std::to_string(date[i]), Type::SetIfEmpty);

    addText(context, "project_root", projectRoot.string(), Type::Set);
    addText(context, "output_def_dir", "out", Type::Set);
    addText(context, "cwd", std::filesystem::current_path().string(), Type::SetIfEmpty);
}

std::vector<Tolm::Assignment> builtinDateVariables(const Tolm::Context& builtins) {
    std::vector<Tolm::Assignment> date;
    for (const char* name : DateVariables)
        if (auto found = builtins.assignments.find(Util::CiString(name)); found != builtins.assignments.end())
            date.push_back(found->second);
    return date;
}

void TolmApplication::CreateImplicitContext() {
    addBuiltinVariables(builtinContext, projectRoot, std::time(nullptr));
}
