// The start of a build: every project of the build gets its runtime context
// (the variables each of its targets starts from), the dependencies written
// as target names are checked, the main target is walked, and its outputs go
// to the "-o" file.
//
// A project imported along two paths is loaded once and shared, so meeting
// the same project again is not a conflict; only two different projects under
// one namespace are.

#include <functional>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "app/build_cache.h"
#include "app/builtin_variables.h"
#include "app/dependency_targets.h"
#include "app/outputs_file.h"
#include "app/visit_chain.h"
#include "tolm_app.h"
#include "types/profile.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Starting = "Starting build\n";
constexpr const char* MainFile = "Main file: {}\n";
constexpr const char* MainUnit = "Main unit: {}\n";
constexpr const char* MainTarget = "Main target: {}\n";
constexpr const char* ProjectContext = "Implicit context for project '{}':\n";
constexpr const char* ImplicitContext = "Implicit context:\n";
constexpr const char* NamespaceTwice = "Project namespace '{}' is used more than once.";
}  // namespace Messages

using Tolm::Assignment;

Assignment textSetting(const std::string& name, const std::string& text) {
    return Assignment(name, Tolm::makeStringValue(text), Assignment::AssignType::Set, Assignment::NoModifier);
}

// A profile's assignments and then its conditional blocks.
void addProfile(Tolm::Context& context, const Tolm::Profile& profile) {
    if (!profile.context) return;
    const Tolm::ContextPtr evaluated = profile.context->createContext();
    context.addAssignments(*evaluated);
    context.addConditions(*evaluated);
}

// One line per valued output, "name = literal", in name order.
std::string outputLines(const Tolm::Context& outputs) {
    std::string lines;
    for (const auto& [key, assignment] : outputs.assignments)
        if (assignment.value) lines += assignment.name + " = " + assignment.value->toLiteral() + "\n";
    return lines;
}

}  // namespace

void TolmApplication::StartBuild() {
    Log::log(5, fmt::runtime(Messages::Starting));
    Log::log(1, fmt::runtime(Messages::MainFile), defaultUnitFile.string());
    Log::log(1, fmt::runtime(Messages::MainUnit), mainTarget.unit);
    Log::log(1, fmt::runtime(Messages::MainTarget), mainTarget.target);

    if (buildCache) buildCache->runDate = builtinDateVariables(builtinContext);
    if (project) {
        CreateProjectRuntimeContexts();
    } else {
        implicitContext.addAssignments(builtinContext);
        if (activeProfile) {
            addProfile(implicitContext, *activeProfile);
            implicitContext.addAssignment(textSetting("PROFILE", activeProfile->name), 0);
        }
        if (!commandMode) implicitContext.addAssignments(commandLineContext);
    }

    if (dumpContexts) {
        if (project) {
            for (const auto& [name, runtime] : runtimeContexts) {
                Log::log(5, fmt::runtime(Messages::ProjectContext), name);
                runtime.context->dump(5);
            }
        } else {
            Log::log(5, fmt::runtime(Messages::ImplicitContext));
            implicitContext.dump(5);
        }
        if (commandMode) commandLineContext.dump(5);
    }

    VisitChain chain;
    Tolm::ContextPtr outputs;
    // The namespace is kept: a target of an imported project named on the
    // command line is built in that project.
    const Tolm::QualifiedTargetName main{mainTarget.ns, mainTarget.unit, mainTarget.target};
    checkStaticDependencies(unitRegistry, main);
    runWalk([&] { outputs = BuildTarget(main, {}, chain); });
    if (!outputsFile.empty()) writeOutputsFile(outputsFile, outputLines(*outputs));
}

void TolmApplication::CreateProjectRuntimeContexts() {
    runtimeContexts.clear();
    std::function<void(const Tolm::ProjectPtr&)> addProject = [&](const Tolm::ProjectPtr& current) {
        if (!current) throw Tolm::InternalError();
        auto found = runtimeContexts.find(Util::CiString(current->name));
        if (found != runtimeContexts.end()) {
            // The same project reached through a second import has its context.
            if (found->second.project == current) return;
            throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::NamespaceTwice), current->name));
        }
        runtimeContexts.emplace(Util::CiString(current->name),
                                ProjectRuntimeContext{current, CreateImplicitContextForProject(current)});
        for (const Tolm::ProjectPtr& imported : current->importedProjects) addProject(imported);
    };
    addProject(project);
}

Tolm::ContextPtr TolmApplication::CreateImplicitContextForProject(const Tolm::ProjectPtr& current) {
    if (!current) throw Tolm::InternalError();
    auto context = std::make_shared<Tolm::Context>();
    context->addAssignments(builtinContext);
    context->addAssignment(textSetting("project_root", current->projectFile.parent_path().string()), 0);
    const Util::CiString defaultName("default");
    if (auto fallback = current->profiles.find(defaultName); fallback != current->profiles.end())
        addProfile(*context, fallback->second);
    if (!current->selectedProfile.empty()) {
        auto chosen = current->profiles.find(Util::CiString(current->selectedProfile));
        if (chosen == current->profiles.end()) throw Tolm::NotFoundException("profile", current->selectedProfile);
        // The default profile chosen by name is applied once: twice would
        // repeat every "+=" of it.
        if (chosen->first != defaultName) addProfile(*context, chosen->second);
        context->addAssignment(textSetting("PROFILE", current->selectedProfile), 0);
    }
    if (!commandMode) context->addAssignments(commandLineContext);
    return context;
}
