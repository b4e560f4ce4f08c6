#include "util/directory_names.h"

#include <dirent.h>

#include <memory>
#include <string_view>

namespace Util {

std::vector<std::string> directoryNames(const std::filesystem::path& directory)
{
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.c_str()), &::closedir);
    if (!stream) return names;
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    return names;
}

}  // namespace Util
