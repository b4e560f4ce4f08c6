#include "scenario/scratch_dir.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tolm-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("Cannot create a scratch directory from " + pattern);
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchDir::write(const std::filesystem::path& relative,
                                        const std::string& content) const {
    std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
    if (!out.flush())
        throw std::runtime_error("Cannot write " + file.string());
    return file;
}

bool ScratchDir::isEmpty() const {
    return std::filesystem::is_empty(path_);
}
