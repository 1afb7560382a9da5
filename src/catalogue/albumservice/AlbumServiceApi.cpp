#include "catalogue/albumservice/AlbumServiceApi.h"

#include "runtime/Convert.h"
#include "runtime/TextOps.h"
#include "web/ScriptHelpers.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

Text WithoutBackslashes(const Text& text) {
    return ReplaceText(text, Text("\\"));
}

JsonValue DataArray(const JsonValue& answer, const char* name) {
    return answer.Member("data").Member(name);
}

}  // namespace

Text UserIdFromPage(const Text& page) {
    Text id = TextBetween(page, Text("$CONFIG['oid']='"), Text("'"));
    if (id.empty()) id = TextBetween(page, Text("owner_uid: "), Text(","));
    // The id goes into addresses and file names: anything but digits is no id at all.
    return IsUserId(id) ? id : Text();
}

Text UserTitleFromPage(const Text& page) {
    return TextBetween(page, Text("<title>"), Text("</title>"));
}

Text AlbumListUrl(const Text& photoService, const Text& userId) {
    return photoService + Text("/albums/get_all?uid=") + EncodeQueryValue(userId) +
           Text("&count=6355");
}

Text AlbumPageUrl(const Text& photoService, const Text& userId) {
    return photoService + Text("/") + EncodeQueryValue(userId) + Text("/albums/");
}

Text PhotoListUrl(const Text& photoService, const Text& userId, const Text& albumId, int page,
                  const Text& type, const Text& rnd) {
    return photoService + Text("/photos/get_all?uid=") + EncodeQueryValue(userId) +
           Text("&album_id=") + EncodeQueryValue(albumId) + Text("&count=") +
           ToText(kPhotosPerPage) + Text("&page=") + ToText(page) + Text("&type=") +
           EncodeQueryValue(type) + Text("&__rnd=") + EncodeQueryValue(rnd);
}

JsonValue AlbumListOf(const JsonValue& answer) {
    return DataArray(answer, "album_list");
}

AlbumEntry ReadAlbumEntry(const JsonValue& album) {
    AlbumEntry entry;
    entry.name = UnescapeUnicode(album.MemberText("caption"));
    entry.coverAddress = WithoutBackslashes(album.MemberText("cover_pic"));
    entry.count = album.Member("count").MemberText("photos");
    entry.albumId = album.MemberText("album_id");
    entry.type = album.MemberText("type");
    return entry;
}

bool IsPhotoListAnswer(const JsonValue& answer) {
    return PhotoListOf(answer).IsArray();
}

JsonValue PhotoListOf(const JsonValue& answer) {
    return DataArray(answer, "photo_list");
}

PhotoEntry ReadPhotoEntry(const JsonValue& photo) {
    PhotoEntry entry;
    entry.photoId = photo.MemberText("photo_id");
    entry.timestamp = photo.MemberText("timestamp");
    entry.picHost = WithoutBackslashes(photo.MemberText("pic_host"));
    entry.picName = WithoutBackslashes(photo.MemberText("pic_name"));
    entry.caption = photo.MemberText("caption_render");
    return entry;
}

Text ImageUrl(const PhotoEntry& photo) {
    return photo.picHost + Text("/large/") + photo.picName;
}

Text ImageExtension(const PhotoEntry& photo) {
    return FindText(photo.picName, Text(".gif")) > 0 ? Text(".gif") : Text(".jpg");
}

}  // namespace ovx
