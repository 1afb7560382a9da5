#include <gtest/gtest.h>

#include <climits>

#include "runtime/TextOps.h"

namespace ovx {
namespace {

// Double-byte characters whose trail byte looks like ASCII.
const Text kBackslashChar("\x81\x5C");  // 乗, trail byte '\'
const Text kPipeChar("\x81\x7C");       // trail byte '|'
const Text kTrailB("\x81\x62");         // trail byte 'b'
const Text kTrailA("\x81\x41");         // trail byte 'A'

TEST(TextSlicing, CountsPlainBytesAndClipsAtTheEdges) {
    Text abc("abcdef");
    EXPECT_EQ(LeftText(abc, 2), Text("ab"));
    EXPECT_EQ(LeftText(abc, 100), abc);
    EXPECT_EQ(LeftText(abc, 0), Text());
    EXPECT_EQ(LeftText(abc, INT_MIN), Text());
    EXPECT_EQ(RightText(abc, 2), Text("ef"));
    EXPECT_EQ(RightText(abc, INT_MAX), abc);
    EXPECT_EQ(RightText(abc, -1), Text());
    EXPECT_EQ(MidText(abc, 5, 10), Text("ef"));
    EXPECT_EQ(MidText(Text("abc"), 0, 2), Text());
    EXPECT_EQ(MidText(abc, 7, 1), Text());
    EXPECT_EQ(MidText(abc, 6, INT_MAX), Text("f"));
    EXPECT_EQ(MidText(abc, INT_MAX, INT_MAX), Text());
    EXPECT_EQ(MidText(abc, 2, INT_MIN), Text());
    // Slicing may cut a double-byte character in two.
    EXPECT_EQ(LeftText("信息"_t, 1).bytes(), "\xD0");
    EXPECT_EQ(TextLength("信息"_t), 4);
}

TEST(TextSearch, ForwardRules) {
    EXPECT_EQ(FindText(Text("abc"), Text()), 1);
    EXPECT_EQ(FindText(Text(), Text()), -1);
    EXPECT_EQ(FindText(Text(), Text("a")), -1);
    EXPECT_EQ(FindText(Text("aXbx"), Text("x"), 1, true), 2);
    EXPECT_EQ(FindText(Text("aXbx"), Text("x"), 1, false), 4);
    EXPECT_EQ(FindText(Text("abcabc"), Text("bc"), 3), 5);
    EXPECT_EQ(FindText(Text("abcabc"), Text("bc"), 0), 2);
    EXPECT_EQ(FindText(Text("abcabc"), Text("bc"), INT_MIN), 2);
    EXPECT_EQ(FindText(Text("abcabc"), Text("bc"), 7), -1);
    EXPECT_EQ(FindText(Text("abcabc"), Text("bc"), INT_MAX), -1);
    EXPECT_EQ(FindText(Text("abc"), Text("abcd")), -1);
    EXPECT_EQ(FindText(Text("abc"), Text("c")), 3);
}

TEST(TextSearch, NeverMatchesOnATrailByte) {
    EXPECT_EQ(FindText(Text("a") + kTrailB, Text("b")), -1);
    EXPECT_EQ(FindText(kTrailB + Text("b"), Text("b")), 3);
    EXPECT_EQ(FindText(kBackslashChar + Text("\\"), Text("\\")), 3);
    EXPECT_EQ(FindTextBackward(Text("\\") + kBackslashChar, Text("\\")), 1);
    EXPECT_EQ(FindText("信息"_t, "息"_t), 3);
    // A double-byte character is not found starting inside another one.
    EXPECT_EQ(FindText(Text("\xB0\xB0\xB0"), Text("\xB0\xB0")), 1);
    EXPECT_EQ(FindTextBackward(Text("\xB0\xB0\xB0\xB0"), Text("\xB0\xB0")), 3);
    // Ignoring case leaves trail bytes alone: 81 41 is not 81 61.
    EXPECT_EQ(FindText(kTrailA, Text("\x81\x61"), 1, true), -1);
    EXPECT_EQ(FindText(Text("xA"), Text("a"), 1, true), 2);
}

TEST(TextSearch, LoneLeadByteAtTheEndEndsTheScan) {
    EXPECT_EQ(FindText(Text("ab\x81"), Text("\x81")), 3);
    EXPECT_EQ(FindText(Text("ab\x81"), Text("x")), -1);
    EXPECT_EQ(FindTextBackward(Text("\x81"), Text("\x81")), 1);
    EXPECT_EQ(SplitText(Text("a,\x81"), Text(",")), (TextArray{Text("a"), Text("\x81")}));
    EXPECT_EQ(ReplaceText(Text("a\x81"), Text("a"), Text("b")), Text("b\x81"));
    EXPECT_EQ(TrimSpaces(Text(" \x81")), Text("\x81"));
    EXPECT_EQ(RemoveAllSpaces(Text(" \xA1")), Text("\xA1"));
    EXPECT_EQ(ToLowerCase(Text("A\x81")), Text("a\x81"));
}

TEST(TextSearch, BackwardRules) {
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":")), 4);
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":"), 4), 2);
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":"), 5), 4);
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":"), 2), -1);
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":"), 1), -1);
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":"), INT_MIN), -1);
    EXPECT_EQ(FindTextBackward(Text("a:b:c"), Text(":"), INT_MAX), 4);
    // The match must lie wholly before start.
    EXPECT_EQ(FindTextBackward(Text("abab"), Text("ab"), 4), 1);
    EXPECT_EQ(FindTextBackward(Text("aaa"), Text("aa")), 2);
    EXPECT_EQ(FindTextBackward(Text("aXa"), Text("x"), std::nullopt, true), 2);
    EXPECT_EQ(FindTextBackward(Text("abc"), Text()), 1);
    EXPECT_EQ(FindTextBackward(Text(), Text()), -1);
}

