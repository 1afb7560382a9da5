#include <gtest/gtest.h>

#include "web/UrlHelpers.h"

namespace ovx {
namespace {

Text T(const char* s) {
    return Text(s);
}

TEST(TextBetweenTest, CutsBetweenMarkers) {
    EXPECT_EQ(TextBetween(T("a<b>c<d>"), T("<"), T(">")), T("b"));
    EXPECT_EQ(TextBetween(T("a<b>c<d>"), T("<"), T(">"), 4), T("d"));
    EXPECT_EQ(TextBetween(T("a<b>c<d>"), T("<"), T(">"), -5), T("b"));  // below 1 counts as 1
    EXPECT_EQ(TextBetween(T("a<>b"), T("<"), T(">")), T(""));
    EXPECT_EQ(TextBetween(T("a<bc"), T("<"), T(">")), T(""));  // right marker missing
    EXPECT_EQ(TextBetween(T("a>b<"), T("<"), T(">")), T(""));  // right marker only before
    EXPECT_EQ(TextBetween(T("xAbCy"), T("a"), T("c"), 1, true), T("b"));
    EXPECT_EQ(TextBetween(T("xAbCy"), T("a"), T("c")), T(""));
}

TEST(TextBetweenTest, QuoteWordStandsForDoubleQuote) {
    const Text page("<a title=\"album one\" id=\"7\">");
    EXPECT_EQ(TextBetween(page, "title=#引号"_t, "#引号"_t), T("album one"));
    EXPECT_EQ(TextBetween(page, "id=#引号"_t, "#引号>"_t), T("7"));
}

TEST(TextBetweenTest, NeverMatchesInsideDoubleByteCharacter) {
    // 乗 is 81 5C: its trail byte is a backslash that must not serve as a marker.
    const Text text = "乗x\\y\\"_t;
    EXPECT_EQ(TextBetween(text, T("\\"), T("\\")), T("y"));
}

TEST(ColonTest, TrimsAroundFirstColon) {
    EXPECT_EQ(TextAfterColon(T("Host:  a:b  ")), T("a:b"));
    EXPECT_EQ(TextBeforeColon(T("  Host :a:b")), T("Host"));
    EXPECT_EQ(TextAfterColon(T("no colon")), T(""));
    EXPECT_EQ(TextBeforeColon(T("no colon")), T(""));
    EXPECT_EQ(TextAfterColon(T("x:\t")), T("\t"));  // tabs are not spaces
}

TEST(UrlPartsTest, Host) {
    EXPECT_EQ(UrlHost(T("HTTP://Photo.Weibo.COM/albums?x=1")), T("photo.weibo.com"));
    EXPECT_EQ(UrlHost(T("https://a.b:8443/p")), T("a.b"));
    EXPECT_EQ(UrlHost(T("https://a.b:8443/p"), true), T("a.b:8443"));
    EXPECT_EQ(UrlHost(T("www.x.cn/path/y")), T("www.x.cn"));
    EXPECT_EQ(UrlHost(T("www.x.cn")), T("www.x.cn"));
    EXPECT_EQ(UrlHost(T("")), T(""));
}

TEST(UrlPartsTest, Port) {
    EXPECT_EQ(UrlPort(T("https://a.b/p")), 443);
    EXPECT_EQ(UrlPort(T("HTTPS://a.b/p")), 443);
    EXPECT_EQ(UrlPort(T("http://a.b/p")), 80);
    EXPECT_EQ(UrlPort(T("a.b/p")), 80);
    EXPECT_EQ(UrlPort(T("http://a.b:8080/p")), 8080);
    EXPECT_EQ(UrlPort(T("https://a.b:81")), 81);
    EXPECT_EQ(UrlPort(T("http://a.b:/p")), 0);
}

TEST(UrlPartsTest, Path) {
    EXPECT_EQ(UrlPath(T("http://a.b")), T("/"));
    EXPECT_EQ(UrlPath(T("http://a.b/")), T("/"));
    EXPECT_EQ(UrlPath(T("http://A.b:81/X/y?q=1&r=/z")), T("/X/y?q=1&r=/z"));
    EXPECT_EQ(UrlPath(T("a.b/c")), T("/c"));
    EXPECT_EQ(UrlPath(T("")), T("/"));
}

TEST(MergeCookiesTest, NewValuesWinAndOldOnesFollow) {
    Text old("a=1; b=2; c=3");
    Text fresh("b=20; d=4");
    EXPECT_EQ(MergeCookies(old, fresh), T("b=20; d=4; a=1; c=3"));
    EXPECT_EQ(old, T("b=20; d=4; a=1; c=3"));
    EXPECT_EQ(fresh, T("b=20;d=4"));  // rewritten without spaces
}

TEST(MergeCookiesTest, EmptyInputs) {
    Text old;
    Text fresh(" x = 1 ;y=2");
    EXPECT_EQ(MergeCookies(old, fresh), T("x=1; y=2"));
    Text none;
    Text alsoNone;
    EXPECT_EQ(MergeCookies(none, alsoNone), T(""));
    EXPECT_EQ(none, T(""));
    Text kept("k=v");
    Text nothing;
    EXPECT_EQ(MergeCookies(kept, nothing), T("k=v"));
}

TEST(MergeCookiesTest, DeletedDropsOldValueToo) {
    Text old("sid=abc; u=1");
    Text fresh("sid=deleted");
    EXPECT_EQ(MergeCookies(old, fresh), T("u=1"));
}

TEST(MergeCookiesTest, FirstOfRepeatedOldNamesSurvives) {
    Text old("a=1; a=2; b");
    Text fresh;
    EXPECT_EQ(MergeCookies(old, fresh), T("a=1; b"));
    Text twice("a=1; a=1");
    Text same("a=1; a=1");
    EXPECT_EQ(MergeCookies(twice, same), T("a=1"));  // repeats in the new text joined once
}

TEST(CookieListTest, NamesAndLookups) {
    EXPECT_EQ(CookieName(T(" sid = x=y ")), T("sid"));
    EXPECT_EQ(CookieName(T(" flag ")), T("flag"));
    const TextArray items{T("a=1"), T("B=2")};
    EXPECT_TRUE(ListHasCookieName(items, T("B")));
    EXPECT_FALSE(ListHasCookieName(items, T("b")));
    EXPECT_EQ(FindInList(items, T("B=2")), 2);
    EXPECT_EQ(FindInList(items, T("b=2")), -1);
    EXPECT_EQ(FindInList({}, T("")), -1);
}

TEST(JoinDistinctTest, KeepsFirstOccurrencesInOrder) {
    EXPECT_EQ(JoinDistinct(T("b; a; b; c; a"), T("; ")), T("b; a; c"));
    EXPECT_EQ(JoinDistinct(T(""), T("; ")), T(""));
    EXPECT_EQ(JoinDistinct(T("x,,y,,"), T(",")), T("x,,y"));
}

TEST(ExtractSetCookiesTest, NameValuePartsInHeaderOrder) {
    const Text raw(
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; Path=/; HttpOnly\r\nX: y\r\n"
        "Set-Cookie: b=2\r\nSet-Cookie: a=3\r\n\r\n");
    EXPECT_EQ(ExtractSetCookies(raw), T("a=1; b=2; a=3"));
    EXPECT_EQ(ExtractSetCookies(T("HTTP/1.1 200 OK\r\nX: y\r\n\r\n")), T(""));
    EXPECT_EQ(ExtractSetCookies(T("")), T(""));
}

// Values from pages and answers stay inside their query value; a user id is digits only.
TEST(UntrustedValuesTest, EncodedAndChecked) {
    EXPECT_EQ(EncodeQueryValue(T("1642591402")), T("1642591402"));
    EXPECT_EQ(EncodeQueryValue(T("1&x=/../a b#")), T("1%26x%3D%2F..%2Fa%20b%23"));
    EXPECT_EQ(EncodeQueryValue("头像"_t), T("%E5%A4%B4%E5%83%8F"));  // from UTF-8
    for (const char* id : {"1", "16425914021642591402"}) EXPECT_TRUE(IsUserId(T(id))) << id;
    for (const char* id : {"", "164259140216425914021", "12a", "1 2", "-1", "１２"})
        EXPECT_FALSE(IsUserId(T(id))) << id;
}

TEST(CompleteWebAddressTest, HttpsExceptForLoopback) {
    const std::pair<const char*, const char*> cases[] = {
        {" weibo.com/u/1 ", "https://weibo.com/u/1"},
        {"weibo.com/x?next=http://a/", "https://weibo.com/x?next=http://a/"},
        {"HTTP://weibo.com/", "HTTP://weibo.com/"},
        {"https://weibo.com", "https://weibo.com"},
        {"localhost:8080/u/1", "http://localhost:8080/u/1"},
        {"127.9.0.1/u/1", "http://127.9.0.1/u/1"},
        {"127.0.0.1.evil.com/u/1", "https://127.0.0.1.evil.com/u/1"},
        {"localhost.evil.com", "https://localhost.evil.com"},
    };
    for (auto [typed, completed] : cases) EXPECT_EQ(CompleteWebAddress(T(typed)), T(completed));
    EXPECT_EQ(UrlOrigin(T("https://weibo.com/u/1?x#y")), T("https://weibo.com"));
    EXPECT_EQ(UrlOrigin(T("http://127.0.0.1:8080?x")), T("http://127.0.0.1:8080"));
}

}  // namespace
}  // namespace ovx
