#include "util/temporary_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "scenario/scratch_dir.h"
#include "support/test_support.h"
#include "util/file_replace.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::contentOf;

// Makes the temporary names come in order, ".tmp.00000001" first, for its lifetime.
class CountedNames {
public:
    CountedNames() : saved_(Util::temporarySuffix) {
        counter = 0;
        Util::temporarySuffix = [] { return ++counter; };
    }
    ~CountedNames() { Util::temporarySuffix = saved_; }
    CountedNames(const CountedNames&) = delete;
    CountedNames& operator=(const CountedNames&) = delete;

    // The name a count gives beside `file`.
    static fs::path name(const fs::path& file, int count) {
        return file.string() + ".tmp." + fmt::format("{:08x}", count);
    }

private:
    static inline std::uint32_t counter = 0;
    Util::TemporarySuffix saved_;
};

long filesIn(const fs::path& directory) { return std::distance(fs::directory_iterator(directory), {}); }

// Whatever is at a name already, a link above all, is passed over and left as it is: the link
// still points where it did, its target holds what it held, a dangling link's target is not
// made. The first free name takes the text, and ends renamed over the file. A link at the name
// of the file and the process id, which anyone can work out, is left alone too.
TEST(TemporaryFile, TakenNamesArePassedOver) {
    const ScratchDir scratch;
    const fs::path file = scratch.write("project.txt", "old\n");
    const fs::path victim = scratch.write("victim.txt", "victim\n");
    const fs::path missing = scratch.path() / "missing.txt";
    const fs::path byProcess = file.string() + ".tmp." + std::to_string(getpid());
    fs::create_symlink(victim, byProcess);
    const CountedNames names;
    fs::create_symlink(victim, names.name(file, 1));
    fs::create_symlink(missing, names.name(file, 2));
    scratch.write(names.name(file, 3).filename(), "other\n");
    ASSERT_EQ(mkfifo(names.name(file, 4).c_str(), 0666), 0);

    EXPECT_EQ(Util::replaceFileContent(file, "new\n"), Util::ReplaceResult::Replaced);
    EXPECT_EQ(contentOf(file), "new\n");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(fs::read_symlink(names.name(file, 1)), victim);
    EXPECT_EQ(contentOf(victim), "victim\n");
    EXPECT_EQ(fs::read_symlink(names.name(file, 2)), missing);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(contentOf(names.name(file, 3)), "other\n");
    EXPECT_TRUE(fs::is_fifo(names.name(file, 4)));
    EXPECT_FALSE(fs::exists(names.name(file, 5)));
    EXPECT_EQ(fs::read_symlink(byProcess), victim);
    EXPECT_EQ(filesIn(scratch.path()), 7);
}

// With every name taken, nothing is written: the file stays as it was.
TEST(TemporaryFile, NoFreeNameWritesNothing) {
    const ScratchDir scratch;
    const fs::path file = scratch.write("project.txt", "old\n");
    const fs::path victim = scratch.write("victim.txt", "victim\n");
    const CountedNames names;
    for (int count = 1; count <= 16; ++count) fs::create_symlink(victim, names.name(file, count));

    EXPECT_EQ(Util::replaceFileContent(file, "new\n"), Util::ReplaceResult::CannotOpen);
    EXPECT_EQ(contentOf(file), "old\n");
    EXPECT_EQ(contentOf(victim), "victim\n");
    EXPECT_EQ(filesIn(scratch.path()), 18);
}

// A file reached through a link is replaced and the link kept; a rename that fails (a directory
// with content at the name) leaves the directory and no temporary file.
TEST(TemporaryFile, LinkedFileAndFailedRename) {
    const ScratchDir scratch;
    const fs::path real = scratch.write("real/registry.txt", "old\n");
    const fs::path link = scratch.path() / "registry.txt";
    fs::create_symlink(real, link);
    EXPECT_EQ(Util::replaceFileContent(link, "new\n"), Util::ReplaceResult::Replaced);
    EXPECT_EQ(fs::read_symlink(link), real);
    EXPECT_EQ(contentOf(real), "new\n");

    const fs::path directory = scratch.write("taken/keep", "x").parent_path();
    EXPECT_EQ(Util::replaceFileContent(directory, "new\n"), Util::ReplaceResult::CannotWrite);
    EXPECT_EQ(contentOf(directory / "keep"), "x");
    EXPECT_EQ(filesIn(scratch.path()), 3);
}

}  // namespace
