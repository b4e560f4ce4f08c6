#include "util/file_replace.h"

#include <system_error>

#include "util/temporary_file.h"

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
    std::filesystem::path temporary;
    const int out = createTemporaryBeside(file, temporary);
    if (out < 0) return ReplaceResult::CannotOpen;

    std::error_code error;
    if (writeAndClose(out, text) == 0) {
        std::filesystem::rename(temporary, file, error);
        if (!error) return ReplaceResult::Replaced;
    }
    std::filesystem::remove(temporary, error);
    return ReplaceResult::CannotWrite;
}

}  // namespace Util
