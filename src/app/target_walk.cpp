// The target walk: one visit per target instance, depth first, all on the
// main thread. A visit evaluates the target's context on top of its
// project's runtime context, chooses a tool, walks the dependencies first and
// feeds their outputs in, resolves, asks the cache what is left to build,
// runs those jobs and returns the target's output context.
//
// Targets are named by their completed name (the unit registry fills in an
// empty namespace and unit, and spells each part as declared) from the
// lookup on: the loop check, the cache record and the tools' output
// directories all see the namespace, so two projects' targets of the same
// unit and name never meet, and every spelling of a reference builds the
// same files. Each target instance is walked once per build; a later
// reference reuses the outputs of its first visit (visit_chain.h).

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "app/build_cache.h"
#include "app/build_interrupt.h"
#include "app/build_jobs.h"
#include "app/cache_claim.h"
#include "app/dependency_list.h"
#include "app/dependency_outputs.h"
#include "app/dependency_targets.h"
#include "app/gathered_variables.h"
#include "app/output_owners.h"
#include "app/recipe_check.h"
#include "app/reference_errors.h"
#include "app/visit_chain.h"
#include "tolm_app.h"
#include "tools/matcher.h"
#include "types/target_context.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/value_casts.h"
#include "types/value_factories.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"
#include "util/ci_string.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Visiting = "Visiting target\n";
constexpr const char* NoTool = "No tool to build {}.";
constexpr const char* Filtering = "Filtering context.\n";
constexpr const char* Claiming = "Claiming variable '{}'.\n";
constexpr const char* SecondAssignment = "Second try adding implicit assignment {}.\n";
constexpr const char* SecondAppend = "Second try adding implicit append {}.\n";
constexpr const char* InputContext = "Input context:\n";
constexpr const char* OutputContext = "Output context:\n";
constexpr const char* Done = "Build done\n";
}  // namespace Messages

using Tolm::Assignment;
using Type = Assignment::AssignType;
using AssignmentsByName = std::map<Util::CiString, Assignment>;

// No operator override: each assignment keeps its own.
constexpr Type OwnType = static_cast<Type>(0);

std::string literalOf(const Tolm::TolmValuePtr& value) { return value ? value->toLiteral() : std::string(); }

Assignment setCopy(const std::string& name, const Tolm::TolmValuePtr& value, std::uint32_t modifier) {
    return Assignment(name, value ? value->clone() : nullptr, Type::Set, modifier);
}

// The matcher's variables and requirements with their defaults, and its
// conditional blocks.
Tolm::Context defaultsOf(const Tolm::Matcher& matcher) {
    std::vector<Assignment> assignments;
    for (const auto& [name, assignment] : matcher.variables) assignments.push_back(assignment);
    for (const auto& [name, assignment] : matcher.required) assignments.push_back(assignment);
    return Tolm::Context(assignments, matcher.conditions);
}

// The values the target itself gives its output variables, before the
// runtime context's values of the same names are merged in.
AssignmentsByName rememberOwnOutputs(const Tolm::TargetContext& target, const Tolm::Context& base) {
    AssignmentsByName remembered;
    for (const auto& [key, assignment] : target.assignments) {
        if (assignment.modifier != Assignment::OutputModifier || base.assignments.count(key) == 0) continue;
        remembered.insert_or_assign(key, setCopy(assignment.name, assignment.value, assignment.modifier));
    }
    return remembered;
}

// Which of the runtime context's variables the Builder would claim; only
// reported.
void reportClaimedVariables(const Tolm::Builder& builder, const Tolm::Context& base) {
    const Tolm::MatchResult claims = builder.matchTarget(base);
    Log::log(1, fmt::runtime(Messages::Filtering));
    for (const auto& [name, entry] : claims.scores)
        if (entry.claimed == 1) Log::log(1, fmt::runtime(Messages::Claiming), name);
}

