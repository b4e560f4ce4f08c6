#include "app/output_owners.h"

#include <filesystem>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "types/name_characters.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
#include "types/tolm_list.h"
#include "types/tolm_string.h"
#include "types/value_casts.h"

namespace {

namespace Messages {
constexpr const char* SharedOutput = "Targets '{}' and '{}' would both write '{}'; give one of them another output.";
}  // namespace Messages

// Whether the path has no empty, "." or ".." part to fold: the common case,
// which then needs no copy of the library's normal form.
bool plainlyNormal(std::string_view path) {
    if (path.empty()) return false;
    for (std::size_t start = path.front() == '/' ? 1 : 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() ? end != path.size() || start != path.size() : part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

std::string normalFormOf(const std::string& path) {
    return plainlyNormal(path) ? path : std::filesystem::path(path).lexically_normal().string();
}

std::unordered_set<std::string> normalForms(const std::vector<std::string>& files) {
    std::unordered_set<std::string> forms;
    for (const std::string& file : files) forms.insert(normalFormOf(file));
    return forms;
}

// The first name of each "${name...}" and "#{name...}" in the text.
void collectExpandedNames(std::string_view text, std::vector<std::string>& names) {
    for (std::size_t at = text.find('{'); at != std::string_view::npos; at = text.find('{', at + 1)) {
        if (at == 0 || (text[at - 1] != '$' && text[at - 1] != '#')) continue;
        std::size_t end = at + 1;
        while (end < text.size() && (end == at + 1 ? Tolm::startsName(text[end]) : Tolm::continuesName(text[end])))
            ++end;
        if (end > at + 1) names.emplace_back(text.substr(at + 1, end - at - 1));
    }
}

}  // namespace

void OutputOwners::claim(const std::vector<std::string>& files, const std::string& owner) {
    for (const std::string& file : files) {
        auto [found, added] = owners_.try_emplace(normalFormOf(file), owner);
        if (!added && found->second != owner)
            throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::SharedOutput), found->second, owner, file));
    }
}

std::vector<std::string> ownOutputFiles(std::vector<std::string> named, const std::vector<std::string>& received) {
    if (received.empty()) return named;
    const std::unordered_set<std::string> given = normalForms(received);
    std::erase_if(named, [&given](const std::string& file) { return given.count(normalFormOf(file)) != 0; });
    return named;
}

std::vector<std::string> filesAmong(std::vector<std::string> files, const std::vector<std::string>& among) {
    if (files.empty()) return files;
    const std::unordered_set<std::string> named = normalForms(among);
    std::erase_if(files, [&named](const std::string& file) { return named.count(normalFormOf(file)) == 0; });
    return files;
}

void collectReferencedNames(const Tolm::TolmValuePtr& value, std::vector<std::string>& names) {
    if (!value) return;
    if (auto* reference = Tolm::valueAs<Tolm::TolmIdentifier>(value.get())) {
        if (!reference->identifier.segments.empty()) names.push_back(reference->identifier.segments.front().name);
    } else if (auto* text = Tolm::valueAs<Tolm::TolmString>(value.get())) {
        // Raw texts expand nothing.
        collectExpandedNames(text->text, names);
    } else if (auto* list = Tolm::valueAs<Tolm::TolmList>(value.get())) {
        for (const Tolm::TolmValuePtr& item : list->items()) collectReferencedNames(item, names);
    }
}
