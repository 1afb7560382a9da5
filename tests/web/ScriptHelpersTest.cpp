#include <gtest/gtest.h>

#include <set>

#include "runtime/CodePage.h"
#include "web/ScriptHelpers.h"

namespace ovx {
namespace {

TEST(UnescapeUnicode, UnicodeEscapesBecomeLocalCharacters) {
    EXPECT_EQ(UnescapeUnicode(Text("\\u4e2d\\u6587 \\u0041")), "中文 A"_t);
    EXPECT_EQ(UnescapeUnicode(Text("%u4E2D%41")), "中A"_t);
    // %XX is a Latin-1 character, not a UTF-8 byte.
    EXPECT_EQ(UnescapeUnicode(Text("%E4")), "ä"_t);
    // A surrogate pair joins; an unpaired half becomes '?'.
    EXPECT_EQ(UnescapeUnicode(Text("\\ud83d\\ude00")), "😀"_t);
    EXPECT_EQ(UnescapeUnicode(Text("a\\ud83db")), Text("a?b"));
}

TEST(UnescapeUnicode, TextsWithoutEscapesComeBackUnchanged) {
    for (const Text& t : {Text(), "你好，世界 abc 2014"_t, Text("a{$}b"), Text("100% sure")}) {
        EXPECT_EQ(UnescapeUnicode(t), t);
    }
}

TEST(UnescapeUnicode, MalformedEscapesStayAsTheyAre) {
    EXPECT_EQ(UnescapeUnicode(Text("%u12 %zz %4 %u00G1 50%")), Text("%u12 %zz %4 %u00G1 50%"));
    EXPECT_EQ(UnescapeUnicode(Text("\\u12")), Text("%u12"));
    // Short \x loses only its backslash; a trailing backslash has nothing to escape.
    EXPECT_EQ(UnescapeUnicode(Text("\\x4g ab\\")), Text("x4g ab\\"));
}

TEST(UnescapeUnicode, StringLiteralEscapesResolve) {
    EXPECT_EQ(UnescapeUnicode(Text("a\\/b\\\"c\\\\d\\'e\\q")), Text("a/b\"c\\d'eq"));
    EXPECT_EQ(UnescapeUnicode(Text("\\n\\t\\r\\b\\f\\v")), Text("\n\t\r\b\f\v"));
    EXPECT_EQ(UnescapeUnicode(Text("\\x41\\101\\60\\0x")), Text("AA0x"));
    // An escaped backslash before "%41" does not protect it from the percent step.
    EXPECT_EQ(UnescapeUnicode(Text("\\\\%41")), Text("\\A"));
}

TEST(UnescapeUnicode, LineBreaksAndApostrophesSurvive) {
    EXPECT_EQ(UnescapeUnicode(Text("ab\r\ncd")), Text("ab\r\ncd"));
    EXPECT_EQ(UnescapeUnicode(Text("\rab\r\n")), Text("ab\r\n"));
    EXPECT_EQ(UnescapeUnicode(Text("a\nb")), Text("a\nb"));
    EXPECT_EQ(UnescapeUnicode(Text("it's")), Text("it's"));
    EXPECT_EQ(UnescapeUnicode("’引号’"_t), "'引号'"_t);
}

TEST(UnescapeUnicode, DoubleByteCharactersEndingInBackslashAreNotEscapes) {
    // 乗 is 81 5C in GBK: its second byte is a backslash.
    const Text jou = "乗"_t;
    ASSERT_EQ(jou.size(), 2u);
    ASSERT_EQ(jou[1], 0x5C);
    EXPECT_EQ(UnescapeUnicode("乗u4e2d乗n乗\\n"_t), "乗u4e2d乗n乗\n"_t);
    EXPECT_EQ(UnescapeUnicode("乗"_t), jou);
}

TEST(UnescapeUnicode, ZeroCharactersAreDropped) {
    EXPECT_EQ(UnescapeUnicode(Text("a%00b\\u0000c\\0d")), Text("abcd"));
}

TEST(RandomFraction17, IsZeroPointAndFifteenDigits) {
    std::set<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        Text t = RandomFraction17();
        ASSERT_EQ(t.size(), 17u) << t.bytes();
        EXPECT_EQ(t.bytes().substr(0, 2), "0.");
        EXPECT_EQ(t.bytes().find_first_not_of("0123456789", 2), std::string::npos) << t.bytes();
        EXPECT_NE(t.bytes().back(), '0') << "trailing zeros are not written";
        seen.insert(t.bytes());
    }
    EXPECT_GT(seen.size(), 490u);
}

}  // namespace
}  // namespace ovx
