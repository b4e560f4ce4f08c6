#include "app/file_times.h"

#include <sys/stat.h>

#include <chrono>
#include <system_error>

namespace {

// The library's clock starts in 2174 and counts nanoseconds in 64 bits; a
// time far from today could overflow the conversion, and the library then
// reports an error. Such times are left to the library; the common ones are
// converted here from the one stat, as the library converts them.
constexpr std::int64_t PlainSecondsLimit = std::int64_t{1} << 33;  // year 2242

class SystemFileTimes : public FileTimes {
public:
    std::optional<std::filesystem::file_time_type> lastWriteTime(const std::string& path) const override {
        struct stat status;
        if (::stat(path.c_str(), &status) != 0) return std::nullopt;
        const std::int64_t seconds = status.st_mtim.tv_sec;
        if (seconds < 0 || seconds >= PlainSecondsLimit) return libraryTime(path);
        using namespace std::chrono;
        const sys_time<nanoseconds> written{duration_cast<nanoseconds>(std::chrono::seconds(seconds)) +
                                            nanoseconds(status.st_mtim.tv_nsec)};
        return file_clock::from_sys(written);
    }

private:
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

std::optional<std::filesystem::file_time_type> RememberedFileTimes::lastWriteTime(const std::string& path) const {
    auto found = known_.find(path);
    if (found == known_.end()) found = known_.emplace(path, source_.lastWriteTime(path)).first;
    return found->second;
}
