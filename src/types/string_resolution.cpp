// Resolution of text values: expansion of their variable references and, for
// paths, of their wildcards against the file system.

#include <filesystem>
#include <optional>
#include <vector>

#include "types/expansion_limits.h"
#include "types/text_expansion.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
#include "types/tolm_string.h"
#include "types/value_casts.h"
#include "types/wildcard_expansion.h"

namespace Tolm {

namespace {

// A text a path's expansion produced, and whether it was received from a
// dependency.
struct ExpandedText {
    std::string text;
    bool received;
};

// Each item of a list with its own mark, else the one.
std::vector<ExpandedText> expansionTexts(const TolmValue& expansion)
{
    std::vector<ExpandedText> texts;
    if (const auto* list = valueAs<TolmList>(&expansion)) {
        for (const auto& item : list->items())
            texts.push_back({item->toString(), item->fromDependency});
    } else {
        texts.push_back({expansion.toString(), expansion.fromDependency});
    }
    return texts;
}

// Marks an expansion and, for a cross expansion, each of its texts.
void markReceived(TolmValue& expansion)
{
    expansion.fromDependency = true;
    if (auto* list = valueAs<TolmList>(&expansion))
        for (const auto& item : list->items()) item->fromDependency = true;
}

// A path without wildcards is itself; only patterns go to the file system
// (and repeated separators, which the expansion folds).
bool namesItself(const std::string& path)
{
    return !hasWildcard(path) && path.find("//") == std::string::npos;
}

}  // namespace

TolmValuePtr TolmString::resolve()
{
    // A text that belongs to no variable being resolved (a condition's
    // operand) is bounded on its own.
    std::optional<ExpansionBudget> ownBudget;
    if (!ExpansionBudget::active()) ownBudget.emplace(std::string());
    ExpansionGuard guard;
    bool passesOn = false;
    TolmValuePtr result = resolveStringValue(*this, text, guard, 1, &passesOn);
    // A received text stays received; a text of the target's own stays its
    // own unless it only passes a received value on.
    if (fromDependency || passesOn) markReceived(*result);
    // Stored only after success, so a failed expansion leaves the text alone.
    text = result->toString();
    return result;
}

TolmValuePtr TolmPathString::resolve()
{
    const TolmValuePtr expansion = TolmString::resolve();
    // A single path is also this value's text from now on.
    const auto single = [this](std::string path, bool received) {
        text = std::move(path);
        auto value = std::make_shared<TolmPathString>(text, std::filesystem::path());
        value->fromDependency = received;
        return value;
    };

    // The common case, one path without a pattern, makes no list of texts.
    if (!valueAs<TolmList>(expansion.get())) {
        std::string path = joinedPathText(baseDirectory.native(), expansion->toString());
        if (namesItself(path)) return single(std::move(path), expansion->fromDependency);
    }

    std::vector<ExpandedText> paths;
    for (const auto& candidate : expansionTexts(*expansion)) {
        std::string path = joinedPathText(baseDirectory.native(), candidate.text);
        if (namesItself(path)) {
            paths.push_back({std::move(path), candidate.received});
            continue;
        }
        auto matches = expandGlobTexts(path);
        // An unmatched pattern stays as written, so the build names it.
        if (matches.empty()) matches.push_back(path);
        for (auto& match : matches) paths.push_back({std::move(match), candidate.received});
    }

    if (paths.size() == 1) return single(std::move(paths.front().text), paths.front().received);
    // Several paths, or none when a cross expansion had no elements.
    auto list = std::make_shared<TolmList>();
    list->fromDependency = expansion->fromDependency;
    for (auto& path : paths) {
        auto item = std::make_shared<TolmPathString>(std::move(path.text), std::filesystem::path());
        item->fromDependency = path.received;
        list->push(std::move(item));
    }
    return list;
}

}  // namespace Tolm
