#include "app/recipe_check.h"

#include <optional>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "types/tolm_base_string.h"
#include "types/tolm_context.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_raw_string.h"
#include "types/tolm_string.h"
#include "types/value_casts.h"
#include "util/ci_string.h"

namespace {

bool sameContexts(const Tolm::Context& a, const Tolm::Context& b) {
    if (&a == &b) return true;
    if (a.assignments.size() != b.assignments.size()) return false;
    for (auto left = a.assignments.begin(), right = b.assignments.begin(); left != a.assignments.end();
         ++left, ++right)
        if (!sameCachedAssignment(left->second, right->second)) return false;
    return true;
}

bool sameLists(const Tolm::TolmList& a, const Tolm::TolmList& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!sameCachedValue(a.items()[i], b.items()[i])) return false;
    return true;
}

// The kind a value compares as. The cache file can carry a text holding a
// double quote only as a raw text, so a plain and a raw text are one kind;
// a path stays a kind of its own.
const std::type_info& kindOf(const Tolm::TolmValue& value) {
    if (Tolm::valueAs<Tolm::TolmRawString>(&value)) return typeid(Tolm::TolmString);
    return typeid(value);
}

// The file a path value names: its text, joined to its base directory unless
// the text is absolute or there is no base (resolved paths have none).
std::string pathOf(const Tolm::TolmPathString& value) { return Tolm::joinedPathText(value.baseDirectory.native(), value.text); }

bool samePath(const Tolm::TolmPathString& a, const Tolm::TolmPathString& b) {
    // Equal texts name the same file when both stand alone or share a base;
    // only other spellings ("a//b", "a/./b") need the lexical comparison.
    const bool alone = (a.baseDirectory.empty() || a.text.starts_with('/')) &&
                       (b.baseDirectory.empty() || b.text.starts_with('/'));
    if (a.text == b.text && (alone || a.baseDirectory == b.baseDirectory)) return true;
    return std::filesystem::path(pathOf(a)).lexically_normal() == std::filesystem::path(pathOf(b)).lexically_normal();
}

bool sameContent(const Tolm::TolmValue& a, const Tolm::TolmValue& b) {
    if (auto* path = Tolm::valueAs<Tolm::TolmPathString>(&a))
        return samePath(*path, static_cast<const Tolm::TolmPathString&>(b));
    if (auto* text = Tolm::valueAs<Tolm::TolmBaseString>(&a))
        return text->text == static_cast<const Tolm::TolmBaseString&>(b).text;
    if (auto* list = Tolm::valueAs<Tolm::TolmList>(&a))
        return sameLists(*list, static_cast<const Tolm::TolmList&>(b));
    if (auto* nested = Tolm::valueAs<Tolm::TolmContext>(&a)) {
        const auto& other = static_cast<const Tolm::TolmContext&>(b);
        if (!nested->context || !other.context) return nested->context == other.context;
        return sameContexts(*nested->context, *other.context);
    }
    // Integers and anything else: the written form decides.
    return a.toLiteral() == b.toLiteral();
}

// The files the values name, in order.
std::vector<std::string> pathsOf(const std::vector<Tolm::Assignment>& values) {
    std::vector<std::string> paths;
    for (const Tolm::Assignment& value : values) collectDependedPaths(value.value, paths);
    return paths;
}

std::vector<std::string> inputPathsOf(const Tolm::CachedRecipe& recipe) {
    std::vector<std::string> paths;
    for (const Tolm::CachedInput& input : recipe.inputs) collectDependedPaths(input.input.value, paths);
    return paths;
}

std::vector<FileTime> timesOf(const std::vector<std::string>& paths, const FileTimes& times) {
    std::vector<FileTime> written;
    written.reserve(paths.size());
    for (const std::string& path : paths) written.push_back(times.lastWriteTime(path));
    return written;
}

// Whether the stored job left output `i` a regular file: the record holds
// its content. A record without contents (an older cache file) tells none.
bool leftFile(const StoredRecipe& stored, std::size_t i) {
    return i < stored.outputFingerprints.size() && stored.outputFingerprints[i];
}

// Whether output `i` is a directory the stored job left: a directory now,
// which the record holds a time but no content for. What the path is now
// alone does not tell: a file replaced by a directory is no output of the
// job. A record without contents tells no directory apart.
bool directoryOutput(const StoredRecipe& stored, const std::vector<FileStatus>& now, std::size_t i) {
    return now[i].directory && i < stored.outputTimes.size() && stored.outputTimes[i] &&
           i < stored.outputFingerprints.size() && !stored.outputFingerprints[i];
}

