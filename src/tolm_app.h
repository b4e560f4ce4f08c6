#pragma once

// The application object: one instance lives on main's stack for the whole
// run. It holds the parsed options and everything the run loads (project,
// registry, units, tools, cache); each step of the run works on it.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/unit_registry.h"
#include "types/context.h"
#include "types/qualified_target_name.h"
#include "util/ci_string.h"

namespace Tolm {
struct Project;
using ProjectPtr = std::shared_ptr<Project>;
struct Unit;
struct Profile;
class Matcher;
class Builder;
struct MatchResult;
class ContextTemplate;
class TargetContext;
}  // namespace Tolm

class TolmRegistry;
struct BuildCache;
struct BuildJob;
struct CacheClaim;
struct VisitChain;

// The runtime context of one project of the build: the implicit variables
// every target of that project starts from.
struct ProjectRuntimeContext {
    Tolm::ProjectPtr project;
    Tolm::ContextPtr context;
};

// A tool definition on its way into the tool set: where it came from is kept
// for the messages about overridden or unusable tools, and for selection,
// which prefers the project's own tools to the registry's.
struct ToolDeclaration {
    std::string name;
    std::shared_ptr<Tolm::ContextTemplate> context;
    std::string origin;
    // Defined by the project tree; otherwise by the user registry.
    bool fromProject = false;
};

class TolmApplication {
public:
    TolmApplication();
    ~TolmApplication();
    TolmApplication(const TolmApplication&) = delete;
    TolmApplication& operator=(const TolmApplication&) = delete;

    // Fills the option fields and `arguments` from argv[1..argc-1]. Throws on
    // a missing option argument; "-h" prints the usage text and exits with 0.
    void ParseCommandLine(int argc, const char* const* argv);

    // Runs the one mode the options select, after the command line is parsed.
    // Returns the exit status; failures travel as exceptions.
    int Run();

    // Loads one unit file; a relative path is taken below `projectRoot`.
    std::shared_ptr<Tolm::Unit> LoadUnitFile(const std::filesystem::path& unitFile);

    // --- Project discovery and loading --------------------------------------
    // Sets projectRoot and, when a project file is found, projectFile.
    void FindProjectFile(const std::filesystem::path& rootOverride);
    // Finds the project and, when there is one, loads it with its units, the
    // profile the positional words choose and its imports.
    void LoadRootProject();
    // The name of the project's first unit entry; "" without units.
    static std::string FirstUnitName(const Tolm::ProjectPtr& project);
    void LoadProjectUnits(const Tolm::ProjectPtr& project);
    void LoadProjectTreeUnits(const Tolm::ProjectPtr& project);
    // The units of the whole run, and the default main target.
    void LoadUnits();
    // Chooses the active profile from the positional words.
    void SetProfile();
    // Builds the project's imported projects, recursively.
    void ResolveProjectImports(const Tolm::ProjectPtr& project);

    // --- User registry ------------------------------------------------------
    // Creates and fills `registry`; never fails (problems are logged).
    void LoadRegistry();
    // The "-r" action.
    void RegisterProject();
    // Throws unless the registry loaded and may be written back: a registry
    // file that could not be read is never overwritten.
    void RequireWritableRegistry() const;
    // Applies `change` to the registry as the file holds it now and rewrites
    // the file, all under the registry lock, so changes of runs at once all
    // land. Call RequireWritableRegistry first.
    void UpdateRegistry(const std::function<void(TolmRegistry&)>& change);
    // Why `registry` could not be loaded; empty when it loaded.
    std::string registryLoadFailure;

    // --- Implicit variables, tools, command-line words, project creation ----
    void CreateImplicitContext();
    void CreateStaticTools();
    void AddTool(const ToolDeclaration& declaration);
    void AddProjectTools(const Tolm::ProjectPtr& project);
    void ApplyCommandLineArguments();
    // "--create-project": an empty name is taken from the current directory.
    void CreateProjectFile(std::string& projectName);

