#include "app/output_owners.h"

#include <filesystem>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "types/tolm_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_list.h"
#include "types/tolm_path_string.h"
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

void collectReceivedPaths(const Tolm::TolmValuePtr& value, std::vector<std::string>& files) {
    if (!value) return;
    if (auto* path = Tolm::valueAs<Tolm::TolmPathString>(value.get())) {
        if (path->fromDependency) files.push_back(Tolm::joinedPathText(path->baseDirectory.native(), path->text));
    } else if (auto* list = Tolm::valueAs<Tolm::TolmList>(value.get())) {
        for (const Tolm::TolmValuePtr& item : list->items()) collectReceivedPaths(item, files);
    } else if (auto* nested = Tolm::valueAs<Tolm::TolmContext>(value.get()); nested && nested->context) {
        for (const auto& [name, assignment] : nested->context->assignments) collectReceivedPaths(assignment.value, files);
    }
}
