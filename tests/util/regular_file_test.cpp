#include "util/regular_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

std::string described(const Util::FileBytes& content)
{
    switch (content.kind) {
        case Util::FileBytes::Read: return "read " + std::to_string(content.bytes.size());
        case Util::FileBytes::Missing: return "missing";
        case Util::FileBytes::Directory: return "directory";
        case Util::FileBytes::NotRegular: return "not regular";
        case Util::FileBytes::Unreadable: return "unreadable";
    }
    return "?";
}

// A regular file is read whole, also through a link and past one read's chunk; a FIFO (which no
// one writes, so a blocking read would never return) and a device are refused without reading,
// also behind a link; nothing at the path, a dangling link included, is missing.
TEST(RegularFile, ReadsOnlyRegularFiles)
{
    ScratchDir dir;
    const std::string big(200000, 'x');
    dir.write("big.txt", big);
    dir.write("empty.txt", "");
    ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    fs::create_symlink("big.txt", dir.path() / "link");
    fs::create_symlink("fifo", dir.path() / "fifo-link");
    fs::create_symlink("/dev/zero", dir.path() / "zero");
    fs::create_symlink("nowhere", dir.path() / "dangling");
    fs::create_directory(dir.path() / "sub");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"big.txt", "read 200000"}, {"link", "read 200000"}, {"empty.txt", "read 0"},
        {"fifo", "not regular"},    {"fifo-link", "not regular"}, {"zero", "not regular"},
        {"sub", "directory"},       {"dangling", "missing"},      {"absent", "missing"},
        {"big.txt/below", "missing"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(described(Util::readRegularFile(dir.path() / name)), expected) << name;
    EXPECT_EQ(Util::readRegularFile(dir.path() / "link").bytes, big);
    EXPECT_EQ(described(Util::readRegularFile("/dev/null")), "not regular");
}

}  // namespace
