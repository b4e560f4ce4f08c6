#include "util/file_replace.h"

#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

namespace Util {

namespace {

// The file a write to `path` should replace: the target of a symbolic link,
// the path itself otherwise.
std::filesystem::path replacedFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) return path;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved;
}

}  // namespace

ReplaceResult replaceFileContent(const std::filesystem::path& target, std::string_view text) {
    const std::filesystem::path file = replacedFile(target);
    // The process id keeps two runs writing at once from sharing one file.
    std::filesystem::path temporary = file;
    temporary += ".tmp." + std::to_string(::getpid());

    std::ofstream out(temporary, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out) return ReplaceResult::CannotOpen;

    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    const bool written = static_cast<bool>(out);
    out.close();
    std::error_code error;
    if (written && out) {
        std::filesystem::rename(temporary, file, error);
        if (!error) return ReplaceResult::Replaced;
    }
    std::filesystem::remove(temporary, error);
    return ReplaceResult::CannotWrite;
}

}  // namespace Util
