#include "util/directory_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/scratch_dir.h"

namespace fs = std::filesystem;

// Directory names come in the order and number directory_iterator gives them, links and hidden names
// included; what is no directory lists nothing.
TEST(DirectoryNames, AsTheDirectoryIteratorListsThem)
{
    ScratchDir dir;
    for (const char* name : {"a.c", ".hidden", "b c", "sub/deeper/x"}) dir.write(name, "x");
    fs::create_symlink("a.c", dir.path() / "link");
    fs::create_symlink("missing", dir.path() / "dangling");
    std::vector<std::string> listed;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path()))
        listed.push_back(entry.path().filename().string());
    EXPECT_EQ(Util::directoryNames(dir.path()), listed);
    EXPECT_EQ(listed.size(), 6u);
    EXPECT_TRUE(Util::directoryNames(dir.path() / "missing").empty());
    EXPECT_TRUE(Util::directoryNames(dir.path() / "a.c").empty());
}
