#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_locks.h"

namespace {

using Stamps = std::vector<std::string>;

// Every path comes back whole from a list of several, whatever it holds; a path that another
// ends with, or that ends another, or that differs only where an escape stands, names nothing.
TEST(HeldLocks, EachPathFindsOnlyItsOwnEntry) {
    const std::vector<std::string> paths = {"/p/.tolm_cache.lock",  "/a:/p/.tolm_cache.lock",
                                            "/a=b/.tolm_cache.lock", "/x%3A/.tolm_cache.lock",
                                            "/x:/.tolm_cache.lock",  "/q/%/.tolm_cache.lock=1 2"};
    EXPECT_EQ(HeldLocks::withEntry("/o=1 2", "/a:b=c%d", "3 4"), "/o=1 2:/a%3Ab%3Dc%25d=3 4");
    std::string list;
    for (std::size_t index = 0; index < paths.size(); ++index)
        list = HeldLocks::withEntry(list, paths[index], std::to_string(index + 1) + " 9");
    for (std::size_t index = 0; index < paths.size(); ++index)
        EXPECT_EQ(HeldLocks::stampsFor(list, paths[index]), Stamps{std::to_string(index + 1) + " 9"}) << paths[index];
    for (const char* other : {"/.tolm_cache.lock", "/a", "/x%/.tolm_cache.lock", "/a%3A/p/.tolm_cache.lock", ""})
        EXPECT_EQ(HeldLocks::stampsFor(list, other), Stamps{}) << other;
}

// Lists as written by hand: entries without '=' or with a stray escape name nothing and do not
// hide the ones after them; an entry given twice yields both stamps.
TEST(HeldLocks, ListsNotWrittenByARun) {
    const std::string lock = "/p/.tolm_cache.lock";
    const struct {
        std::string list;
        Stamps stamps;
    } cases[] = {
        {"", {}},
        {lock, {}},
        {":" + lock + "=1 2:", {"1 2"}},
        {"/p/%2.tolm_cache.lock=3 4:/p%/.tolm_cache.lock=5 6:" + lock + "=7 8", {"7 8"}},
        {"/p/%2Etolm_cache.lock=3 4", {"3 4"}},
        {lock + "=1 2:" + lock + "=3 4", {"1 2", "3 4"}},
        {lock + "=", {""}},
    };
    for (const auto& entry : cases) EXPECT_EQ(HeldLocks::stampsFor(entry.list, lock), entry.stamps) << entry.list;
}

}  // namespace
