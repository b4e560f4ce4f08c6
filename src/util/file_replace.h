#pragma once

// Replacing a file's whole content so that readers never see half of it.
//
// The text goes to a new temporary file beside the target (see
// temporary_file.h), which is then renamed over it: a failure at any point leaves the target as it was (or absent, when
// it did not exist) and removes the temporary file. A target that is a
// symbolic link keeps the link; the file it points to is replaced.

#include <filesystem>
#include <string_view>

namespace Util {

enum class ReplaceResult {
    Replaced,
    CannotOpen,   // the temporary file could not be created
    CannotWrite,  // writing, flushing or the final rename failed
};

ReplaceResult replaceFileContent(const std::filesystem::path& target, std::string_view text);

}  // namespace Util
