#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_locks.h"

namespace {

using Stamps = std::vector<std::string>;
using Identity = Util::FileIdentity;

// Every lock file's entry comes back whole from a list of several, whatever its path holds; an
// identity that another's digits begin or end with, or that swaps device and inode, names nothing.
TEST(HeldLocks, EachFileFindsOnlyItsOwnEntry) {
    const std::vector<std::string> paths = {"/p/.tolm_cache.lock",  "/a:/p/.tolm_cache.lock",
                                            "/a=b/.tolm_cache.lock", "/x%3A/.tolm_cache.lock",
                                            "/x:/.tolm_cache.lock",  "/q/%/.tolm_cache.lock=1 2"};
    EXPECT_EQ(HeldLocks::withEntry("/o=1.2=1 2", "/a:b=c%d", {64769, 1234567}, "3 4"),
              "/o=1.2=1 2:/a%3Ab%3Dc%25d=64769.1234567=3 4");
    std::string list;
    for (std::size_t index = 0; index < paths.size(); ++index)
        list = HeldLocks::withEntry(list, paths[index], {7, 100 + index}, std::to_string(index + 1) + " 9");
    for (std::size_t index = 0; index < paths.size(); ++index)
        EXPECT_EQ(HeldLocks::stampsFor(list, {7, 100 + index}), Stamps{std::to_string(index + 1) + " 9"}) << paths[index];
    for (const Identity other : {Identity{7, 10}, Identity{7, 1000}, Identity{77, 100}, Identity{100, 7},
                                 Identity{0, 0}, Identity{7, 0}})
        EXPECT_EQ(HeldLocks::stampsFor(list, other), Stamps{}) << other.device << "." << other.inode;
}

// Lists as written by hand: entries of the earlier form (path and stamp only), without '=' or
// with a number spelled otherwise name nothing and do not hide the ones after them; a path holding
// '=' unescaped, or none, still finds its entry; an entry given twice yields both stamps.
TEST(HeldLocks, ListsNotWrittenByARun) {
    const Identity lock{2049, 77};
    const struct {
        std::string list;
        Stamps stamps;
    } cases[] = {
        {"", {}},
        {"/p/.tolm_cache.lock", {}},
        {"/p/.tolm_cache.lock=1 2", {}},
        {"2049.77=1 2", {}},
        {":/p/.tolm_cache.lock=2049.77=1 2:", {"1 2"}},
        {"/p=2049.77:/p=2049.78=3 4:=2049.77=5 6:/p=2049.77=7 8", {"5 6", "7 8"}},
        {"/a=b/.tolm_cache.lock=2049.77=3 4", {"3 4"}},
        {"/p=2049.77=1 2:/q=2049.77=3 4", {"1 2", "3 4"}},
        {"/p=2049.77=", {""}},
        {"/p=2049.077=1 2:/p=2049.77 =1 2:/p= 2049.77=1 2", {}},
    };
    for (const auto& entry : cases) EXPECT_EQ(HeldLocks::stampsFor(entry.list, lock), entry.stamps) << entry.list;
}

// An entry of the earlier form, which also named the project's directory after the file, is still
// found by its file.
TEST(HeldLocks, EntriesNamingTheDirectoryToo) {
    const std::string list = "/p/.tolm_cache.lock=7.100,7.50=1 9:/q/.tolm_cache.lock=7.200,7.60=2 9";
    EXPECT_EQ(HeldLocks::stampsFor(list, Identity{7, 100}), Stamps{"1 9"});
    EXPECT_EQ(HeldLocks::stampsFor(list, Identity{7, 200}), Stamps{"2 9"});
    EXPECT_EQ(HeldLocks::stampsFor(list, Identity{7, 50}), Stamps{});
}

}  // namespace
