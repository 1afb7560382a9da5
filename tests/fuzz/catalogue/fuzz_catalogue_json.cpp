// Feeds random texts to JsonValue and the album- and photo-list readers: no crash, no hang;
// a refused text leaves null; the text form of a parsed value parses again to the same text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "../FuzzInput.h"
#include "catalogue/JsonValue.h"
#include "catalogue/albumservice/AlbumServiceApi.h"
#include "catalogue/webapi/WebPosts.h"
#include "runtime/TextOps.h"

namespace {

using ovx::JsonValue;
using ovx::Text;
using ovx::fuzz::Check;

constexpr int kMaxWalkDepth = 8;
constexpr int kMaxElements = 32;

const char* const kKeys[] = {"data",      "album_list", "photo_list", "caption",        "count",
                             "photos",    "album_id",   "type",       "cover_pic",      "photo_id",
                             "timestamp", "pic_host",   "pic_name",   "caption_render", "a"};

// Every reachable value's text form, to a bounded depth and breadth.
void Walk(const JsonValue& value, int depth) {
    const Text text = value.ToText();
    Check(!text.empty());
    // The web API's post times: any text reads as a time or as none, never a crash.
    ovx::WebPostSeconds(ovx::ReplaceText(text, Text("\""), Text()));
    Check(value.IsNull() == (text == Text("null")));
    if (depth >= kMaxWalkDepth) return;
    const int n = value.Length();
    Check(n >= 0 && (n == 0 || value.IsArray()));
    for (int i = 0; i < n && i < kMaxElements; ++i) Walk(value.Element(i), depth + 1);
    Check(value.Element(n).IsNull());
    for (const char* key : kKeys) {
        const JsonValue member = value.Member(key);
        if (!member.IsNull()) Walk(member, depth + 1);
        Check(value.MemberText(key).bytes().find('"') == std::string::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text input(std::string(reinterpret_cast<const char*>(data), size));
    JsonValue value;
    const bool parsed = value.Parse(input);
    const Text text = value.ToText();
    if (!parsed) Check(value.IsNull() && text == Text("null"));
    Walk(value, 0);

    const JsonValue albums = ovx::AlbumListOf(value);
    for (int i = 0; i < albums.Length() && i < kMaxElements; ++i) {
        const ovx::AlbumEntry album = ovx::ReadAlbumEntry(albums.Element(i));
        // No backslash is left, apart from the second byte of a double-byte character.
        Check(ovx::FindText(album.coverAddress, Text("\\")) == -1);
    }
    const JsonValue photos = ovx::PhotoListOf(value);
    Check(ovx::IsPhotoListAnswer(value) == photos.IsArray());
    for (int i = 0; i < photos.Length() && i < kMaxElements; ++i) {
        const ovx::PhotoEntry photo = ovx::ReadPhotoEntry(photos.Element(i));
        const Text url = ovx::ImageUrl(photo);
        const Text extension = ovx::ImageExtension(photo);
        Check(extension == Text(".gif") || extension == Text(".jpg"));
        Check(url.size() == photo.picHost.size() + 7 + photo.picName.size());
    }

    if (parsed) {
        JsonValue again;
        Check(again.Parse(text));
        Check(again.ToText() == text);
    }
    return 0;
}
