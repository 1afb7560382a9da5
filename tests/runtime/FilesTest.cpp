#include <gtest/gtest.h>

#include <filesystem>

#include "TempFolder.h"
#include "runtime/Files.h"

namespace ovx {
namespace {

using testing_support::TempFolder;

TEST(Files, ExistsForFilesFoldersAndWildcards) {
    TempFolder dir;
    dir.Write("a.jpg", "x");
    std::filesystem::create_directory(dir.path() / "相册");
    dir.Write("相册/图片1.jpg", "x");
    EXPECT_TRUE(FileExists(dir.Local("a.jpg")));
    EXPECT_TRUE(FileExists(dir.Local("相册")));
    EXPECT_TRUE(FileExists(dir.Local("相册/")));
    EXPECT_TRUE(FileExists(dir.Local("相册/图片1.jpg")));
    EXPECT_TRUE(FileExists(dir.Local("*.jpg")));
    EXPECT_TRUE(FileExists(dir.Local("?.jpg")));
    EXPECT_TRUE(FileExists(dir.Local("相册/图片?.*")));  // '?' is one character, not one byte
    EXPECT_TRUE(FileExists(dir.Local("相?")));
    EXPECT_FALSE(FileExists(dir.Local("??.jpg")));
    EXPECT_FALSE(FileExists(dir.Local("b.jpg")));
    EXPECT_FALSE(FileExists(dir.Local("*.png")));
    EXPECT_FALSE(FileExists(dir.Local("missing/*")));
    EXPECT_FALSE(FileExists(Text()));
}

TEST(Files, WriteCreatesTruncatesAndConcatenates) {
    TempFolder dir;
    Text path = dir.Local("图片.jpg");
    EXPECT_TRUE(WriteFileBytes(path, {Bytes{'a', 0, 'b'}, Bytes{}, Bytes{'c'}}));
    EXPECT_EQ(dir.Read("图片.jpg"), std::string("a\0bc", 4));
    EXPECT_TRUE(WriteFileBytes(path, {Bytes{}}));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "图片.jpg"));
    EXPECT_EQ(dir.Read("图片.jpg"), "");
    EXPECT_FALSE(WriteFileBytes(Text(), {Bytes{'a'}}));
    EXPECT_FALSE(WriteFileBytes(dir.Local("no/such/folder/x"), {Bytes{'a'}}));
    EXPECT_FALSE(WriteFileBytes(FromPath(dir.path()), {Bytes{'a'}}));
}

}  // namespace
}  // namespace ovx
