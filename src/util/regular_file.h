#pragma once

// Reading a whole input file without ever blocking or reading forever.
//
// tolm reads its project, unit and registry files in full before parsing.
// A FIFO at such a path would block the open or the first read until some
// writer came, and a device such as /dev/zero never ends; a link in a
// repository can point at either. So only a regular file (after following
// links) is read: the path is checked, opened without blocking and checked
// again on the open descriptor, which closes the gap between the two.

#include <filesystem>
#include <string>

namespace Util {

struct FileBytes {
    enum Kind {
        Read,        // `bytes` holds the whole content
        Missing,     // nothing at the path (a dangling link included)
        Directory,   // a directory: not read
        NotRegular,  // a FIFO, a device or a socket: not read
        Unreadable,  // it could not be opened or read
    };
    Kind kind = Missing;
    std::string bytes;
};

FileBytes readRegularFile(const std::filesystem::path& file);

}  // namespace Util
