#pragma once
// The album service's interface, in one place: the home-page markers, the album-list and
// photo-list endpoints with their query keys in order, and the members read from their
// answers. AlbumServiceProtocol runs the requests.

#include "catalogue/JsonValue.h"
#include "runtime/Text.h"

namespace ovx {

inline constexpr int kPhotosPerPage = 100;

// The user id: the text between "$CONFIG['oid']='" and "'", else between "owner_uid: " and
// ","; empty when neither marker is there or the id is not 1 to 20 ASCII digits.
Text UserIdFromPage(const Text& page);
// The text between "<title>" and "</title>".
Text UserTitleFromPage(const Text& page);

// photoService + "/albums/get_all?uid=" + userId + "&count=6355".
Text AlbumListUrl(const Text& photoService, const Text& userId);
// photoService + "/" + userId + "/albums/": the user's album page, for the browser.
Text AlbumPageUrl(const Text& photoService, const Text& userId);
// photoService + "/photos/get_all?uid=&album_id=&count=100&page=&type=&__rnd=", in this key
// order, each value URL-encoded (ids and numbers read as they are).
Text PhotoListUrl(const Text& photoService, const Text& userId, const Text& albumId, int page,
                  const Text& type, const Text& rnd);

// One album of the album-list answer, every value as its member text (quotes removed).
struct AlbumEntry {
    Text name;          // "caption" through UnescapeUnicode; may be empty
    Text coverAddress;  // "cover_pic" with every backslash removed
    Text count;         // "count" / "photos"
    Text albumId;       // "album_id"
    Text type;          // "type"
};

// answer / "data" / "album_list" (null when missing).
JsonValue AlbumListOf(const JsonValue& answer);
AlbumEntry ReadAlbumEntry(const JsonValue& album);

// One photo of a photo-list page, every value as its member text (quotes removed).
struct PhotoEntry {
    Text photoId;    // "photo_id"
    Text timestamp;  // "timestamp": seconds, or milliseconds when over 9999999999
    Text picHost;    // "pic_host", backslashes removed
    Text picName;    // "pic_name", backslashes removed
    Text caption;    // "caption_render" (a missing member reads "null")
};

// True when answer / "data" / "photo_list" is an array: the answer is a photo-list page,
// not an error page or a throttling answer.
bool IsPhotoListAnswer(const JsonValue& answer);
// answer / "data" / "photo_list" (null when missing).
JsonValue PhotoListOf(const JsonValue& answer);
PhotoEntry ReadPhotoEntry(const JsonValue& photo);
// picHost + "/large/" + picName.
Text ImageUrl(const PhotoEntry& photo);
// ".gif" when the picture name contains ".gif" (case-sensitive), else ".jpg".
Text ImageExtension(const PhotoEntry& photo);

}  // namespace ovx
