// Directory names come in the order and number directory_iterator gives them.

#include "util/directory_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(DirectoryNames, AsTheDirectoryIteratorListsThem)
{
    ScratchDir dir;
    for (const char* name : {"a.c", ".hidden", "b c", "x"}) dir.write(name, "x");
    fs::create_directories(dir.path() / "sub" / "deeper");
    fs::create_symlink("a.c", dir.path() / "link");
    fs::create_symlink("missing", dir.path() / "dangling");

    std::vector<std::string> listed;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path()))
        listed.push_back(entry.path().filename().string());
    EXPECT_EQ(Util::directoryNames(dir.path()), listed);
    EXPECT_EQ(listed.size(), 7u);

    EXPECT_TRUE(Util::directoryNames(dir.path() / "missing").empty());
    EXPECT_TRUE(Util::directoryNames(dir.path() / "a.c").empty());
    EXPECT_EQ(Util::directoryNames(dir.path() / "sub"), std::vector<std::string>{"deeper"});
}

}  // namespace
