#pragma once
// The file system's modification times, behind a seam so the cache check can
// be tested with a logical clock instead of real files and real waiting.

#include <filesystem>
#include <optional>

class FileTimes {
public:
    virtual ~FileTimes() = default;
    // The last write time of an existing path; empty when the path does not
    // exist or its status or time cannot be read. Never throws.
    virtual std::optional<std::filesystem::file_time_type> lastWriteTime(const std::filesystem::path& path) const = 0;
};

// The real file system.
const FileTimes& systemFileTimes();
