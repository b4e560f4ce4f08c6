#include "app/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <vector>

// The state on the stack rather than from the library's allocator.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

namespace {

// The library's clock starts in 2174 and counts nanoseconds in 64 bits; a
// time far from today could overflow the conversion, and the library then
// reports an error. Such times are left to the library; the common ones are
// converted here from the one stat, as the library converts them.
constexpr std::int64_t PlainSecondsLimit = std::int64_t{1} << 33;  // year 2242

class SystemFileTimes : public FileTimes {
public:
    FileStatus status(const std::string& path) const override {
        struct stat status;
        if (::stat(path.c_str(), &status) != 0) return {};
        const bool directory = S_ISDIR(status.st_mode);
        const std::int64_t seconds = status.st_mtim.tv_sec;
        if (seconds < 0 || seconds >= PlainSecondsLimit) return {libraryTime(path), directory};
        using namespace std::chrono;
        const sys_time<nanoseconds> written{duration_cast<nanoseconds>(std::chrono::seconds(seconds)) +
                                            nanoseconds(status.st_mtim.tv_nsec)};
        return {file_clock::from_sys(written), directory};
    }

    std::optional<std::uint64_t> contentFingerprint(const std::string& path) const override {
        // Non-blocking, so a FIFO in an output's place cannot hang the check.
        const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (file < 0) return std::nullopt;
        struct stat status;
        std::optional<std::uint64_t> result;
        if (::fstat(file, &status) == 0 && S_ISREG(status.st_mode)) result = hashOf(file);
        ::close(file);
        return result;
    }

private:
    static std::optional<std::uint64_t> hashOf(int file) {
        XXH3_state_t state;
        XXH3_64bits_reset(&state);
        std::vector<char> chunk(1 << 20);
        std::optional<std::uint64_t> result;
        for (;;) {
            const ssize_t got = ::read(file, chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) break;
            if (got == 0) {
                result = XXH3_64bits_digest(&state);
                break;
            }
            XXH3_64bits_update(&state, chunk.data(), static_cast<std::size_t>(got));
        }
        return result;
    }

    static std::optional<std::filesystem::file_time_type> libraryTime(const std::string& path) {
        std::error_code error;
        const std::filesystem::file_time_type time = std::filesystem::last_write_time(path, error);
        if (error) return std::nullopt;
        return time;
    }
};

}  // namespace

const FileTimes& systemFileTimes() {
    static const SystemFileTimes instance;
    return instance;
}

FileStatus RememberedFileTimes::status(const std::string& path) const {
    auto found = known_.find(path);
    if (found == known_.end()) found = known_.emplace(path, source_.status(path)).first;
    return found->second;
}