    // --- The build -----------------------------------------------------------
    // Runtime contexts, the walk of the main target and the "-o" file.
    void StartBuild();
    void CreateProjectRuntimeContexts();
    Tolm::ContextPtr CreateImplicitContextForProject(const Tolm::ProjectPtr& project);
    // Visits one target instance and returns its output context, one the
    // caller may change: a later visit of the instance gets a copy of its own.
    Tolm::ContextPtr BuildTarget(Tolm::QualifiedTargetName name, const std::vector<Tolm::TolmValuePtr>& parameters,
                                 VisitChain& chain);
    // The best possible tool for the target; null when none is possible.
    Tolm::Matcher* SelectTool(const Tolm::TargetContext& target);
    void PrintToolSelection(const Tolm::Matcher& matcher, const Tolm::Builder& builder,
                            const Tolm::MatchResult& result) const;
    // Checks the target's recipes against its cache record.
    CacheClaim ClaimCachedBuild(Tolm::Builder& builder, const Tolm::TargetContext& target);
    // Runs the jobs' commands on worker threads and merges their outputs;
    // marks each job that succeeded, also when it throws.
    void runBuildJobs(Tolm::Builder& builder, std::vector<BuildJob>& jobs, const Util::CiString& name,
                      Tolm::Context& output);

    // Project root directory; holds the cache file. Must stay the first member.
    std::filesystem::path projectRoot;
    // The project file that was found; empty means no project.
    std::filesystem::path projectFile;
    // The loaded units, with the defaults that complete a target reference.
    Tolm::UnitRegistry unitRegistry;
    // The target to build; set by unit loading and the positional words.
    Tolm::QualifiedTargetName mainTarget;
    // Number given to the next unit that has no name.
    int unitCounter = 1;
    // Unit file used without a project file; "-f" replaces it, "-c" empties it.
    std::filesystem::path defaultUnitFile = "tolm.txt";
    // 0: search upward from the current directory, 1: directory of the "-f"
    // file, 2: no search ("-c").
    int searchMode = 0;
    // Positional words in command-line order.
    std::vector<std::string> arguments;
    // The root project, when a project file was found.
    Tolm::ProjectPtr project;
    std::shared_ptr<TolmRegistry> registry;
    // Unit files already loaded, each with its unit name.
    std::map<std::filesystem::path, std::string> loadedUnitFiles;
    std::map<Util::CiString, std::shared_ptr<Tolm::Matcher>> tools;
    // The names in `tools` defined by the registry and by the project tree;
    // the built-in tools are in neither. While a project tool can build a
    // target, the registry's tools stay out of its selection.
    std::set<Util::CiString> registryTools;
    std::set<Util::CiString> projectTools;
    // One entry per project of the build, keyed by its namespace.
    std::map<Util::CiString, ProjectRuntimeContext> runtimeContexts;
    bool rootUnitsLoaded = false;
    // Built-in variables such as os_family and project_root.
    Tolm::Context builtinContext;
    // Assignments given as positional words.
    Tolm::Context commandLineContext;
    // Context of a build without a project file.
    Tolm::Context implicitContext;
    // Made only on the build path.
    std::unique_ptr<BuildCache> buildCache;
    std::shared_ptr<Tolm::Profile> activeProfile;
    // Log threshold given by "-v"; the log's own threshold is kept equal.
    int verbosity = 5;
    // Worker limit given by "-j"; 0 is kept as given.
    int jobs = 1;
    bool commandMode = false;
    bool dumpContexts = false;
    // A non-empty unit name selects the target list.
    std::string listTargetsUnit;
    bool listUnits = false;
    bool listProfiles = false;
    bool createProject = false;
    bool registerProject = false;
    bool findCompilersMode = false;
    bool showVersion = false;
    // File that receives the main target's outputs ("-o").
    std::string outputsFile;
    int exactMatchScore = 2;
    int partialMatchScore = 1;
    int noMatchScore = 0;
};
