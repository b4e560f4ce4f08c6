#pragma once

// A fresh directory under the system's temporary directory, removed with all
// its content when the object goes away. Scenario tests run the tool inside
// one and point HOME at another, so no run touches the real user files.

#include <filesystem>
#include <string>

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `content` to a file below the directory, creating parent
    // directories; returns the file's full path.
    std::filesystem::path write(const std::filesystem::path& relative,
                                const std::string& content) const;

    // True when the directory holds no entry at all.
    bool isEmpty() const;

private:
    std::filesystem::path path_;
};