// The earliest of the output times (stored or present) but those of
// directory outputs: a directory's time says nothing of when its job ran.
// None when there is none or a file is missing.
FileTime earliestDated(const std::vector<FileTime>& written, const std::vector<FileStatus>& now,
                       const StoredRecipe& stored) {
    FileTime first;
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (directoryOutput(stored, now, i)) continue;
        if (!written[i]) return std::nullopt;
        if (!first || *written[i] < *first) first = written[i];
    }
    return first;
}

// Whether the outputs are as the stored job left them: each file with its
// stored time, or written since with the same content, but not after this
// run began (a time ahead of the clock would hold up every later check);
// each directory while it is one. Appends the places of the outputs taken
// by their content to `alike`.
bool outputsAsLeft(const std::vector<std::string>& paths, const std::vector<FileStatus>& now,
                   const StoredRecipe& stored, const FileTimes& times, const RunChecks& run,
                   std::vector<std::size_t>& alike) {
    if (now.size() != stored.outputTimes.size()) return false;
    for (std::size_t i = 0; i < now.size(); ++i) {
        // A directory's time moves with every entry made, renamed or removed
        // in it, by this job, another project's run of it or any other job
        // writing there: no time of it can be expected.
        if (directoryOutput(stored, now, i)) continue;
        const FileTime& written = now[i].time;
        // A directory in place of a file the job left is none of its
        // outputs, whatever its time.
        if (written == stored.outputTimes[i] && !(now[i].directory && leftFile(stored, i))) continue;
        if (!written || !stored.outputTimes[i] || *written > run.start) return false;
        if (i >= stored.outputFingerprints.size() || !stored.outputFingerprints[i]) return false;
        if (times.contentFingerprint(paths[i]) != stored.outputFingerprints[i]) return false;
        alike.push_back(i);
    }
    return true;
}

// Whether an input file still counts as read by the stored job, which left
// its outputs at `built` (or earlier; they are at `present` now); `slot` is
// the file's place among the recorded input times. A directory holds while
// it has the time its job left it at: the job may have written into it. A
// file holds when older than the outputs, or of the same tick and still with
// the time its job started from. A file this run found rewritten alike is
// judged by the time its content dates from, but only while its time now is
// earlier than the outputs' present time: the record then takes both new
// times, and the next run, which finds the file plainly up to date, reaches
// the same verdict. Otherwise (an object touched, its archive not) the next
// run would build what this one took as up to date, so this one builds it.
bool inputHolds(const std::string& path, std::size_t slot, const FileTime& built, const FileTime& present,
                const StoredRecipe& stored, const FileTimes& times, const RunChecks& run) {
    const FileStatus now = times.status(path);
    if (!now.time || !built) return false;
    const bool recorded = slot < stored.inputTimes.size();
    if (now.directory && recorded) return now.time == stored.inputTimes[slot];
    FileTime content = now.time;
    if (!run.rewrittenAlike.empty() && present && *now.time < *present) {
        const auto found = run.rewrittenAlike.find(path);
        if (found != run.rewrittenAlike.end() && found->second.now == *now.time) content = found->second.recorded;
    }
    if (*content < *built) return true;
    return *content == *built && recorded && stored.inputTimes[slot] == content;
}

// Whether an input file or directory still has the very time recorded for
// it: with every output a directory, there is no output time to judge it by.
bool inputUntouched(const std::string& path, std::size_t slot, const StoredRecipe& stored, const FileTimes& times) {
    const FileTime now = times.lastWriteTime(path);
    return now && slot < stored.inputTimes.size() && now == stored.inputTimes[slot];
}

bool sameInput(const Tolm::CachedInput& fresh, const Tolm::CachedInput& stored) {
    if (!sameCachedAssignment(fresh.input, stored.input)) return false;
    if (fresh.hasIntermediate() != stored.hasIntermediate()) return false;
    return !fresh.hasIntermediate() || sameCachedAssignment(fresh.intermediate, stored.intermediate);
}

}  // namespace

bool sameCachedValue(const Tolm::TolmValuePtr& a, const Tolm::TolmValuePtr& b) {
    if (a == b) return true;
    if (!a || !b) return false;
    // Values of one class are of one kind.
    if (typeid(*a) != typeid(*b) && kindOf(*a) != kindOf(*b)) return false;
    try {
        return sameContent(*a, *b);
    } catch (...) {
        // A value that cannot even be written out is not known to be equal.
        return false;
    }
}

bool sameCachedAssignment(const Tolm::Assignment& a, const Tolm::Assignment& b) {
    return Util::ciEquals(a.name, b.name) && sameCachedValue(a.value, b.value);
}

bool sameCachedAssignments(const std::vector<Tolm::Assignment>& a, const std::vector<Tolm::Assignment>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!sameCachedAssignment(a[i], b[i])) return false;
    return true;
}

