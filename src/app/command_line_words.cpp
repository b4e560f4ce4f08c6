// The positional words of "tolm [options] target? [assignment]*".
//
// Each word is, in this order of preference, the target to build (any form
// that resolves against the loaded units), a profile of the root project, or
// an assignment written in the language. A word is classified against what
// the words before it left, and never tried as more than one kind. A bare
// name that is neither (nor a unit) is declared, and the run says so. The
// profile is chosen once before the imports are resolved, since a profile
// decides which imports apply; the words are applied in full once every unit
// is loaded.

#include <memory>
#include <string>

#include "parser/parse_assignment.h"
#include "tolm_app.h"
#include "types/profile.h"
#include "types/project.h"
#include "types/tolm_exceptions.h"
#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* UsingProfile = "Using profile '{}'.\n";
constexpr const char* ProfileTwice = "Profile already set to '{}'. It can only be set once.";
constexpr const char* TargetChanged = "Main target changed from {} to {}.\n";
constexpr const char* SecondTarget = "Only one target name can be specified\n";
constexpr const char* Assignment = "Identified assignment '{}'.\n";
constexpr const char* UnknownWord = "'{}' is no target, unit or profile: declared as a variable.\n";
}  // namespace Messages

// Command-line path literals are taken in the current directory.
constexpr const char* kAssignmentSource = ".";

const Tolm::Profile* findProfile(const Tolm::ProjectPtr& project, const std::string& word) {
    if (!project) return nullptr;
    auto found = project->profiles.find(Util::CiString(word));
    return found == project->profiles.end() ? nullptr : &found->second;
}

// Makes `profile` the active one. Naming the active profile again is
// accepted only when `sameAgain` says so; any other second profile fails.
void activateProfile(TolmApplication& app, const Tolm::Profile& profile, const std::string& word,
                     bool sameAgain) {
    Log::log(LogLevel::Trace, Messages::UsingProfile, word);
    if (app.activeProfile) {
        if (sameAgain && Util::ciEquals(app.activeProfile->name, profile.name)) return;
        throw Tolm::TolmException(fmt::format(Messages::ProfileTwice, app.activeProfile->name));
    }
    app.activeProfile = std::make_shared<Tolm::Profile>(profile);
    app.project->selectedProfile = profile.name;
}

bool namesUnit(const Tolm::UnitRegistry& registry, const std::string& name) {
    for (const auto& [ns, units] : registry.units)
        if (units.count(Util::CiString(name))) return true;
    return false;
}

}  // namespace

// Only the root project's units are loaded at this point, so only its
// targets keep a word from being taken as a profile.
void TolmApplication::SetProfile() {
    for (const std::string& word : arguments) {
        if (unitRegistry.hasTarget(word)) continue;
        if (const Tolm::Profile* profile = findProfile(project, word))
            activateProfile(*this, *profile, word, false);
    }
}

void TolmApplication::ApplyCommandLineArguments() {
    bool targetGiven = false;
    for (const std::string& word : arguments) {
        if (unitRegistry.hasTarget(word)) {
            if (targetGiven) {
                Log::log(LogLevel::Error, Messages::SecondTarget);
                continue;
            }
            targetGiven = true;
            Log::log(LogLevel::Trace, Messages::TargetChanged, mainTarget.toString(), word);
            // Only the parts the word spells out change.
            const Tolm::QualifiedTargetName named = Tolm::QualifiedTargetName::fromString(word);
            if (!named.ns.empty()) mainTarget.ns = named.ns;
            if (!named.unit.empty()) mainTarget.unit = named.unit;
            mainTarget.target = named.target;
            continue;
        }
        if (const Tolm::Profile* profile = findProfile(project, word)) {
            activateProfile(*this, *profile, word, true);
            continue;
        }
        const Tolm::Assignment assignment = parseAssignment(word, kAssignmentSource);
        commandLineContext.addAssignment(assignment, 0);
        Log::log(LogLevel::Trace, Messages::Assignment, assignment.toString());
        // A bare name is often a mistyped target; declaring it is still what
        // was asked for (a tool may test for the variable), so it is only said.
        if (assignment.type == Tolm::Assignment::AssignType::Declare && !namesUnit(unitRegistry, assignment.name))
            Log::log(LogLevel::Info, Messages::UnknownWord, assignment.name);
    }
}
