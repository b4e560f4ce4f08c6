#include "app/job_outputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include <fmt/format.h>

#include "util/log.h"

namespace {

namespace Messages {
constexpr const char* Removed = "Removed '{}': the job that writes it did not finish.\n";
}  // namespace Messages

bool notBefore(const timespec& time, const timespec& start) {
    return time.tv_sec != start.tv_sec ? time.tv_sec > start.tv_sec : time.tv_nsec >= start.tv_nsec;
}

std::string directoryOf(const std::string& file) { return std::filesystem::path(file).parent_path().string(); }

// The path with every link resolved; empty when some part is missing.
std::string realPathOf(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// Where a directory is, or, when it is missing, comes to be when plain
// directories are made for the missing part: the real path of the nearest
// part that is there, and the rest.
std::string plainPathOf(const std::filesystem::path& directory) {
    std::filesystem::path rest;
    for (std::filesystem::path part = directory; !part.empty(); part = part.parent_path()) {
        const std::string real = realPathOf(part.string());
        if (!real.empty()) return (std::filesystem::path(real) / rest).lexically_normal().string();
        rest = rest.empty() ? part.filename() : part.filename() / rest;
        if (part == part.parent_path()) break;
    }
    return std::string();
}

}  // namespace

bool FileState::operator==(const FileState& other) const {
    return exists == other.exists && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && inode == other.inode && device == other.device &&
           size == other.size;
}

bool FileState::sameFile(const FileState& other) const {
    return exists && other.exists && inode == other.inode && device == other.device;
}

FileState fileStateOf(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return {};
    return {true, status.st_mtim, status.st_ino, status.st_dev, status.st_size, status.st_ctim};
}

JobOutputs::JobOutputs(const std::vector<std::string>& outputs, const std::vector<std::string>& read,
                       const TargetFileHistory* history, Directories& directories)
    : history_(history) {
    outputs_.reserve(outputs.size() + read.size());
    const auto watch = [&](const std::string& file, bool isRead) {
        const std::string path = directoryOf(file);
        auto found = directories.find(path);
        if (found == directories.end()) {
            found = directories.emplace(path, Directory{fileStateOf(path), plainPathOf(path)}).first;
        }
        outputs_.push_back(Watched{&file, isRead, fileStateOf(file), &found->second});
    };
    for (const std::string& file : outputs) watch(file, false);
    for (const std::string& file : read) watch(file, true);
}

bool InputFiles::name(const FileState& file) {
    if (!history_ || !file.exists) return false;
    if (!identities_) {
        identities_.emplace();
        for (const std::string& input : history_->inputFiles)
            if (const FileState state = fileStateOf(input); state.exists)
                identities_->emplace(state.device, state.inode);
    }
    return identities_->count({file.device, file.inode}) != 0;
}

void JobOutputs::removeUnfinished(const timespec& start, InputFiles& inputs) const {
    for (const Watched& output : outputs_) {
        const std::string& file = *output.file;
        const FileState now = fileStateOf(file);
        if (!now.exists || now == output.before) continue;
        // Another directory at the same real place holds only what the job
        // put there. One that leads elsewhere went through a link the job
        // made or turned: only a file changed since the job started is the
        // job's.
        const std::string directory = directoryOf(file);
        if (!fileStateOf(directory).sameFile(output.directory->state)) {
            const bool samePlace =
                !output.directory->realPath.empty() && realPathOf(directory) == output.directory->realPath;
            if (!samePlace && !notBefore(now.changed, start)) continue;
        }
        // The user's file, edited in place. Asked after the job: a command
        // that replaced the file (sed -i) leaves links to the new one, and
        // hard links to the old.
        const bool madeBefore = output.before.exists && leftByTarget(file, output.before);
        if (output.before.exists && !madeBefore && (output.read || inputs.name(output.before) || inputs.name(now)))
            continue;
        std::error_code error;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(file, error))) continue;
        if (std::filesystem::remove(file, error)) Log::log(6, fmt::runtime(Messages::Removed), file);
    }
}

bool JobOutputs::leftByTarget(const std::string& file, const FileState& state) const {
    if (!history_) return false;
    const std::vector<MadeFile>& made = history_->madeFiles;
    const auto found = std::lower_bound(made.begin(), made.end(), file,
                                        [](const MadeFile& entry, const std::string& path) { return entry.path < path; });
    return found != made.end() && found->path == file && found->written.tv_sec == state.modified.tv_sec &&
           found->written.tv_nsec == state.modified.tv_nsec;
}

std::vector<MadeFile> JobOutputs::made(InputFiles& inputs) const {
    std::vector<MadeFile> made;
    if (!history_) return made;
    for (const Watched& output : outputs_) {
        const bool before = output.before.exists && leftByTarget(*output.file, output.before);
        if (output.before.exists && !before) continue;
        const FileState now = fileStateOf(*output.file);
        if (now.exists && (before || output.read || inputs.name(now)))
            made.push_back(MadeFile{*output.file, now.modified});
    }
    return made;
}
