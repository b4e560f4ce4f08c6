#include "util/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/file_descriptor.h"

namespace Util {

namespace {

FileBytes::Kind kindOf(const struct stat& status) {
    if (S_ISREG(status.st_mode)) return FileBytes::Read;
    return S_ISDIR(status.st_mode) ? FileBytes::Directory : FileBytes::NotRegular;
}

}  // namespace

FileBytes readRegularFile(const std::filesystem::path& file) {
    struct stat status;
    // Most special files are told apart before anything opens them.
    if (::stat(file.c_str(), &status) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? FileBytes::Missing : FileBytes::Unreadable, {}};
    if (kindOf(status) != FileBytes::Read) return {kindOf(status), {}};

    const FileDescriptor in(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) return {errno == ENOENT ? FileBytes::Missing : FileBytes::Unreadable, {}};
    // The path may have been replaced since it was checked.
    if (::fstat(in.get(), &status) != 0) return {FileBytes::Unreadable, {}};
    if (kindOf(status) != FileBytes::Read) return {kindOf(status), {}};

    FileBytes content{FileBytes::Read, {}};
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(in.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return {FileBytes::Unreadable, {}};
        if (got == 0) return content;
        content.bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

}  // namespace Util