TEST(TextReplace, RulesAndLimits) {
    Text header("Set-Cookie: a\r\nset-cookie: b\r\n");
    EXPECT_EQ(ReplaceText(header, Text("Set-Cookie"), Text("Set-Cookie"), 1, -1, false),
              Text("Set-Cookie: a\r\nSet-Cookie: b\r\n"));
    EXPECT_EQ(ReplaceText(header, Text("Set-Cookie"), Text("X"), 1, -1, true),
              Text("X: a\r\nset-cookie: b\r\n"));
    EXPECT_EQ(ReplaceText(Text("aaaa"), Text("a"), Text("b"), 2, 2), Text("abba"));
    EXPECT_EQ(ReplaceText(Text("aaaa"), Text("a"), Text("b"), 1, 0), Text("aaaa"));
    EXPECT_EQ(ReplaceText(Text("aaaa"), Text("a"), Text("b"), 1, INT_MIN), Text("bbbb"));
    EXPECT_EQ(ReplaceText(Text("aaaa"), Text("a"), Text("b"), INT_MIN), Text("bbbb"));
    EXPECT_EQ(ReplaceText(Text("aaaa"), Text("a"), Text("b"), 5), Text("aaaa"));
    EXPECT_EQ(ReplaceText(Text("aaaa"), Text("a"), Text("b"), INT_MAX), Text("aaaa"));
    EXPECT_EQ(ReplaceText(Text("a.b.c"), Text(".")), Text("abc"));
    EXPECT_EQ(ReplaceText(Text("abc"), Text()), Text("abc"));
    EXPECT_EQ(ReplaceText(Text("aaa"), Text("aa"), Text("a")), Text("aa"));
    // Replacement text is not searched again.
    EXPECT_EQ(ReplaceText(Text("ab"), Text("a"), Text("aa")), Text("aab"));
}

TEST(TextReplace, KeepsDoubleByteCharactersWhole) {
    Text path = Text("dir\\") + kBackslashChar + Text("\\x");
    EXPECT_EQ(ReplaceText(path, Text("\\"), Text("/")), Text("dir/") + kBackslashChar + Text("/x"));
    EXPECT_EQ(ReplaceText(kPipeChar + Text("|"), Text("|"), Text("_")), kPipeChar + Text("_"));
}