void append(std::vector<Assignment>& list, std::vector<Assignment>&& more) {
    for (Assignment& assignment : more) list.push_back(std::move(assignment));
}

// The files of the target's output variables whose values it received from a
// dependency's outputs, whether or not any target of the run writes them.
std::vector<std::string> passedOnFiles(const Tolm::TargetContext& target) {
    std::vector<std::string> files;
    for (const auto& [key, assignment] : target.assignments)
        if (assignment.modifier == Assignment::OutputModifier) collectReceivedPaths(assignment.value, files);
    return files;
}

// The names a block sets, in its conditional blocks too.
void collectSetNames(const Tolm::ContextTemplate& block, std::set<Util::CiString>& names) {
    for (const Assignment& assignment : block.assignments) names.emplace(assignment.name);
    for (const auto& [condition, nested] : block.conditions)
        if (nested) collectSetNames(*nested, names);
}

// The variables the target has from its project's runtime context alone
// (built-in variables, profiles, command-line assignments), which it does
// not set itself.
std::set<Util::CiString> inheritedNames(const Tolm::Target& target, const Tolm::Context& base) {
    std::set<Util::CiString> own(target.parameters.begin(), target.parameters.end());
    collectSetNames(target, own);
    std::set<Util::CiString> inherited;
    for (const auto& [key, assignment] : base.assignments)
        if (own.count(key) == 0) inherited.insert(key);
    return inherited;
}

// The files the target's inputs name, in any recipe or the context all its
// jobs share, but those of the variables it only inherits: a profile's path
// that an output takes is the target's own output (one it only reads, the
// target names itself).
std::vector<std::string> inputFilesOf(const CacheClaim& claim, const std::set<Util::CiString>& inherited) {
    std::vector<std::string> files;
    const auto collect = [&](const Assignment& input) {
        if (inherited.count(Util::CiString(input.name)) == 0) collectDependedPaths(input.value, files);
    };
    for (const auto& [key, recipe] : claim.recipes)
        for (const Tolm::CachedInput& input : recipe.inputs) collect(input.input);
    for (const Assignment& assignment : claim.context) collect(assignment);
    return files;
}

// The claim's job contexts with the files their recipes declare as outputs,
// but those received from dependencies (a failed job must not remove them),
// and apart those the target also reads (a command editing its input in
// place), which a failed job removes only where the target made them: one
// that was there before may be the user's only copy. `history` gets the
// target's input files and the outputs its jobs made before.
std::vector<BuildJob> jobsOf(CacheClaim& claim, const std::vector<std::string>& received,
                             const std::set<Util::CiString>& inherited, TargetFileHistory& history) {
    std::vector<BuildJob> jobs;
    if (claim.jobContexts.empty()) return jobs;
    history.inputFiles = inputFilesOf(claim, inherited);
    history.madeFiles = claim.madeFiles;
    const std::vector<std::string>& read = history.inputFiles;
    for (std::size_t i = 0; i < claim.jobContexts.size(); ++i) {
        BuildJob& job = jobs.emplace_back(BuildJob{std::move(claim.jobContexts[i]), {}, false, {}, &history, {}});
        if (i >= claim.jobRecipes.size()) continue;
        std::vector<std::string> declared;
        for (std::uint64_t key : claim.jobRecipes[i])
            if (const Tolm::CachedRecipe* recipe = claim.recipes.find(key))
                for (const Assignment& output : recipe->outputs) collectDependedPaths(output.value, declared);
        declared = ownOutputFiles(std::move(declared), received);
        job.outputFiles = ownOutputFiles(declared, read);
        const std::set<std::string> written(job.outputFiles.begin(), job.outputFiles.end());
        for (std::string& file : declared)
            if (written.count(file) == 0) job.readFiles.push_back(std::move(file));
    }
    return jobs;
}

