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

const JobOutputs::Directory& JobOutputs::Directories::of(const std::string& path) {
    auto found = directories_.find(path);
    if (found == directories_.end())
        found = directories_.emplace(path, Directory{fileStateOf(path), placeOf(path)}).first;
    return found->second;
}

// A directory that is there and no link is its parent's place and its name;
// a missing one, where plain directories would make it; a link, where it
// leads. Empty where that cannot be told (a link that leads nowhere). A "."
// or ".." part goes from the parent's place, which is real.
const std::string& JobOutputs::Directories::placeOf(const std::filesystem::path& path) {
    const std::string key = path.string();
    if (const auto found = places_.find(key); found != places_.end()) return found->second;
    std::string place;
    struct stat status;
    const std::filesystem::path parent = path.parent_path();
    const std::filesystem::path name = path.filename();
    if (path.empty() || parent == path || (lstat(key.c_str(), &status) == 0 && S_ISLNK(status.st_mode))) {
        place = realPathOf(key);
    } else if (const std::string& parentPlace = placeOf(parent); !parentPlace.empty()) {
        if (name.empty() || name == ".")
            place = parentPlace;
        else if (name == "..")
            place = std::filesystem::path(parentPlace).parent_path().string();
        else
            place = (std::filesystem::path(parentPlace) / name).string();
    }
    return places_.emplace(key, std::move(place)).first->second;
}

JobOutputs::JobOutputs(const std::vector<std::string>& outputs, const std::vector<std::string>& read,
                       const TargetFileHistory* history, Directories& directories)
    : history_(history) {
    outputs_.reserve(outputs.size() + read.size());
    const auto watch = [&](const std::string& file, bool isRead) {
        outputs_.push_back(Watched{&file, isRead, fileStateOf(file), &directories.of(directoryOf(file))});
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
    const auto byPath = [](const MadeFile& entry, const std::string& path) { return entry.path < path; };
    const auto found = std::lower_bound(made.begin(), made.end(), file, byPath);
    return found != made.end() && found->path == file && found->written.tv_sec == state.modified.tv_sec &&
           found->written.tv_nsec == state.modified.tv_nsec && found->inode == state.inode &&
           found->size == state.size;
}

std::vector<MadeFile> JobOutputs::made(InputFiles& inputs) const {
    std::vector<MadeFile> made;
    if (!history_) return made;
    for (const Watched& output : outputs_) {
        const bool before = output.before.exists && leftByTarget(*output.file, output.before);
        if (output.before.exists && !before) continue;
        const FileState now = fileStateOf(*output.file);
        if (now.exists && (before || output.read || inputs.name(now)))
            made.push_back(MadeFile{*output.file, now.modified, now.inode, now.size});
    }
    return made;
}
