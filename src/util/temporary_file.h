#pragma once
// New files that take another file's place by a rename: created beside it,
// under a name no one can know beforehand, exclusively and never through a
// symbolic link.
//
// A name anyone can work out (the file's name and the process id) lets
// whoever may write to the directory put a link there first: a plain open
// would write through it into the file it points to, and the rename would
// then put the link in the file's place. Here the name ends in a random
// suffix, and the open fails on anything already at it, a link included, so
// that the next name is tried.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace Util {

// A new, empty file beside `file`, open for writing (and closed on exec):
// `file` + ".tmp." + eight random hexadecimal digits. -1 when none can be
// made; `temporary` then names the last name tried and errno says why.
int createTemporaryBeside(const std::filesystem::path& file, std::filesystem::path& temporary);

// Writes all of the content and closes the file: 0, or the error number of
// the first write or the close that failed. A write beyond the file-size
// limit fails with EFBIG rather than ending the program (tolm_app.cpp
// catches SIGXFSZ).
int writeAndClose(int file, std::string_view content);

// Test seam: the random numbers that make the names (from
// std::random_device by default).
using TemporarySuffix = std::uint32_t (*)();
extern TemporarySuffix temporarySuffix;

}  // namespace Util
