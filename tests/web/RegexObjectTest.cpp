#include <gtest/gtest.h>

#include <string>

#include "web/RegexObject.h"

namespace ovx {
namespace {

Text JoinMatches(const RegexObject& re) {
    Text joined;
    for (int i = 1; i <= re.MatchCount(); ++i) joined += re.MatchText(i);
    return joined;
}

const Text kChinese("[\\u4e00-\\u9fa5]");

TEST(RegexObject, KeepsOnlyTheChineseCharactersOfAName) {
    RegexObject re;
    EXPECT_EQ(re.Pattern(), Text());
    ASSERT_TRUE(re.Create(kChinese, "Hello,世界 2014！旅行(7).jpg"_t, false, true));
    EXPECT_EQ(re.MatchCount(), 4);
    EXPECT_EQ(JoinMatches(re), "世界旅行"_t);
    EXPECT_EQ(re.Pattern(), kChinese);

    ASSERT_TRUE(re.Create(kChinese, Text("Hello, World? 2014"), false, true));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.MatchText(1), Text());
    EXPECT_EQ(re.SubMatchCount(), 0);
}

TEST(RegexObject, InvalidPatternsFail) {
    RegexObject re;
    ASSERT_TRUE(re.Create(Text("a"), Text("aaa")));
    for (const char* bad : {"(", "a)", "[a", "a**", "\\", "(?<n>a)(?<n>b)"}) {
        EXPECT_FALSE(re.Create(Text(bad), Text("a"))) << bad;
        EXPECT_EQ(re.MatchCount(), 0) << "no stale matches after a failure";
        EXPECT_EQ(re.Replace(Text("x")), Text());
    }
}

TEST(RegexObject, OptionsForCaseLinesAndGlobal) {
    RegexObject re;
    ASSERT_TRUE(re.Create(Text("ab"), Text("AB ab aB")));
    EXPECT_EQ(re.MatchCount(), 3);
    ASSERT_TRUE(re.Create(Text("ab"), Text("AB ab aB"), true));
    EXPECT_EQ(re.MatchCount(), 1);
    // Case folding beyond ASCII.
    ASSERT_TRUE(re.Create(Text("\\u00e4"), "Ä"_t));
    EXPECT_EQ(re.MatchCount(), 1);

    ASSERT_TRUE(re.Create(Text("^\\w+$"), Text("one\r\ntwo\nthree")));
    EXPECT_EQ(JoinMatches(re), Text("onetwothree"));
    ASSERT_TRUE(re.Create(Text("^\\w+$"), Text("one\r\ntwo"), false, false));
    EXPECT_EQ(re.MatchCount(), 0);
    // Without multi-line, $ is the very end, not before a final line break.
    ASSERT_TRUE(re.Create(Text("a$"), Text("a\n"), false, false));
    EXPECT_EQ(re.MatchCount(), 0);
    // '.' stops at line breaks, [^] does not.
    ASSERT_TRUE(re.Create(Text("."), Text("a\nb")));
    EXPECT_EQ(re.MatchCount(), 2);
    ASSERT_TRUE(re.Create(Text("[^]"), Text("a\nb")));
    EXPECT_EQ(re.MatchCount(), 3);

    ASSERT_TRUE(re.Create(Text("\\d"), Text("a1b2c3"), false, true, false));
    EXPECT_EQ(re.MatchCount(), 1);
    EXPECT_EQ(re.Replace(Text("#")), Text("a#b2c3"));
}

TEST(RegexObject, EmptyMatchesAdvanceOneCharacter) {
    RegexObject re;
    ASSERT_TRUE(re.Create(Text("x*"), "a中"_t));
    EXPECT_EQ(re.MatchCount(), 3);
    EXPECT_EQ(re.Replace(Text("-")), "-a-中-"_t);
    ASSERT_TRUE(re.Create(Text("\\w*"), Text("abc")));
    EXPECT_EQ(re.MatchCount(), 2);
    EXPECT_EQ(re.Replace(Text("<$&>")), Text("<abc><>"));
}

TEST(RegexObject, ReplacementPatterns) {
    RegexObject re;
    ASSERT_TRUE(re.Create(Text("(\\w+)@(\\w+)"), Text("mail joe@home now")));
    EXPECT_EQ(re.Replace(Text("$2 at $1, $$ $& $0 $3 $")),
              Text("mail home at joe, $ joe@home $0 $3 $ now"));
    ASSERT_TRUE(re.Create(Text("b"), Text("abc")));
    EXPECT_EQ(re.Replace(Text("[$`|$']")), Text("a[a|c]c"));
    // $10 with a single group is group 1 followed by "0"; $01 is group 1.
    ASSERT_TRUE(re.Create(Text("(b)"), Text("abc")));
    EXPECT_EQ(re.Replace(Text("$10$01")), Text("ab0bc"));
    // A group that did not take part is empty, also as a back reference.
    ASSERT_TRUE(re.Create(Text("(x)?(b)\\1"), Text("abc")));
    EXPECT_EQ(re.Replace(Text("[$1$2]")), Text("a[b]c"));
    EXPECT_EQ(re.SubMatchCount(), 2);
    EXPECT_EQ(re.SubMatchText(1, 1), Text());
    EXPECT_EQ(re.SubMatchText(1, 2), Text("b"));
    EXPECT_EQ(re.Replace("中$&"_t), "a中bc"_t);
}

TEST(RegexObject, MatchesAndPositionsAreInTheLocalCodePage) {
    RegexObject re;
    ASSERT_TRUE(re.Create(Text("(\\d+)(x)?"), "中文12旅行345"_t));
    ASSERT_EQ(re.MatchCount(), 2);
    int position = 0;
    EXPECT_EQ(re.MatchText(2, &position), Text("345"));
    EXPECT_EQ(position, 11);
    EXPECT_EQ(re.SubMatchText(1, 1, &position), Text("12"));
    EXPECT_EQ(position, 5);
    EXPECT_EQ(re.SubMatchText(1, 2, &position), Text());
    EXPECT_EQ(position, -1);
    for (auto [index, group] : {std::pair{0, 1}, {3, 1}, {1, 0}, {1, 3}, {-1, -1}}) {
        EXPECT_EQ(re.SubMatchText(index, group, &position), Text());
        EXPECT_EQ(position, -1);
    }
    EXPECT_EQ(re.MatchText(0), Text());
    EXPECT_EQ(re.MatchText(3), Text());

    // 乗 (81 5C) holds no backslash as a character.
    ASSERT_TRUE(re.Create(Text("\\\\"), "乗乗"_t));
    EXPECT_EQ(re.MatchCount(), 0);
    ASSERT_TRUE(re.Create(Text("."), "😀乗"_t));
    EXPECT_EQ(re.MatchCount(), 2);
    EXPECT_EQ(re.MatchText(1), "😀"_t);
}

TEST(RegexObject, QuoteMarkerAndCopies) {
    RegexObject re;
    ASSERT_TRUE(
        re.Create("#引号(\\w+)#引号"_t, Text("say \"hi\" and \"yo\""), false, true, true, true));
    EXPECT_EQ(re.Pattern(), Text("\"(\\w+)\""));
    EXPECT_EQ(re.SubMatchText(2, 1), Text("yo"));

    RegexObject copy = re;
    ASSERT_TRUE(re.Create(Text("z"), Text("zz")));
    EXPECT_EQ(copy.MatchCount(), 2);
    EXPECT_EQ(copy.SubMatchText(1, 1), Text("hi"));
    EXPECT_EQ(re.MatchCount(), 2);
    EXPECT_EQ(copy.Pattern(), Text("\"(\\w+)\""));
}

TEST(RegexObject, HostilePatternsEndWithinTheirLimits) {
    RegexObject re;
    const Text as(std::string(40, 'a') + "!");
    // Catastrophic backtracking hits the match limit and fails instead of hanging.
    EXPECT_FALSE(re.Create(Text("(a+)+$"), as));
    EXPECT_FALSE(re.Create(Text("(a|aa)*(b|c)"), as));
    re.Create(Text("(?:(a*)*)*[b-z]"), as);
    EXPECT_EQ(re.MatchCount(), 0);
    // The limit covers the whole subject, not each start position on its own.
    std::string runs;
    for (int i = 0; i < 300; ++i) runs += std::string(20, 'a') + "b";
    EXPECT_FALSE(re.Create(Text("(a|aa)*c"), Text(runs + "c")));
    // Runaway recursion and nesting are refused, not stack-overflowed.
    EXPECT_FALSE(re.Create(Text("(?R)?a"), Text(std::string(100000, 'a'))));
    EXPECT_FALSE(re.Create(Text(std::string(5000, '(') + std::string(5000, ')')), Text("x")));
    EXPECT_FALSE(re.Create(Text(std::string(70000, 'a')), Text("a")));
    // Huge replacement output is refused rather than allocated.
    ASSERT_TRUE(re.Create(Text(""), Text(std::string(20000, 'a'))));
    EXPECT_EQ(re.Replace(Text("$`$`")), Text());
    // Still usable afterwards.
    ASSERT_TRUE(re.Create(Text("a+"), as));
    EXPECT_EQ(re.MatchCount(), 1);
}

}  // namespace
}  // namespace ovx
