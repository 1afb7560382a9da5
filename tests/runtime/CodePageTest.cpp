#include <gtest/gtest.h>

#include "runtime/CodePage.h"
#include "runtime/Text.h"

namespace ovx {
namespace {

TEST(CodePage, RoundTripsChineseThroughTheLocalCodePage) {
    Text info = "信息："_t;
    EXPECT_EQ(info.bytes(), "\xD0\xC5\xCF\xA2\xA3\xBA");
    EXPECT_EQ(LocalToUtf8(info), "信息：");
    // 乗 has 0x5C as its second byte.
    EXPECT_EQ("乗"_t.bytes(), "\x81\x5C");
}

TEST(CodePage, BadBytesAreReplacedNotDropped) {
    EXPECT_EQ(Utf8ToLocal("a\xFF" "b").bytes(), "a?b");
    EXPECT_EQ(LocalToUtf8(Text("a\x81")), "a\xEF\xBF\xBD");
}

TEST(CodePage, TextCutsAtTheFirstZeroByte) {
    EXPECT_EQ(Text(std::string("ab\0cd", 5)).bytes(), "ab");
}

TEST(CodePage, PathsAreUtf8) {
    EXPECT_EQ(ToPath("相册/a.jpg"_t).string(), "相册/a.jpg");
    EXPECT_EQ(FromPath(ToPath("相册"_t)), "相册"_t);
}

}  // namespace
}  // namespace ovx
