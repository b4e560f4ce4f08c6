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
    // Writes a file below the directory, creating parents; returns its full path.
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& content) const;
    bool isEmpty() const { return std::filesystem::is_empty(path_); }

private:
    std::filesystem::path path_;
};
