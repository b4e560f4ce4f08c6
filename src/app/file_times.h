#pragma once
// The file system's modification times and content fingerprints, behind a
// seam so the cache check can be tested with a logical clock instead of real
// files and real waiting.
//
// A no-op build asks for the time of every source and every object, and an
// object is asked twice: once as the output of its compile recipe and once
// as an input of the archive or link that uses it. Between two commands no
// file of the build changes, so the times read in that stretch are kept and
// each path costs one stat. Whoever is about to run commands (which may write
// any file) forgets them first. The same stat tells whether the path is a
// directory, which the cache check judges by another rule (recipe_check.h),
// so knowing it costs nothing more.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>

// What one status call tells of a path (symbolic links followed).
struct FileStatus {
    // The last write time; empty when the path does not exist or its status
    // or time cannot be read.
    std::optional<std::filesystem::file_time_type> time;
    // The path exists and is a directory.
    bool directory = false;
};

class FileTimes {
public:
    virtual ~FileTimes() = default;
    // Never throws.
    virtual FileStatus status(const std::string& path) const = 0;
    std::optional<std::filesystem::file_time_type> lastWriteTime(const std::string& path) const {
        return status(path).time;
    }
    // A 64-bit hash of the content of an existing regular file; empty when
    // it cannot be read. Reads the whole file: asked only when a write time
    // alone cannot tell. Never throws.
    virtual std::optional<std::uint64_t> contentFingerprint(const std::string& path) const = 0;
};

// The real file system.
const FileTimes& systemFileTimes();

// Asks `source` once per path until forget() is called.
class RememberedFileTimes : public FileTimes {
public:
    explicit RememberedFileTimes(const FileTimes& source) : source_(source) {}

    FileStatus status(const std::string& path) const override;
    // Not remembered: asked at most once per file and check.
    std::optional<std::uint64_t> contentFingerprint(const std::string& path) const override {
        return source_.contentFingerprint(path);
    }
    void forget() { known_.clear(); }

private:
    const FileTimes& source_;
    mutable std::unordered_map<std::string, FileStatus> known_;
};
