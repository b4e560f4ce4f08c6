#pragma once
// The declared outputs of a build job, watched from before it runs: what a
// job that failed or was stopped removes, and what one that succeeded made.
//
// A failed job must not leave an output that a later run or another tool
// takes for built, so the files it changed (new, or written again) are
// removed, as make does for a failed rule under .DELETE_ON_ERROR. Three kinds
// of file stay all the same:
// - one the job did not write. Its path may lead elsewhere after the job (a
//   link the command made to a directory outside the project): a file there
//   that has not changed since the job started is someone else's, wherever
//   the path now leads.
// - one the user had before the job that the target also reads: a command
//   editing its input in place and failing halfway leaves the file as it
//   left it, not the user without one. Whether the target reads it is asked
//   of the file, not of its spelling: another path to it, a link to it or a
//   hard link name it as well.
// - a directory.
// A file of the second kind that a job of the target made, and that is still
// as a job of the target left it (the target's record remembers the path, the
// write time, the inode and the size), is the target's own, however the
// target names it: a
// generator whose output path sits in a variable of its own, which a command
// target also counts among its inputs, loses what it half-wrote. A file put
// back in its place since (a checkout), or edited, is the user's again.
//
// An output's directory that is another one after the job, at the same real
// place (`rm -rf gen && mkdir gen`), holds only what the job put there. One
// that leads elsewhere went through a link the job made or turned: there the
// file's change time alone tells. The file system's times are coarse: a file
// written in the same tick as the job's start may carry a change time just
// before it, and is then kept.

#include <sys/types.h>
#include <time.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// An output that a job of its target made, as a job of the target last left
// it: its write time, and which file it was, and its size, since a write
// time may count whole seconds only.
struct MadeFile {
    std::string path;
    timespec written{};
    ino_t inode = 0;
    off_t size = 0;

    bool operator==(const MadeFile& other) const {
        return path == other.path && written.tv_sec == other.written.tv_sec &&
               written.tv_nsec == other.written.tv_nsec && inode == other.inode && size == other.size;
    }
};

// What a target's jobs need to tell its own outputs from the user's files.
struct TargetFileHistory {
    // Every file the target's inputs name: an output that is one of them, by
    // any path, is a file its command edits in place.
    std::vector<std::string> inputFiles;
    // The outputs that jobs of the target made before, sorted by path.
    std::vector<MadeFile> madeFiles;
};

// What one status call tells of a path (links followed).
struct FileState {
    bool exists = false;
    timespec modified{};
    ino_t inode = 0;
    dev_t device = 0;
    off_t size = 0;
    // When its inode last changed, which no one can set back.
    timespec changed{};

    // The file changed when its state differs: written, replaced or gone.
    bool operator==(const FileState& other) const;
    bool sameFile(const FileState& other) const;
};

FileState fileStateOf(const std::string& path);

// The files a target's inputs name, as they are once its jobs ended, looked
// at once for all its jobs and only when asked.
class InputFiles {
public:
    explicit InputFiles(const TargetFileHistory* history) : history_(history) {}

    // Whether an input names the file (by any path to it).
    bool name(const FileState& file);

private:
    const TargetFileHistory* history_;
    std::optional<std::set<std::pair<dev_t, ino_t>>> identities_;
};

// The declared outputs of one job, noted as they are when it is made.
class JobOutputs {
public:
    // Where an output's directory was before the jobs started.
    struct Directory {
        FileState state;
        // Its real path; for a directory missing then, the one it has once
        // plain directories are made where it is missing.
        std::string realPath;
    };
    // The outputs' directories, shared by the jobs of a target: most
    // outputs share a few directories, and those a few ancestors, each
    // looked at once.
    class Directories {
    public:
        const Directory& of(const std::string& path);

    private:
        // The real path of a directory, or of where it would be made.
        const std::string& placeOf(const std::filesystem::path& path);

        std::unordered_map<std::string, Directory> directories_;
        std::unordered_map<std::string, std::string> places_;
    };

    // `outputs`: what the job writes that its target does not read by the
    // same path; `read`: the others. `history` may be none.
    JobOutputs(const std::vector<std::string>& outputs, const std::vector<std::string>& read,
               const TargetFileHistory* history, Directories& directories);

    // After the job failed or was stopped: removes what it may have
    // half-written, each removal logged at level 6. `start`: the clock's
    // time (CLOCK_REALTIME) just before the job started.
    void removeUnfinished(const timespec& start, InputFiles& inputs) const;
    // After the job succeeded: the outputs it made (missing before it) that
    // its target also reads, by any path, and those its target made before,
    // each with the write time the job left it at.
    std::vector<MadeFile> made(InputFiles& inputs) const;

private:
    struct Watched {
        const std::string* file;
        // Its target's inputs name it by the same path.
        bool read;
        FileState before;
        const Directory* directory;
    };

    // Whether the file is one a job of the target made, as such a job left
    // it.
    bool leftByTarget(const std::string& file, const FileState& state) const;

    const TargetFileHistory* history_;
    std::vector<Watched> outputs_;
};
