#include "app/file_times.h"

#include <system_error>

namespace {

class SystemFileTimes : public FileTimes {
public:
    std::optional<std::filesystem::file_time_type> lastWriteTime(const std::filesystem::path& path) const override {
        // One stat: a missing or unreadable path reports an error here.
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
