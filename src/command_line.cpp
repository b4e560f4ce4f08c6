// The command line: "tolm [options] target? [assignment]*".
//
// Options start with one or two dashes and their names ignore letter case,
// so -v, --V, -verbose and --VERBOSE are one option. Unknown names are
// skipped silently; "--" is not an end-of-options marker. An option that
// takes a word consumes the next word whatever it looks like, except that
// the numbers of -v and -j are taken only when the word starts with a digit.

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "tolm_app.h"
#include "util/ci_string.h"
#include "util/log.h"

namespace {

constexpr const char* kUsageText =
    "tolm [options] target? [assignment]*\n"
    "Options: \n"
    "  -l <unit>  list targets from unit (1 = main unit)\n"
    "  -u         list units from project file\n"
    "  -p         list profiles from project file\n"
    "  -v <num>   verbosity level, default = 2\n"
    "  -j <num>   thread count\n"
    "  -f <file>  default tolm file override\n"
    "  -o <file>  main target outputs\n"
    "  -r         register current project\n"
    "  --find-compilers   detect and register default toolchains\n"
    "  --version\n"
    "  --create-project     initialise project file\n";

constexpr const char* kMissingFileWord = "unknown switch";
constexpr const char* kMissingUnit = "Option '-l' requires a unit.";
constexpr const char* kNumberOutOfRange = "Number '{}' of option '{}' is out of range.";

// The words of the command line with a read position, so that an option can
// take the word that follows it.
class WordCursor {
public:
    WordCursor(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

    bool atEnd() const { return next_ >= argc_; }
    std::string take() { return argv_[next_++]; }
    bool hasNext() const { return next_ < argc_; }
    std::string_view peek() const { return argv_[next_]; }
    void skip() { ++next_; }

private:
    int argc_;
    const char* const* argv_;
    int next_ = 1;  // argv[0] is the program name
};

bool startsWithDigit(std::string_view word) {
    return !word.empty() && word.front() >= '0' && word.front() <= '9';
}

// Reads the leading decimal digits of `word` as an int; the rest is ignored.
int leadingNumber(std::string_view word, std::string_view option) {
    int value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        throw std::out_of_range(fmt::format(kNumberOutOfRange, word, option));
    return value;
}

// Takes the number that may follow an option; returns false and leaves the
// word alone when the next word does not start with a digit.
bool takeOptionalNumber(WordCursor& words, std::string_view option, int& number) {
    if (!words.hasNext() || !startsWithDigit(words.peek()))
        return false;
    number = leadingNumber(words.peek(), option);
    words.skip();
    return true;
}

std::string takeRequiredFileWord(WordCursor& words) {
    // An empty word names no file either: -f would fail on it with the file
    // system's own complaint, and -o would silently write nothing.
    if (!words.hasNext() || words.peek().empty())
        throw std::runtime_error(kMissingFileWord);
    return words.take();
}

int hardwareThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

using OptionHandler = void (*)(TolmApplication&, WordCursor&);

struct OptionRow {
    const char* name;
    const char* longName;  // null when the option has one name only
    OptionHandler apply;
};

// Rows in the order they are tested; no two rows share a name.
const OptionRow kOptionRows[] = {
    {"c", "cmdMode",
     [](TolmApplication& app, WordCursor&) {
         app.commandMode = true;
         app.defaultUnitFile.clear();
         app.searchMode = 2;
     }},
    {"f", "file",
     [](TolmApplication& app, WordCursor& words) {
         app.defaultUnitFile =
             std::filesystem::absolute(takeRequiredFileWord(words)).lexically_normal();
         app.searchMode = 1;
     }},
    {"version", nullptr, [](TolmApplication& app, WordCursor&) { app.showVersion = true; }},
    {"v", "verbose",
     [](TolmApplication& app, WordCursor& words) {
         int level = 3;
         takeOptionalNumber(words, "-v", level);
         app.verbosity = level;
         Log::verbosity = level;
     }},
    {"j", "jobs",
     [](TolmApplication& app, WordCursor& words) {
         if (!takeOptionalNumber(words, "-j", app.jobs))
             app.jobs = hardwareThreads();
     }},
    {"o", "out",
     [](TolmApplication& app, WordCursor& words) {
         app.outputsFile = takeRequiredFileWord(words);
     }},
    {"d", "dump", [](TolmApplication& app, WordCursor&) { app.dumpContexts = true; }},
    {"l", "list-targets",
     [](TolmApplication& app, WordCursor& words) {
         // An empty word names no unit either: it would silently turn the
         // list request into a build.
         if (!words.hasNext() || words.peek().empty() || words.peek().front() == '-')
             throw std::invalid_argument(kMissingUnit);
         app.listTargetsUnit = words.take();
     }},
    {"u", "list-units", [](TolmApplication& app, WordCursor&) { app.listUnits = true; }},
    {"p", "list-profiles", [](TolmApplication& app, WordCursor&) { app.listProfiles = true; }},
    {"h", "help",
     [](TolmApplication&, WordCursor&) {
         Log::log(5, "{}", kUsageText);
         std::exit(0);
     }},
    {"create-project", nullptr,
     [](TolmApplication& app, WordCursor&) { app.createProject = true; }},
    {"r", "register", [](TolmApplication& app, WordCursor&) { app.registerProject = true; }},
    {"find-compilers", nullptr,
     [](TolmApplication& app, WordCursor&) { app.findCompilersMode = true; }},
};

bool rowMatches(const OptionRow& row, std::string_view name) {
    return Util::ciEquals(name, row.name) ||
           (row.longName != nullptr && Util::ciEquals(name, row.longName));
}

// The option name is the word without one leading dash, or two when the
// second character is a dash too; "-" and "--" give the empty name.
std::string_view optionName(std::string_view word) {
    word.remove_prefix(1);
    if (!word.empty() && word.front() == '-')
        word.remove_prefix(1);
    return word;
}

}  // namespace

void TolmApplication::ParseCommandLine(int argc, const char* const* argv) {
    WordCursor words(argc, argv);
    while (!words.atEnd()) {
        std::string word = words.take();
        if (word.empty() || word.front() != '-') {
            arguments.push_back(std::move(word));
            continue;
        }
        std::string_view name = optionName(word);
        for (const OptionRow& row : kOptionRows) {
            if (rowMatches(row, name))
                row.apply(*this, words);
        }
    }
}
