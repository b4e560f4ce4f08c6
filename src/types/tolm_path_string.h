#pragma once
// A text value that names a file-system path. A relative text is taken
// against `baseDirectory`, the directory of the file it was read from;
// paths produced by resolution are already joined and have an empty one.
//
// Path equality asks the file system: two paths are equal only when both
// exist and name the same object, so a path that does not exist equals
// nothing, not even itself.

#include <filesystem>
#include <string>
#include <string_view>

#include "types/tolm_string.h"

namespace Tolm {

class TolmPathString : public TolmString {
public:
    TolmPathString(std::string text, std::filesystem::path baseDirectory)
        : TolmString(std::move(text)), baseDirectory(std::move(baseDirectory))
    {
    }

    std::string toLiteral() const override;
    bool equals(const TolmValue& other) const override;
    // The new value keeps this `baseDirectory`.
    TolmValuePtr create(std::string newText) const override;
    // Expands the text, then wildcards against the file system. Every path
    // made keeps the expansion's mark (tolm_string.h).
    TolmValuePtr resolve() override;

    // `baseDirectory` joined with the text (an absolute text replaces it).
    std::filesystem::path fullPath() const;

    std::filesystem::path baseDirectory;
};

// The text of `base / text` as std::filesystem joins them, without splitting
// either into components: an absolute text or an empty base gives the text,
// otherwise one separator comes between them unless the base ends in one.
std::string joinedPathText(std::string_view base, std::string_view text);

}  // namespace Tolm
