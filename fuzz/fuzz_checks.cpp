#include "fuzz/fuzz_checks.h"

#include <unistd.h>

#include <any>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <memory>
#include <streambuf>
#include <typeinfo>
#include <variant>

#include "fuzz/cache_file_check.h"
#include "parser/literal_writer.h"
#include "parser/parse_assignment.h"
#include "parser/project_file_loader.h"
#include "parser/registry_file.h"
#include "parser/registry_writer.h"
#include "tolm_app.h"
#include "tolm_registry.h"
#include "types/context_template.h"
#include "types/identifier.h"
#include "types/project.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_list.h"
#include "types/unit.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace FuzzChecks {

namespace {

namespace fs = std::filesystem;

// A directory of this process for the files the loaders read; removed at exit.
class WorkDirectory {
public:
    WorkDirectory() : path_(fs::temp_directory_path() / ("tolm-fuzz-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~WorkDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path write(const char* name, std::string_view content) const {
        const fs::path file = path_ / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush()) throw std::runtime_error("fuzz: cannot write " + file.string());
        return file;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const WorkDirectory& work() {
    static const WorkDirectory directory;
    return directory;
}

// Standard failures that only a fault of the program can raise.
bool isFault(const std::exception& error) {
    return dynamic_cast<const std::bad_any_cast*>(&error) || dynamic_cast<const std::bad_variant_access*>(&error) ||
           dynamic_cast<const std::bad_weak_ptr*>(&error) || dynamic_cast<const std::bad_cast*>(&error) ||
           dynamic_cast<const std::bad_alloc*>(&error) || dynamic_cast<const std::length_error*>(&error);
}

// Runs `step`; a failure the user would be shown is fine, a failure only a
// fault can cause becomes a Finding.
void expectOrdinary(const std::function<void()>& step) {
    try {
        step();
    } catch (const Finding&) {
        throw;
    } catch (const Tolm::InternalError& error) {
        throw Finding("internal error: " + error.message());
    } catch (const Tolm::TolmException&) {
    } catch (const Tolm::ParseError&) {
    } catch (const std::exception& error) {
        if (isFault(error)) throw Finding(std::string(typeid(error).name()) + ": " + error.what());
    } catch (...) {
        throw Finding("an exception of unknown type");
    }
}

// Evaluates a block the way a target, tool or profile is evaluated: its
// conditions (twice, since a block may enable another one), then every
// variable, then every value's texts.
void evaluate(Tolm::Context& context) {
    expectOrdinary([&] {
        context.evaluateConditions();
        context.evaluateConditions();
        context.resolveVariables();
        for (const auto& [name, assignment] : context.assignments) {
            if (!assignment.value) continue;
            assignment.value->toString();
            assignment.value->toLiteral();
        }
    });
}

void evaluateTemplate(const std::shared_ptr<Tolm::ContextTemplate>& block) {
    if (!block) return;
    Tolm::ContextPtr context;
    expectOrdinary([&] { context = block->createContext(); });
    if (context) evaluate(*context);
}

// --- The targets --------------------------------------------------------

// A command-line or cache assignment; what the cache would write for it
// must read back to the same written form.
void singleAssignment(std::string_view input) {
    expectOrdinary([&] {
        const Tolm::Assignment parsed = parseAssignment(input, ".");
        const auto written = Tolm::writableAssignment(parsed);
        if (!written) return;
        Tolm::Assignment reread;
        try {
            reread = parseAssignment(*written, ".");
        } catch (const std::exception& error) {
            throw Finding("written assignment '" + *written + "' does not read back: " + error.what());
        }
        const auto rewritten = Tolm::writableAssignment(reread);
        if (rewritten != written)
            throw Finding("assignment '" + *written + "' reads back as '" + rewritten.value_or("<unwritable>") + "'");
    });
}

// A unit file loaded and every target evaluated, each parameter given a text.
void unitFile(std::string_view input) {
    const fs::path file = work().write("tolm.txt", input);
    TolmApplication app;
    app.projectRoot = work().path();
    std::shared_ptr<Tolm::Unit> unit;
    expectOrdinary([&] { unit = app.LoadUnitFile(file); });
    if (!unit) return;
    for (const auto& [name, target] : unit->targets) {
        std::vector<Tolm::TolmValuePtr> parameters;
        for (const auto& parameter : target.parameters) parameters.push_back(Tolm::makeStringValue(parameter + "-value"));
        std::shared_ptr<Tolm::TargetContext> context;
        expectOrdinary([&] { context = std::make_shared<Tolm::TargetContext>(target, parameters); });
        if (context) evaluate(*context);
    }
}

// A project file loaded and every tool and profile evaluated.
void projectFile(std::string_view input) {
    Tolm::Project project(work().write(".tolm_project.txt", input), "");
    bool loaded = false;
    expectOrdinary([&] {
        loadProjectFile(project);
        loaded = true;
    });
    if (!loaded) return;
    for (const auto& tool : project.buildTools) evaluateTemplate(tool.context);
    for (const auto& [name, profile] : project.profiles) evaluateTemplate(profile.context);
}

// The registry as the application keeps it: a later entry of a name replaces
// the value, the key keeps its first spelling.
TolmRegistry registryOf(TolmRegData data, const fs::path& file) {
    TolmRegistry registry;
    registry.path = file;
    for (auto& project : data.projects) registry.projects[Util::CiString(project.name)] = std::move(project.path);
    for (auto& tool : data.tools) registry.tools[Util::CiString(tool.name)] = std::move(tool.context);
    return registry;
}

// Read, write, read again: the second read holds what was written, and
// writing it again gives the same text.
void registryRoundTrip(std::string_view input) {
    const fs::path file = work().write("registry.txt", input);
    std::optional<TolmRegistry> first;
    expectOrdinary([&] { first = registryOf(parseRegistryFile(file), file); });
    if (!first) return;
    std::string written;
    expectOrdinary([&] { written = registryFileText(*first); });
    const fs::path again = work().write("registry-again.txt", written);
    TolmRegistry second;
    try {
        second = registryOf(parseRegistryFile(again), again);
    } catch (const Tolm::TolmException& error) {
        throw Finding("written registry does not read back: " + error.message() + "\n" + written);
    } catch (const std::exception& error) {
        throw Finding(std::string("written registry does not read back: ") + error.what() + "\n" + written);
    }
    for (const auto& [name, path] : second.projects) {
        const auto before = first->projects.find(name);
        if (before == first->projects.end() || before->second != path)
            throw Finding("project '" + name.str() + "' changed in the round trip");
    }
    for (const auto& [name, tool] : second.tools)
        if (!first->tools.contains(name)) throw Finding("tool '" + name.str() + "' appeared in the round trip");
    std::string rewritten;
    expectOrdinary([&] { rewritten = registryFileText(second); });
    if (rewritten != written) throw Finding("registry text changed in the round trip:\n" + written + "---\n" + rewritten);
}

// The printed form of an identifier reads back, whole, to the same identifier.
void identifierRoundTrip(std::string_view input) {
    const std::string text(input);
    Tolm::Identifier identifier;
    Tolm::ParseError error;
    if (!Tolm::Identifier::parse(text, identifier, error)) {
        if (error.position > text.size()) throw Finding("failure position past the end: " + error.message);
        return;
    }
    const std::string printed = identifier.toString();
    Tolm::Identifier reread;
    if (!Tolm::Identifier::parseWhole(printed, reread, error))
        throw Finding("'" + printed + "' does not read back: " + error.message + " at " + std::to_string(error.position));
    if (!(reread == identifier)) throw Finding("'" + printed + "' reads back as another identifier");
    if (reread.toString() != printed) throw Finding("'" + printed + "' prints back as '" + reread.toString() + "'");
}

// Text expansion over a small context. The first line is the text, assigned
// to OUT; each later line defines a variable: NAME=text, NAME:item item ...
// for a list, NAME@identifier for a reference to another variable.
void textExpansion(std::string_view input) {
    std::vector<Tolm::Assignment> assignments;
    const std::size_t firstEnd = std::min(input.find('\n'), input.size());
    const std::string text(input.substr(0, firstEnd));
    assignments.emplace_back("OUT", Tolm::makeStringValue(text), Tolm::Assignment::AssignType::Set, 0);
    for (std::size_t from = firstEnd + 1; from < input.size();) {
        const std::size_t end = std::min(input.find('\n', from), input.size());
        const std::string_view line = input.substr(from, end - from);
        from = end + 1;
        const std::size_t split = line.find_first_of("=:@");
        if (split == std::string_view::npos) continue;
        const std::string name(line.substr(0, split));
        const std::string rest(line.substr(split + 1));
        Tolm::TolmValuePtr value;
        if (line[split] == '=') {
            value = Tolm::makeStringValue(rest);
        } else if (line[split] == ':') {
            value = Tolm::makeListValue({});
            std::size_t word = 0;
            while (word < rest.size()) {
                const std::size_t wordEnd = std::min(rest.find(' ', word), rest.size());
                value->append(*Tolm::makeStringValue(rest.substr(word, wordEnd - word)));
                word = wordEnd + 1;
            }
        } else {
            Tolm::Identifier identifier;
            Tolm::ParseError error;
            if (!Tolm::Identifier::parseWhole(rest, identifier, error)) continue;
            value = std::make_shared<Tolm::TolmIdentifier>(std::move(identifier));
        }
        assignments.emplace_back(name, value, Tolm::Assignment::AssignType::Set, 0);
    }
    Tolm::ContextPtr context;
    expectOrdinary([&] { context = Tolm::ContextTemplate(std::move(assignments)).createContext(); });
    if (!context) return;
    evaluate(*context);
    // A text with nothing to expand stays as written.
    if (text.find('$') != std::string::npos || text.find('#') != std::string::npos) return;
    const Tolm::Assignment& out = context->assignments.at(Util::CiString("OUT"));
    if (out.value && out.value->toString() != text)
        throw Finding("'" + text + "' expanded to '" + out.value->toString() + "'");
}

// Any bytes as the build cache file, loaded, saved and loaded again.
void cacheFile(std::string_view input) { cacheFileRoundTrip(input, work().path()); }

// Swallows everything written to it.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

}  // namespace

const std::vector<Target>& targets() {
    static const std::vector<Target> all = {
        {"assignment", singleAssignment}, {"unit_file", unitFile},     {"project_file", projectFile},
        {"registry", registryRoundTrip},  {"identifier", identifierRoundTrip}, {"expansion", textExpansion},
        {"cache_file", cacheFile},
    };
    return all;
}

const Target* findTarget(std::string_view name) {
    for (const Target& target : targets())
        if (name == target.name) return &target;
    return nullptr;
}

void silenceOutput() {
    static NullBuffer nothing;
    Log::verbosity = 100;
    std::cerr.rdbuf(&nothing);
}

}  // namespace FuzzChecks
