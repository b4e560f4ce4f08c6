#include "tools/probe_batch.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Probe output counts only these as white space around the answer.
constexpr const char* ProbeBlanks = " \t\n\r";

// A probe's output is read line by line in 511-byte pieces, and a NUL byte
// ends the text of its piece: what follows it up to the piece's end is lost.
std::string dropNulTails(const std::string& raw)
{
    constexpr std::size_t PieceLength = 511;
    std::string text;
    text.reserve(raw.size());
    std::size_t pieceUsed = 0;
    bool dropping = false;
    for (const char c : raw) {
        if (c == '\0') dropping = true;
        if (!dropping) text.push_back(c);
        if (c == '\n' || ++pieceUsed == PieceLength) {
            pieceUsed = 0;
            dropping = false;
        }
    }
    return text;
}

std::string trimProbeBlanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(ProbeBlanks);
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(ProbeBlanks);
    return text.substr(first, last - first + 1);
}

// The program and the words of a probe's argument text, split at blanks and
// tabs.
std::vector<std::string> argumentVector(const std::filesystem::path& executable, const std::string& arguments)
{
    std::vector<std::string> words{executable.string()};
    std::size_t at = 0;
    while ((at = arguments.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = arguments.find_first_of(" \t", at);
        words.push_back(arguments.substr(at, end - at));
        at = end;
    }
    return words;
}

// 0 while no test has chosen a limit.
std::atomic<std::size_t> chosenLimit{0};

// The processor count, but at least two: a compiler's independent questions
// are asked side by side even on one processor.
std::size_t probeLimit()
{
    static const std::size_t processors = std::max(2u, std::thread::hardware_concurrency());
    const std::size_t chosen = chosenLimit.load();
    return chosen == 0 ? processors : chosen;
}

// The answers of the scope alive on this thread; null outside any.
using ProbeAnswers = std::map<std::pair<std::string, std::string>, CommandOutput>;
thread_local std::unique_ptr<ProbeAnswers> currentAnswers;

}  // namespace

std::size_t setProbeLimit(std::size_t limit) { return chosenLimit.exchange(limit); }

ProbeBatch::ProbeBatch() : processes_(probeLimit()) {}

void ProbeBatch::ask(const std::filesystem::path& executable, const std::string& arguments, Answer then)
{
    auto key = std::make_pair(executable.string(), arguments);
    if (currentAnswers) {
        const auto known = currentAnswers->find(key);
        if (known != currentAnswers->end()) return then(known->second);
    }
    processes_.start(argumentVector(executable, arguments),
                     [key = std::move(key), then = std::move(then)](const ProcessOutput& run) {
                         CommandOutput answer;
                         answer.output = trimProbeBlanks(dropNulTails(run.output));
                         answer.exitStatus = run.exitStatus;
                         if (currentAnswers) currentAnswers->emplace(key, answer);
                         then(answer);
                     });
}

void ProbeBatch::run() { processes_.wait(); }

CommandOutput captureCommandOutput(const std::filesystem::path& executable, const std::string& arguments)
{
    CommandOutput result;
    ProbeBatch batch;
    batch.ask(executable, arguments, [&result](const CommandOutput& answer) { result = answer; });
    batch.run();
    return result;
}

ProbeAnswerScope::ProbeAnswerScope() : outermost_(!currentAnswers)
{
    if (outermost_) currentAnswers = std::make_unique<ProbeAnswers>();
}

ProbeAnswerScope::~ProbeAnswerScope()
{
    if (outermost_) currentAnswers.reset();
}