// The outputs the target's jobs made, now and before, that it still writes,
// each as a job last left it: what its record keeps.
std::vector<MadeFile> madeOutputs(const CacheClaim& claim, const std::vector<BuildJob>& jobs,
                                  const std::vector<std::string>& outputs) {
    std::map<std::string, MadeFile> made;
    for (const MadeFile& file : claim.madeFiles) made.emplace(file.path, file);
    for (const BuildJob& job : jobs)
        for (const MadeFile& file : job.madeFiles) made.insert_or_assign(file.path, file);
    if (made.empty()) return {};
    const std::set<std::string> written(outputs.begin(), outputs.end());
    std::vector<MadeFile> kept;
    for (auto& [path, file] : made)
        if (written.count(path) != 0) kept.push_back(std::move(file));
    return kept;
}

// A value with every path of it, in lists too, a text of the same words.
Tolm::TolmValuePtr pathsAsTexts(const Tolm::TolmValuePtr& value) {
    if (const auto* path = Tolm::valueAs<Tolm::TolmPathString>(value.get()))
        return Tolm::makeStringValue(path->fullPath().string());
    if (const auto* list = Tolm::valueAs<Tolm::TolmList>(value.get())) {
        std::vector<Tolm::TolmValuePtr> items;
        for (const Tolm::TolmValuePtr& item : list->items()) items.push_back(pathsAsTexts(item));
        return Tolm::makeListValue(std::move(items));
    }
    return value;
}

// Every file the claim's recipes write, but those received from dependencies.
std::vector<std::string> outputFilesOf(const CacheClaim& claim, const std::vector<std::string>& received) {
    std::vector<std::string> files;
    for (const auto& [key, recipe] : claim.recipes)
        for (const Assignment& output : recipe.outputs) collectDependedPaths(output.value, files);
    return ownOutputFiles(std::move(files), received);
}

// The instance as the messages name it: the display name, behind its project
// for a target of an imported one, and the instance hash (its output
// directory's suffix) for a parameterised one.
std::string ownerName(const Tolm::TargetContext& target, const std::string& displayName,
                      const std::string& mainNamespace) {
    std::string owner =
        Util::ciEquals(target.name.ns, mainNamespace) ? displayName : target.name.ns + "/" + displayName;
    return target.instanceText.empty() ? owner : owner + "@" + target.instanceHash();
}

// The recipes of the jobs that succeeded.
std::vector<std::uint64_t> completedRecipes(const CacheClaim& claim, const std::vector<BuildJob>& jobs) {
    std::vector<std::uint64_t> completed;
    for (std::size_t i = 0; i < jobs.size() && i < claim.jobRecipes.size(); ++i) {
        const std::vector<std::uint64_t>& keys = claim.jobRecipes[i];
        if (jobs[i].succeeded) completed.insert(completed.end(), keys.begin(), keys.end());
    }
    return completed;
}

}  // namespace