TEST(TextSplit, Rules) {
    EXPECT_TRUE(SplitText(Text()).empty());
    EXPECT_EQ(SplitText(Text("a,,b")), (TextArray{Text("a"), Text(), Text("b")}));
    EXPECT_EQ(SplitText(Text("a,b,")), (TextArray{Text("a"), Text("b")}));
    EXPECT_EQ(SplitText(Text(",a")), (TextArray{Text(), Text("a")}));
    EXPECT_EQ(SplitText(Text("a,b,c"), Text(","), 2), (TextArray{Text("a"), Text("b")}));
    EXPECT_EQ(SplitText(Text("a,b,c"), Text(","), 3), (TextArray{Text("a"), Text("b"), Text("c")}));
    EXPECT_TRUE(SplitText(Text("a,b"), Text(","), 0).empty());
    EXPECT_TRUE(SplitText(Text("a,b"), Text(","), INT_MIN).empty());
    EXPECT_EQ(SplitText(Text("a,b"), Text(","), INT_MAX).size(), 2u);
    EXPECT_EQ(SplitText(Text("a,b"), Text()), (TextArray{Text("a,b")}));
    EXPECT_EQ(SplitText(Text("1@@2"), Text("@@")), (TextArray{Text("1"), Text("2")}));
    EXPECT_EQ(SplitText(Text(","), Text(",")), (TextArray{Text()}));
    EXPECT_EQ(SplitText(kPipeChar + Text("|x"), Text("|")), (TextArray{kPipeChar, Text("x")}));
}

TEST(TextSpaces, TrimAndRemoveKnowBothSpaces) {
    Text wide("\xA1\xA1");
    EXPECT_EQ(TrimSpaces(Text("  a b  ")), Text("a b"));
    EXPECT_EQ(TrimSpaces(wide + Text(" a") + wide + Text("b ") + wide), Text("a") + wide + Text("b"));
    EXPECT_EQ(TrimSpaces(Text("\ta\r\n")), Text("\ta\r\n"));
    EXPECT_EQ(TrimSpaces(Text("   ")), Text());
    EXPECT_EQ(TrimSpaces(wide + wide), Text());
    EXPECT_EQ(RemoveAllSpaces(Text(" a ") + wide + Text("b\t")), Text("ab\t"));
    // 啊 is B0 A1; followed by A1 78 it must not lose a byte pair "A1 A1".
    Text tricky("\xB0\xA1\xA1x");
    EXPECT_EQ(RemoveAllSpaces(tricky), tricky);
    EXPECT_EQ(TrimSpaces(tricky + Text(" ")), tricky);
    // A trail byte A1 followed by a full-width space at the end.
    EXPECT_EQ(TrimSpaces(Text("\xB0\xA1\xA1\xA1")), Text("\xB0\xA1"));
}

TEST(TextCase, LowersAsciiOnly) {
    EXPECT_EQ(ToLowerCase(Text("AbC-Z@[")), Text("abc-z@["));
    EXPECT_EQ(ToLowerCase(kTrailA + Text("A")), kTrailA + Text("a"));
    EXPECT_EQ(ToLowerCase("信息"_t), "信息"_t);
}

TEST(TextCodes, CharsAndRepeats) {
    EXPECT_EQ(CharFromCode(65), Text("A"));
    EXPECT_EQ(CharFromCode(0), Text());
    EXPECT_EQ(CharFromCode(256), Text());
    EXPECT_EQ(CharFromCode(0xB0).bytes(), "\xB0");
    EXPECT_EQ(CharCodeAt(Text("\xB0" "a")), -80);
    EXPECT_EQ(CharCodeAt(Text("\xB0" "a"), 2), 'a');
    EXPECT_EQ(CharCodeAt(Text("a"), 0), 0);
    EXPECT_EQ(CharCodeAt(Text("a"), 2), 0);
    EXPECT_EQ(CharCodeAt(Text("a"), INT_MAX), 0);
    EXPECT_EQ(SpaceText(3), Text("   "));
    EXPECT_EQ(SpaceText(0), Text());
    EXPECT_EQ(SpaceText(INT_MIN), Text());
    EXPECT_EQ(RepeatText(3, Text("ab")), Text("ababab"));
    EXPECT_EQ(RepeatText(-1, Text("ab")), Text());
    EXPECT_EQ(RepeatText(INT_MAX, Text()), Text());
    // Longer than a position can address: empty, not a crash.
    EXPECT_EQ(RepeatText(INT_MAX, Text("ab")), Text());
}

TEST(TextArrayIndex, InRangeElements) {
    TextArray parts = SplitText(Text("a,b"));
    EXPECT_EQ(ArrayAt(parts, 1), Text("a"));
    EXPECT_EQ(ArrayAt(parts, 2), Text("b"));
}

TEST(TextArrayIndexDeathTest, OutOfRangeIsFatal) {
    TextArray parts = SplitText(Text("a,b"));
    EXPECT_EXIT(ArrayAt(parts, 0), testing::ExitedWithCode(255), "");
    EXPECT_EXIT(ArrayAt(parts, 3), testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace ovx