void collectDependedPaths(const Tolm::TolmValuePtr& value, std::vector<std::string>& out) {
    if (!value) return;
    if (auto* path = Tolm::valueAs<Tolm::TolmPathString>(value.get())) {
        out.push_back(pathOf(*path));
    } else if (auto* list = Tolm::valueAs<Tolm::TolmList>(value.get())) {
        for (const Tolm::TolmValuePtr& item : list->items()) collectDependedPaths(item, out);
    } else if (auto* nested = Tolm::valueAs<Tolm::TolmContext>(value.get())) {
        if (!nested->context) return;
        for (const auto& [name, assignment] : nested->context->assignments) collectDependedPaths(assignment.value, out);
    }
}

bool recipeUpToDate(StoredRecipe& fresh, const StoredRecipe& stored, const FileTimes& times, RunChecks& run) {
    const std::vector<std::string> outputPaths = pathsOf(fresh.outputs);
    std::vector<FileStatus>& now = run.outputStatuses;
    now.clear();
    for (const std::string& path : outputPaths) now.push_back(times.status(path));
    std::vector<std::size_t> alike;
    if (!outputsAsLeft(outputPaths, now, stored, times, run, alike)) {
        for (Tolm::CachedInput& input : fresh.inputs) input.reuse = false;
        return false;
    }
    std::vector<FileTime> written;
    written.reserve(now.size());
    for (const FileStatus& status : now) written.push_back(status.time);
    // Equal content shows only that an output holds what the stored job
    // left, not that the job came after the inputs' last edit: the inputs
    // must be older than the time it left the outputs at, and, as for any
    // output, than their times now (one set back before a source is built
    // again).
    const FileTime present = earliestDated(written, now, stored);
    FileTime built = present;
    const FileTime left = earliestDated(stored.outputTimes, now, stored);
    if (!left || (built && *left < *built)) built = left;
    bool undated = !now.empty();
    for (std::size_t i = 0; undated && i < now.size(); ++i) undated = directoryOutput(stored, now, i);
    bool upToDate = (built.has_value() || undated) && fresh.inputs.size() == stored.inputs.size();
    std::vector<std::string> paths;
    // The place of the input's first file among the stored input times. It
    // moves on by the stored input's file count, whether the input passed or
    // not, so no file is ever judged by another file's time.
    std::size_t timed = 0;
    for (std::size_t i = 0; i < fresh.inputs.size(); ++i) {
        Tolm::CachedInput& input = fresh.inputs[i];
        const bool same = i < stored.inputs.size() && sameInput(input, stored.inputs[i]);
        bool passes = same;
        paths.clear();
        // An equal input names the same files as the stored one.
        if (same)
            collectDependedPaths(input.input.value, paths);
        else if (i < stored.inputs.size())
            collectDependedPaths(stored.inputs[i].input.value, paths);
        for (std::size_t k = 0; passes && k < paths.size(); ++k)
            passes = undated ? inputUntouched(paths[k], timed + k, stored, times)
                             : inputHolds(paths[k], timed + k, built, present, stored, times, run);
        timed += paths.size();
        input.reuse = passes;
        upToDate = upToDate && passes;
    }
    if (!upToDate) return false;
    for (std::size_t i : alike) run.rewrittenAlike[outputPaths[i]] = {*written[i], *stored.outputTimes[i]};
    fresh.outputTimes = std::move(written);
    fresh.outputFingerprints = stored.outputFingerprints;
    fresh.inputTimes = stored.inputTimes;
    return true;
}

void recordInputTimes(StoredRecipe& recipe, const FileTimes& times) {
    recipe.inputTimes = timesOf(inputPathsOf(recipe), times);
}

void recordJobResult(StoredRecipe& recipe, const FileTimes& times) {
    recipe.outputTimes.clear();
    recipe.outputFingerprints.clear();
    const std::vector<std::string> inputs = inputPathsOf(recipe);
    if (inputs.size() != recipe.inputTimes.size()) {
        recipe.inputTimes.clear();
        return;
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const FileStatus now = times.status(inputs[i]);
        // A directory moves whenever a file in it is made, renamed or
        // removed, which the job itself may do: the next run compares it
        // with the time it has now.
        if (now.directory) {
            recipe.inputTimes[i] = now.time;
        } else if (now.time != recipe.inputTimes[i]) {
            recipe.inputTimes.clear();
            return;
        }
    }
    const std::vector<std::string> paths = pathsOf(recipe.outputs);
    recipe.outputTimes = timesOf(paths, times);
    recipe.outputFingerprints.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        recipe.outputFingerprints.push_back(recipe.outputTimes[i] ? times.contentFingerprint(paths[i]) : std::nullopt);
}
