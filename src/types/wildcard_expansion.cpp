#include "types/wildcard_expansion.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "types/tolm_path_string.h"
#include "util/directory_names.h"

namespace Tolm {

bool matchWildcard(std::string_view name, std::string_view pattern)
{
    constexpr size_t none = std::string_view::npos;
    size_t p = 0;
    size_t n = 0;
    size_t star = none;   // pattern position of the last "*" seen
    size_t starName = 0;  // name position where that "*" started to match

    while (n < name.size()) {
        // A literal comparison comes first, so a "*" in the pattern meeting a
        // "*" in the name is taken as an ordinary byte before it backtracks.
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p;
            starName = n;
            ++p;
        } else if (star != none) {
            // Let the last "*" swallow one more byte and retry from there.
            ++starName;
            n = starName;
            p = star + 1;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool hasWildcard(std::string_view text)
{
    // A plain loop: find_first_of tests each byte against the set by a call.
    for (const char c : text)
        if (c == '*' || c == '?') return true;
    return false;
}

namespace {

// The names of the entries of `dir` that match `component`, in byte order.
std::vector<std::string> matchingEntries(const std::filesystem::path& dir,
                                         const std::string& component)
{
    std::vector<std::string> names;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec) || ec)
        return names;

    for (std::string& name : Util::directoryNames(dir)) {
        if (matchWildcard(name, component))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The walk over the library's components of the pattern.
std::vector<std::filesystem::path> walkComponents(const std::filesystem::path& pattern)
{
    std::vector<std::filesystem::path> candidates{pattern.root_path()};
    for (const auto& part : pattern.relative_path()) {
        const std::string component = part.string();
        if (!hasWildcard(component)) {
            for (auto& candidate : candidates)
                candidate /= part;
            continue;
        }
        std::vector<std::filesystem::path> next;
        for (const auto& candidate : candidates) {
            for (const auto& name : matchingEntries(candidate, component))
                next.push_back(candidate / name);
        }
        candidates = std::move(next);
    }
    return candidates;
}

}  // namespace

std::vector<std::string> expandGlobTexts(const std::string& pattern)
{
    // Without wildcards the walk only rebuilds the path component by
    // component, which changes nothing but repeated separators; every source
    // file named in a project comes this way.
    const bool repeatedSeparators = pattern.find("//") != std::string::npos;
    if (!hasWildcard(pattern) && !repeatedSeparators) return {pattern};
    if (repeatedSeparators) {
        // The library decides what "//" means; take its components.
        std::vector<std::string> texts;
        for (const auto& path : walkComponents(pattern)) texts.push_back(path.native());
        return texts;
    }

    // The same walk on texts: the root, then the parts between single
    // separators (a trailing one gives an empty last part).
    const bool rooted = pattern.starts_with('/');
    std::vector<std::string> candidates{rooted ? "/" : ""};
    std::size_t begin = rooted ? 1 : 0;
    for (bool more = begin < pattern.size(); more;) {
        std::size_t end = pattern.find('/', begin);
        if (end == std::string::npos) end = pattern.size();
        const std::string component = pattern.substr(begin, end - begin);
        if (!hasWildcard(component)) {
            for (auto& candidate : candidates) candidate = joinedPathText(candidate, component);
        } else {
            std::vector<std::string> next;
            for (const auto& candidate : candidates) {
                for (const auto& name : matchingEntries(candidate, component))
                    next.push_back(joinedPathText(candidate, name));
            }
            candidates = std::move(next);
        }
        more = end < pattern.size();
        begin = end + 1;
    }
    return candidates;
}

std::vector<std::filesystem::path> expandGlob(const std::filesystem::path& pattern)
{
    std::vector<std::filesystem::path> paths;
    for (std::string& text : expandGlobTexts(pattern.native())) paths.emplace_back(std::move(text));
    return paths;
}

}  // namespace Tolm
