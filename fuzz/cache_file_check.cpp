#include "fuzz/cache_file_check.h"

#include <fmt/format.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/build_cache.h"
#include "app/cache_file.h"
#include "app/cache_lines.h"
#include "app/cached_assignment_parse.h"
#include "app/cached_assignment_text.h"
#include "fuzz/fuzz_checks.h"
#include "parser/parse_assignment.h"
#include "types/tolm_base_string.h"
#include "types/tolm_context.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "util/log.h"

namespace FuzzChecks {

namespace {

namespace fs = std::filesystem;

// Every warning a damaged file may give; the first argument is the cache
// file, the second (for the header) the file's first line. Written out here
// rather than taken from the reader, so a changed text shows.
constexpr const char* LoadWarnings[] = {
    "Cache file '{}' has invalid header. Starting with empty cache.\n",
    "Cache file '{}' has invalid records count. Starting with empty cache.\n",
    "Cache file '{}' is malformed (record key). Starting with empty cache.\n",
    "Cache file '{}' is malformed (recipe count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (inputs count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (input assignment). Starting with empty cache.\n",
    "Cache file '{}' is malformed (input intermediate flag). Starting with empty cache.\n",
    "Cache file '{}' is malformed (input intermediate assignment). Starting with empty cache.\n",
    "Cache file '{}' is malformed (outputs count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (output assignment). Starting with empty cache.\n",
    "Cache file '{}' is malformed (env/context count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (env/context assignment). Starting with empty cache.\n",
    "Cache file '{}' is malformed (program). Starting with empty cache.\n",
    "Cache file '{}' is malformed (output times count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (output time). Starting with empty cache.\n",
    "Cache file '{}' is malformed (output fingerprints count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (output fingerprint). Starting with empty cache.\n",
    "Cache file '{}' is malformed (input times count). Starting with empty cache.\n",
    "Cache file '{}' is malformed (input time). Starting with empty cache.\n",
};
constexpr const char* UnsupportedHeader = "Cache file '{}' has unsupported header '{}'. Starting with empty cache.\n";

bool isLoadWarning(const std::string& log, const fs::path& cacheFile, std::string_view input)
{
    const std::string file = cacheFile.string();
    for (const char* warning : LoadWarnings)
        if (log == fmt::format(fmt::runtime(warning), file)) return true;
    const std::string_view header = input.substr(0, input.find('\n'));
    return log == fmt::format(fmt::runtime(UnsupportedHeader), file, header);
}

// Takes what the log prints at warning level and above while it lives.
class LogRecorder {
public:
    LogRecorder() : savedBuffer_(std::cout.rdbuf(text_.rdbuf()))
    {
        Log::verbosity = LogLevel::Warning;
        Log::terminalCheck = [] { return false; };
    }
    ~LogRecorder()
    {
        std::cout.rdbuf(savedBuffer_);
        Log::verbosity = savedVerbosity_;
        Log::terminalCheck = savedCheck_;
    }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
    int savedVerbosity_ = Log::verbosity;
    Log::TerminalCheck savedCheck_ = Log::terminalCheck;
    std::streambuf* savedBuffer_;
};

// Runs a load or save; gives what it logged. Any exception is a finding:
// neither may stop a build.
template <typename Step>
std::string logOf(const char* what, Step step)
{
    LogRecorder recorder;
    try {
        step();
    } catch (const std::exception& error) {
        throw Finding(std::string("the ") + what + " threw: " + error.what());
    } catch (...) {
        throw Finding(std::string("the ") + what + " threw an exception of unknown type");
    }
    return recorder.text();
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How closely two readings must agree. Parsing one text twice gives the same
// values exactly. A round trip may turn a raw text into a plain one (the
// writer picks the literal), and it keeps the type of a variable in a
// context value only as far as its operator shows it: a declared variable
// with a value comes back assigned, an assigned one without a value comes
// back declared. The cache compares such variables by name and value alone.
enum class Match { Exact, RoundTrip };

// One-line descriptions that compare as texts: value kinds, path texts and
// bases, names, types, modifiers and numbers, as far as `match` asks.
std::string describe(const Tolm::Assignment& assignment, Match match, bool nested = false);

std::string describe(const Tolm::TolmValuePtr& value, Match match)
{
    if (!value) return "none";
    if (const auto* path = dynamic_cast<const Tolm::TolmPathString*>(value.get()))
        return "path(" + path->baseDirectory.string() + "|" + path->text + ")";
    if (const auto* text = dynamic_cast<const Tolm::TolmBaseString*>(value.get()))
        return (match == Match::Exact ? value->typeName() : "text") + "(" + text->text + ")";
    if (const auto* list = dynamic_cast<const Tolm::TolmList*>(value.get())) {
        std::string items = "[";
        for (const auto& item : list->items()) items += describe(item, match) + "; ";
        return items + "]";
    }
    if (const auto* context = dynamic_cast<const Tolm::TolmContext*>(value.get())) {
        if (!context->context) return "{null}";
        std::string variables = "{";
        for (const auto& [key, assignment] : context->context->assignments)
            variables += describe(assignment, match, true) + "; ";
        if (!context->context->conditions.empty()) variables += "if...";
        return variables + "}";
    }
    return value->typeName() + "(" + value->toLiteral() + ")";
}

std::string describe(const Tolm::Assignment& assignment, Match match, bool nested)
{
    const bool typed = match == Match::Exact || !nested;
    return assignment.name + " " + (typed ? std::to_string(static_cast<std::uint32_t>(assignment.type)) : "-") +
           "/" + std::to_string(assignment.modifier) + " " + describe(assignment.value, match);
}

std::string describe(const Tolm::RuntimeRecord& record)
{
    std::string text;
    if (record.verified || record.state != Tolm::RuntimeRecord::Free || record.claimToken != 0)
        text += " (not as loaded)";
    text += "\n  program " + record.program;
    for (const auto& [key, recipe] : record.recipes) {
        text += "\n  recipe";
        if (key != hashCacheInputs(recipe.inputs)) text += " (wrong key)";
        for (const auto& entry : recipe.inputs) {
            text += "\n    in " + describe(entry.input, Match::RoundTrip);
            if (entry.hasIntermediate()) text += " -> " + describe(entry.intermediate, Match::RoundTrip);
        }
        for (const auto& output : recipe.outputs) text += "\n    out " + describe(output, Match::RoundTrip);
        text += "\n    times";
        for (const auto& time : recipe.outputTimes)
            text += " " + (time ? std::to_string(time->time_since_epoch().count()) : std::string("-"));
        text += "\n    contents";
        for (const auto& fingerprint : recipe.outputFingerprints)
            text += " " + (fingerprint ? std::to_string(*fingerprint) : std::string("-"));
        text += "\n    started";
        for (const auto& time : recipe.inputTimes)
            text += " " + (time ? std::to_string(time->time_since_epoch().count()) : std::string("-"));
    }
    for (const auto& assignment : record.context) text += "\n  context " + describe(assignment, Match::RoundTrip);
    return text;
}

// Whether the writer has a text for every assignment of the record; it
// leaves out a record where it has not.
bool writable(const Tolm::RuntimeRecord& record)
{
    auto has = [](const Tolm::Assignment& assignment) { return cacheAssignmentText(assignment).has_value(); };
    for (const auto& [key, recipe] : record.recipes) {
        for (const auto& entry : recipe.inputs)
            if (!has(entry.input) || (entry.hasIntermediate() && !has(entry.intermediate))) return false;
        for (const auto& output : recipe.outputs)
            if (!has(output)) return false;
    }
    for (const auto& assignment : record.context)
        if (!has(assignment)) return false;
    return true;
}

// Key as spelled, and description, of every record the writer keeps.
std::map<std::string, std::string> writtenRecords(const BuildCache& cache)
{
    std::map<std::string, std::string> records;
    for (const auto& [key, record] : cache.records)
        if (writable(*record)) records.emplace(key.str(), describe(*record));
    return records;
}

// The first difference between the records before and after a round trip.
std::string firstDifference(const std::map<std::string, std::string>& before,
                            const std::map<std::string, std::string>& after)
{
    for (const auto& [key, record] : before) {
        const auto found = after.find(key);
        if (found == after.end()) return "record '" + key + "' is lost";
        if (found->second != record) return "record '" + key + "' was" + record + "\nand reads back as" + found->second;
    }
    for (const auto& [key, record] : after)
        if (!before.contains(key)) return "record '" + key + "' appears";
    return {};
}

// The text of every assignment element in the bytes: a line beginning with
// "A ", then a string. Found wherever they stand, so also in a damaged file.
std::vector<std::string_view> assignmentTexts(std::string_view input)
{
    std::vector<std::string_view> texts;
    CacheReader lines(input);
    while (auto line = lines.line()) {
        if (!line->starts_with("A ")) continue;
        CacheReader element = lines;
        if (auto text = readCacheString(element)) texts.push_back(*text);
    }
    return texts;
}

// The reader's shortcuts: it rewrites only a text that has a path literal
// of the old form, and its scanner answers for the parser only where it
// gives exactly what the parser gives.
void shortcutsAgree(std::string_view stored)
{
    const std::string text = rewritePathLiterals(stored);
    if (hasOldPathLiteral(stored) != (text != stored))
        throw Finding("the path rewrite changes " + std::string(stored) + "\ninto " + text +
                      "\nbut the reader thinks it " + (hasOldPathLiteral(stored) ? "does" : "does not"));
    const QuickParse quick = quickParseAssignment(text);
    if (quick.verdict == QuickParse::Unknown) return;
    std::optional<Tolm::Assignment> parsed;
    try {
        parsed = parseAssignment(text, ".", true);
    } catch (...) {
    }
    if (quick.verdict == QuickParse::Fails) {
        if (parsed) throw Finding("the scanner refuses what the parser reads: " + text);
        return;
    }
    const std::string scanned = quick.name + " " + describe(quick.value, Match::Exact);
    if (!parsed) throw Finding("the scanner reads what the parser refuses: " + text + "\nas " + scanned);
    const std::string expected = parsed->name + " " + describe(parsed->value, Match::Exact);
    if (scanned != expected) throw Finding("the scanner reads " + text + "\nas " + scanned + "\nthe parser as " + expected);
}

}  // namespace

void cacheFileRoundTrip(std::string_view input, const fs::path& scratch)
{
    for (std::string_view text : assignmentTexts(input)) shortcutsAgree(text);

    BuildCache first(scratch / ".tolm_cache");
    first.nextClaimToken = 7;
    const std::string loadLog = logOf("load", [&] { loadBuildCacheBytes(first, input); });
    if (first.nextClaimToken != 1) throw Finding("the load left the next claim token at " + std::to_string(first.nextClaimToken));
    if (!loadLog.empty()) {
        if (!isLoadWarning(loadLog, first.cacheFile, input)) throw Finding("the load logged: " + loadLog);
        if (!first.records.empty()) throw Finding("records kept after the warning: " + loadLog);
        return;
    }
    if (first.records.empty()) return;

    const std::map<std::string, std::string> before = writtenRecords(first);
    // As after a build that stored a record: the save renders and writes.
    first.stored = true;
    const std::string saveLog = logOf("save", [&] { saveBuildCache(first); });
    // The save says nothing but, for the records it leaves out, that their targets rebuild every run.
    const bool leftOut = before.size() < first.records.size();
    if (leftOut ? !saveLog.starts_with("Target '") : !saveLog.empty()) throw Finding("the save logged: " + saveLog);
    const std::string written = readFile(first.cacheFile);

    BuildCache second(first.cacheFile);
    const std::string rereadLog = logOf("load", [&] { loadBuildCache(second); });
    if (!rereadLog.empty()) throw Finding("the written file does not read back: " + rereadLog + written);
    const std::string difference = firstDifference(before, writtenRecords(second));
    if (!difference.empty()) throw Finding(difference + "\nin the written file:\n" + written);

    const std::string resaveLog = logOf("save", [&] { saveBuildCache(second); });
    if (!resaveLog.empty()) throw Finding("the second save logged: " + resaveLog);
    const std::string rewritten = readFile(second.cacheFile);
    if (rewritten != written) throw Finding("the file changed in the round trip:\n" + written + "---\n" + rewritten);
}

}  // namespace FuzzChecks
