#include <gtest/gtest.h>

#include <string>

#include "catalogue/JsonValue.h"
#include "catalogue/albumservice/AlbumServiceApi.h"
#include "runtime/CodePage.h"

namespace ovx {
namespace {

JsonValue Parsed(const char* utf8) {
    JsonValue v;
    EXPECT_TRUE(v.Parse(Utf8ToLocal(utf8))) << utf8;
    return v;
}

std::string Utf8Text(const JsonValue& v) {
    return LocalToUtf8(v.ToText());
}

TEST(JsonValueTest, EscapesBecomeLocalCharacters) {
    JsonValue v = Parsed(R"({"s":"\u4e2d\u6587 \ud83d\ude00 \u0041\u002f \u4e57"})");
    const Text s = v.Member("s").ToText();
    EXPECT_EQ(s, Utf8ToLocal("\"中文 😀 A\\/ 乗\""));
    // 中 in GB18030, and 乗 whose second byte is a backslash stays whole.
    EXPECT_NE(s.bytes().find("\xD6\xD0"), std::string::npos);
    EXPECT_NE(s.bytes().find("\x81\x5C\""), std::string::npos);
    // Member lookup by a local-code-page key.
    EXPECT_EQ(Parsed(R"({"名称":1})").Member(Utf8ToLocal("名称")).ToText(), Text("1"));
}

TEST(JsonValueTest, TextForm) {
    EXPECT_EQ(Utf8Text(Parsed(R"("q\" b\\ s/ \b\t\n\r\f\u0001\u0000x")")),
              R"("q\" b\\ s\/ \b\t\n\r\u000c\u0001\u0000x")");
    EXPECT_EQ(Utf8Text(Parsed(R"( { "a" : [ 1 , true , false , null , {} , [] ] , "b" : "" } )")),
              R"({"a":[1,true,false,null,{},[]],"b":""})");
    // Raw local text passes unchanged, also a character whose second byte is '\' or '|'.
    JsonValue raw;
    ASSERT_TRUE(raw.Parse(Text("[\"\x81\x5C\x81\x7C\"]")));
    EXPECT_EQ(raw.ToText(), Text("[\"\x81\x5C\x81\x7C\"]"));
    EXPECT_EQ(JsonValue().ToText(), Text("null"));
    EXPECT_EQ(Parsed("{}").MemberText("missing"), Text("null"));
    EXPECT_EQ(Parsed(R"({"c":"a\"b"})").MemberText("c"), Text("a\\b"));
}

TEST(JsonValueTest, NumbersKeepTheirDigits) {
    JsonValue v =
        Parsed(R"({"a":9223372036854775807,"b":1234567890123456789,"c":-1234567890123456789,)"
               R"("d":3523466998871412,"e":18446744073709551615,"f":1.5e3,"g":0.1,"h":-0})");
    EXPECT_EQ(v.MemberText("a"), Text("9223372036854775807"));
    EXPECT_EQ(v.MemberText("b"), Text("1234567890123456789"));
    EXPECT_EQ(v.MemberText("c"), Text("-1234567890123456789"));
    EXPECT_EQ(v.MemberText("d"), Text("3523466998871412"));
    EXPECT_EQ(v.MemberText("e"), Text("18446744073709551615"));
    EXPECT_EQ(v.MemberText("f"), Text("1.5e3"));
    EXPECT_EQ(v.MemberText("g"), Text("0.1"));
    EXPECT_EQ(v.MemberText("h"), Text("0"));
    // A number with a dangling exponent is a double: its text must not read back as an
    // integer clamped to the int64 range.
    const Text dangling = Parsed("[-9223372053486775808e,12e,-0e]").ToText();
    JsonValue again;
    ASSERT_TRUE(again.Parse(dangling));
    EXPECT_EQ(again.ToText(), dangling);
    EXPECT_EQ(dangling, Text("[-9.223372053486776e+18,12.0,-0.0]"));
}

TEST(JsonValueTest, BadAndHostileInputIsRefused) {
    JsonValue v = Parsed("[1]");
    for (const char* bad :
         {"", "{", "<html><body>登录</body></html>", "12 x", "{\"a\":1}}", "tru"}) {
        EXPECT_FALSE(v.Parse(Utf8ToLocal(bad))) << bad;
        EXPECT_TRUE(v.IsNull());
        EXPECT_EQ(v.ToText(), Text("null"));
    }
    // Nesting: a hostile depth is an error, not a stack overflow; the limit itself is fine.
    EXPECT_FALSE(v.Parse(Text(std::string(100000, '['))));
    EXPECT_FALSE(v.Parse(Text(std::string(100000, '[') + std::string(100000, ']'))));
    const int ok = kMaxJsonDepth;
    EXPECT_TRUE(v.Parse(Text(std::string(ok, '[') + std::string(ok, ']'))));
    EXPECT_EQ(v.ToText().size(), static_cast<std::size_t>(2 * ok));
    EXPECT_FALSE(v.Parse(Text(std::string(ok + 1, '[') + std::string(ok + 1, ']'))));
    // Size: over the bound is refused before any parsing.
    std::string huge(kMaxJsonBytes, ' ');
    huge.back() = '1';
    EXPECT_TRUE(v.Parse(Text(huge)));
    huge += " ";
    EXPECT_FALSE(v.Parse(Text(huge)));
}

TEST(JsonValueTest, AccessOnTheWrongKindGivesNull) {
    JsonValue v = Parsed(R"({"list":[10,"x",{"k":"v"}],"s":"text","n":null})");
    EXPECT_TRUE(v.Member("list").Member("k").IsNull());
    EXPECT_TRUE(v.Member("s").Member("k").IsNull());
    EXPECT_TRUE(v.Member("n").IsNull());
    EXPECT_TRUE(v.Member("absent").Member("deeper").Element(0).IsNull());
    EXPECT_TRUE(v.Element(0).IsNull());
    EXPECT_EQ(v.Length(), 0);
    EXPECT_EQ(v.Member("s").Length(), 0);
    const JsonValue list = v.Member("list");
    EXPECT_EQ(list.Length(), 3);
    EXPECT_TRUE(list.Element(-1).IsNull());
    EXPECT_TRUE(list.Element(3).IsNull());
    EXPECT_EQ(list.Element(2).MemberText("k"), Text("v"));
    EXPECT_TRUE(list.IsArray());
    EXPECT_FALSE(v.IsArray());
}

TEST(JsonValueTest, TakenValuesOutliveTheirHolder) {
    JsonValue element;
    {
        JsonValue holder = Parsed(R"({"a":[{"b":"kept"}]})");
        element = holder.Member("a").Element(0);
        ASSERT_TRUE(holder.Parse(Text("[]")));  // the holder moves on to another document
    }
    EXPECT_EQ(element.MemberText("b"), Text("kept"));
    JsonValue moved = std::move(element);
    EXPECT_EQ(moved.MemberText("b"), Text("kept"));
}

TEST(ServiceProtocolTest, PageMarkers) {
    EXPECT_EQ(UserIdFromPage(Text("x $CONFIG['oid']='123'; owner_uid: 9,")), Text("123"));
    EXPECT_EQ(UserIdFromPage(Text("var p = {owner_uid: 456, page_id: 1};")), Text("456"));
    EXPECT_EQ(UserIdFromPage(Text("$CONFIG['oid']=''; owner_uid: 789,")), Text("789"));
    EXPECT_EQ(UserIdFromPage(Text("<html>nothing</html>")), Text());
    EXPECT_EQ(UserTitleFromPage(Utf8ToLocal("<title>旅行的微博</title>")),
              Utf8ToLocal("旅行的微博"));
}

TEST(ServiceProtocolTest, UrlsAndEntries) {
    EXPECT_EQ(AlbumListUrl(Text("http://h"), Text("42")),
              Text("http://h/albums/get_all?uid=42&count=6355"));
    EXPECT_EQ(AlbumPageUrl(Text("http://h"), Text("42")), Text("http://h/42/albums/"));
    EXPECT_EQ(PhotoListUrl(Text("http://h"), Text("42"), Text("77"), 3, Text("5"), Text("0.5")),
              Text("http://h/photos/get_all?uid=42&album_id=77&count=100&page=3&type=5&__rnd=0.5"));

    const AlbumEntry album = ReadAlbumEntry(
        Parsed(R"({"album_id":"3523466998871412","caption":"a\/b \u4e91\u5357 %41","type":18,)"
               R"("cover_pic":"http:\/\/h\/thumb300\/x.jpg","count":{"photos":52}})"));
    EXPECT_EQ(album.name, Utf8ToLocal("a/b 云南 A"));
    EXPECT_EQ(album.coverAddress, Text("http://h/thumb300/x.jpg"));
    EXPECT_EQ(album.count, Text("52"));
    EXPECT_EQ(album.albumId, Text("3523466998871412"));
    EXPECT_EQ(album.type, Text("18"));
    const AlbumEntry bare = ReadAlbumEntry(Parsed("{}"));
    EXPECT_EQ(bare.name, Text("null"));
    EXPECT_EQ(bare.count, Text("null"));

    const PhotoEntry photo = ReadPhotoEntry(
        Parsed(R"({"photo_id":"3523","timestamp":1400000000123,"pic_host":"http:\/\/h",)"
               R"("pic_name":"p.gif"})"));
    EXPECT_EQ(ImageUrl(photo), Text("http://h/large/p.gif"));
    EXPECT_EQ(ImageExtension(photo), Text(".gif"));
    EXPECT_EQ(photo.timestamp, Text("1400000000123"));
    EXPECT_EQ(photo.caption, Text("null"));
    EXPECT_TRUE(IsPhotoListAnswer(Parsed(R"({"data":{"photo_list":[]}})")));
    EXPECT_FALSE(IsPhotoListAnswer(Parsed(R"({"data":{"photo_list":{}}})")));
    EXPECT_FALSE(IsPhotoListAnswer(Parsed(R"({"code":"100001","msg":"busy"})")));
}

}  // namespace
}  // namespace ovx
