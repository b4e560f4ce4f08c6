#include "util/temporary_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include <fmt/format.h>

namespace Util {

namespace {

// Names taken by other files before one is free: far beyond chance, which
// only one who fills the directory on purpose gets to.
constexpr int Attempts = 16;

std::uint32_t randomSuffix() {
    std::random_device random;
    return random();
}

}  // namespace

TemporarySuffix temporarySuffix = randomSuffix;

int createTemporaryBeside(const std::filesystem::path& file, std::filesystem::path& temporary) {
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        temporary = file;
        temporary += fmt::format(".tmp.{:08x}", temporarySuffix());
        const int created = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (created >= 0 || errno != EEXIST) return created;
    }
    return -1;
}

int writeAndClose(int file, std::string_view content) {
    int error = 0;
    for (std::size_t done = 0; error == 0 && done < content.size();) {
        const ssize_t count = write(file, content.data() + done, content.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0)
            error = errno;
        else if (count == 0)
            error = EIO;
        else
            done += static_cast<std::size_t>(count);
    }
    if (close(file) != 0 && error == 0) error = errno;
    return error;
}

}  // namespace Util
