#pragma once

// The application object: one instance lives on main's stack for the whole
// run. It holds the parsed options and everything the run loads (project,
// registry, units, tools, cache); each step of the run works on it.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "types/context.h"
#include "types/qualified_target_name.h"
#include "util/ci_string.h"

namespace Tolm {
struct Project;
using ProjectPtr = std::shared_ptr<Project>;
struct Unit;
struct Profile;
class Matcher;
class ContextTemplate;
}  // namespace Tolm

class TolmRegistry;

// The runtime context of one project of the build: the implicit variables
// every target of that project starts from.
struct ProjectRuntimeContext {
    Tolm::ProjectPtr project;
    Tolm::ContextPtr context;
};

// A tool definition on its way into the tool set: where it came from is kept
// for the messages about overridden or unusable tools.
struct ToolDeclaration {
    std::string name;
    std::shared_ptr<Tolm::ContextTemplate> context;
    std::string origin;
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

    // Project root directory; holds the cache file. Must stay the first member.
    std::filesystem::path projectRoot;
    // The project file that was found; empty means no project.
    std::filesystem::path projectFile;
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
    // One entry per project of the build, keyed by its namespace.
    std::map<Util::CiString, ProjectRuntimeContext> runtimeContexts;
    bool rootUnitsLoaded = false;
    // Built-in variables such as os_family and project_root.
    Tolm::Context builtinContext;
    // Assignments given as positional words.
    Tolm::Context commandLineContext;
    // Context of a build without a project file.
    Tolm::Context implicitContext;
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
