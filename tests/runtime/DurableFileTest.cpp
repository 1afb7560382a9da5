#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "TempFolder.h"
#include "runtime/DurableFile.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;

// A new file is made only where nothing carries the name: an existing file, a link to one and
// a link to nothing are all left exactly as they are.
TEST(DurableFile, WritesOnlyAFileItCreates) {
    TempFolder dir;
    const Bytes bytes{'j', 0, 'p', 'g'};
    EXPECT_EQ(WriteNewFileDurably(dir.path() / "new", bytes), 0);
    EXPECT_EQ(dir.Read("new"), std::string("j\0pg", 4));
    EXPECT_EQ(WriteNewFileDurably(dir.path() / "empty", Bytes{}), 0);
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "empty"));

    dir.Write("target", "keep");
    fs::create_symlink(dir.path() / "target", dir.path() / "link");
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
    for (const char* taken : {"target", "link", "dangling"}) {
        SCOPED_TRACE(taken);
        EXPECT_EQ(WriteNewFileDurably(dir.path() / taken, bytes), EEXIST);
    }
    EXPECT_EQ(dir.Read("target"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "nowhere")));

    EXPECT_EQ(WriteNewFileDurably(dir.path() / "missing" / "file", bytes), ENOENT);
    EXPECT_TRUE(SyncFolder(dir.path()));
    EXPECT_FALSE(SyncFolder(dir.path() / "missing"));
}

}  // namespace
}  // namespace ovx