Tolm::ContextPtr TolmApplication::BuildTarget(Tolm::QualifiedTargetName name,
                                              const std::vector<Tolm::TolmValuePtr>& parameters, VisitChain& chain) {
    // 1. Look the target up, completing its name as declared, and enter it
    // on the chain.
    BuildInterrupt::throwIfCaught();
    const Tolm::Target& target = unitRegistry.getDeclaredTarget(name);
    VisitChain::Visit visit(chain, name.toString());
    // An instance walked before in this build gives that visit's outputs
    // again, silently: it was built, or found up to date, then.
    const std::string instance = instanceKey(name, parameters);
    if (auto walked = chain.walked.find(instance); !instance.empty() && walked != chain.walked.end())
        return std::make_shared<Tolm::Context>(walked->second);
    const std::string displayName = name.unit + "::" + name.target;
    Log::IndentGuard prefix("[" + displayName + "] ");
    Log::log(5, fmt::runtime(Messages::Visiting));

    // 2. The target's context on top of its project's. The target takes its
    // own copies of those values; the runtime context itself never changes.
    const Tolm::Context* runtime = &implicitContext;
    if (project) {
        auto found = runtimeContexts.find(Util::CiString(name.ns));
        if (found == runtimeContexts.end() || !found->second.context)
            throw Tolm::NotFoundException("project namespace", name.ns);
        runtime = found->second.context.get();
    }
    const Tolm::Context& base = *runtime;
    auto targetContext = std::make_shared<Tolm::TargetContext>(target, parameters);
    targetContext->name = name;
    AssignmentsByName remembered = rememberOwnOutputs(*targetContext, base);
    std::vector<Assignment> implicitAssignments = targetContext->addImplicitContext(base, OwnType, true, 0);

    // 3. The tool, its defaults where the target sets nothing, and its Builder.
    Tolm::Matcher* matcher = SelectTool(*targetContext);
    if (!matcher) throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::NoTool), displayName));
    targetContext->addImplicitContext(defaultsOf(*matcher), Type::SetIfEmpty, true, 1);
    const std::shared_ptr<Tolm::Builder> builder = matcher->selectBuilder(*targetContext);
    if (!builder) throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::NoTool), displayName));
    PrintToolSelection(*matcher, *builder, builder->matchTarget(*targetContext));
    reportClaimedVariables(*builder, base);

    // 4. Dependencies first; their outputs become variables of this target.
    targetContext->evaluateConditions();
    DependencyOutputStore outputs(targetContext, name);
    std::vector<Assignment> implicitAppends;
    // The files that reach this target's output variables from its
    // dependencies: all those of its `+` dependencies, and (step 6) those an
    // output variable passes on.
    std::vector<std::string> received;
    const std::vector<Tolm::Dependency> dependencies = createDependencyList(*targetContext);
    const std::vector<PlannedDependency> plan = planDependencies(dependencies, name);
    checkDependencyTargets(unitRegistry, name, plan);
    checkUnitReferences(*targetContext, displayName, plan);
    checkOutputNames(*targetContext, displayName, plan);
    for (const PlannedDependency& planned : plan) {
        const Tolm::Dependency& dependency = *planned.dependency;
        const Tolm::QualifiedTargetName& childName = planned.name;
        std::vector<Tolm::TolmValuePtr> childParameters;
        if (dependency.source) childParameters.push_back(dependency.source);
        try {
            for (const Tolm::Identifier& parameter : dependency.parameters)
                childParameters.push_back(targetContext->lookup(parameter));
        } catch (...) {
            rethrowReferenceFailure(displayName, outputs);
        }
        const Tolm::ContextPtr childOutput = BuildTarget(childName, childParameters, chain);
        // A context of this visit's own, so the marks reach no other target.
        markReceivedOutputs(*childOutput);
        if (dependency.aliasKind == 2)
            outputs.addMergedAliasOutput(dependency, childName, childOutput);
        else
            outputs.addOutput(dependency, childName, childOutput);
        if (dependency.modifier == 1)
            append(implicitAppends, targetContext->addImplicitContext(*childOutput, Type::Append, false, 0));
        // Only a tool that takes the target's output variables as its
        // outputs can list a received file among them; any other tool's
        // outputs are its own.
        if (builder->outputsAreTargetVariables() && dependency.modifier == 1)
            for (const auto& [key, assignment] : childOutput->assignments)
                collectDependedPaths(assignment.value, received);
    }

    // 5. Resolve, then retry what could not be merged before resolution.
    try {
        targetContext->resolveVariables();
        for (const Assignment& leftover : implicitAssignments) {
            Log::log(1, fmt::runtime(Messages::SecondAssignment), literalOf(leftover.value));
            const Tolm::TolmValuePtr current = Tolm::getVariable(*targetContext, leftover.name);
            const Assignment& own = targetContext->assignments.at(Util::CiString(leftover.name));
            remembered.insert_or_assign(Util::CiString(leftover.name), setCopy(own.name, current, own.modifier));
            targetContext->addAssignment(leftover, 0);
        }
        for (const Assignment& leftover : implicitAppends) {
            Log::log(1, fmt::runtime(Messages::SecondAppend), literalOf(leftover.value));
            targetContext->addAssignment(leftover, 0);
        }
        outputs.retryMergedAppends();
    } catch (...) {
        rethrowReferenceFailure(displayName, outputs);
    }
    Log::log(3, fmt::runtime(Messages::InputContext));
    targetContext->dump(3);

    // 6. Build what the cache does not cover, unless another instance of
    // this run writes one of the same files. When a job fails, what the jobs
    // that succeeded built is kept in the record.
    CacheClaim claim;
    std::vector<BuildJob> jobs{BuildJob{targetContext, {}, false, {}, nullptr, {}}};
    TargetFileHistory history;
    std::string owner;
    if (buildCache) {
        owner = ownerName(*targetContext, displayName, unitRegistry.defaultNamespace);
        if (builder->outputsAreTargetVariables()) {
            const std::vector<std::string> passed = passedOnFiles(*targetContext);
            received.insert(received.end(), passed.begin(), passed.end());
        }
        std::set<Util::CiString> inherited;
        if (builder->outputsAreTargetVariables()) {
            inherited = inheritedNames(target, base);
            // Such a tool takes every variable of the target for an input. A
            // profile's variable that the target neither sets nor is given on
            // the command line counts by its text, as it always did: every
            // path of the profile (the project's directory, a file a target
            // writes, one not made yet) would otherwise hold up every such
            // target. One the target takes (`IN = SRCS`) is its own: a file.
            for (const Util::CiString& name : inherited) {
                if (commandLineContext.assignments.count(name) != 0) continue;
                auto found = targetContext->assignments.find(name);
                if (found != targetContext->assignments.end() && found->second.value)
                    found->second.value = pathsAsTexts(found->second.value);
            }
        }
        claim = ClaimCachedBuild(*builder, *targetContext);
        jobs = jobsOf(claim, received, inherited, history);
    }
    const Tolm::ContextPtr result = std::make_shared<Tolm::Context>();
    Tolm::Context& output = *result;
    std::vector<std::string> outputFiles;
    try {
        if (buildCache) {
            outputFiles = outputFilesOf(claim, received);
            chain.outputOwners.claim(outputFiles, owner);
            // Kept only where the record learns what the jobs made: a hit
            // frees them at once.
            if (claim.claimToken == 0) outputFiles = std::vector<std::string>();
        }
        runBuildJobs(*builder, jobs, displayName, output);
    } catch (...) {
        if (claim.claimToken != 0) {
            claim.madeFiles = madeOutputs(claim, jobs, outputFiles);
            releaseFailedClaim(*buildCache, targetContext->instanceName(), claim, completedRecipes(claim, jobs),
                               buildCache->fileTimes);
        }
        throw;
    }

    // 7. With a cache, the outputs are the recipes' (so a hit gives what a
    // build gives), in recipe order; then the target's own output variables.
    if (buildCache) {
        output.assignments.clear();
        output.conditions.clear();
        std::vector<const Assignment*> produced;
        for (const auto& [key, recipe] : claim.recipes)
            for (const Assignment& assignment : recipe.outputs) produced.push_back(&assignment);
        mergeGathered(output, produced);
        if (claim.claimToken != 0) {
            claim.madeFiles = madeOutputs(claim, jobs, outputFiles);
            releaseCacheClaim(*buildCache, targetContext->instanceName(), claim, buildCache->fileTimes);
        }
    }
    for (const auto& [key, assignment] : targetContext->assignments) {
        if (assignment.modifier != Assignment::OutputModifier) continue;
        auto kept = remembered.find(key);
        output.addAssignment(kept != remembered.end() ? kept->second : assignment, 0);
    }
    Log::log(3, fmt::runtime(Messages::OutputContext));
    output.dump(3);
    Log::log(5, fmt::runtime(Messages::Done));
    if (!instance.empty()) chain.walked.emplace(instance, output);
    return result;
}
