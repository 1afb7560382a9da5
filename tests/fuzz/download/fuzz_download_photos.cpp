// A photo-list answer from the service, read as the download reads it: every photo entry,
// its caption prepared, its upload date, and every scheme's name in both passes. Whatever
// the answer holds, a name the sanitiser accepts is one safe component of bounded length.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../FuzzInput.h"
#include "catalogue/Catalogue.h"
#include "catalogue/JsonValue.h"
#include "catalogue/albumservice/AlbumServiceApi.h"
#include "catalogue/albumservice/AlbumServiceProtocol.h"
#include "download/AlbumDownload.h"
#include "download/PhotoNaming.h"
#include "runtime/CodePage.h"

namespace {

using ovx::fuzz::Check;

void CheckSafe(const ovx::Text& name) {
    for (const ovx::OverLongName limit : {ovx::OverLongName::Cut, ovx::OverLongName::Refuse}) {
        const ovx::Text safe = ovx::SafeNameComponent(name, limit);
        if (safe.empty()) continue;
        Check(safe.bytes().find('/') == std::string::npos);
        Check(safe != ovx::Text(".") && safe != ovx::Text(".."));
        for (char c : safe.bytes()) Check(static_cast<unsigned char>(c) >= 0x20);
        Check(ovx::LocalToUtf8(safe).size() <= ovx::kMaxNameBytes);
        // Cutting an acceptable name again changes nothing.
        Check(ovx::SafeNameComponent(safe, limit) == safe);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ovx::Bytes body(data, data + size);
    ovx::JsonValue answer;
    if (!answer.Parse(ovx::Utf8PageToText(body)) || !ovx::IsPhotoListAnswer(answer)) return 0;
    const ovx::JsonValue list = ovx::PhotoListOf(answer);
    const int n = std::min(list.Length(), 50);
    for (int i = 0; i < n; ++i) {
        const ovx::PhotoEntry entry = ovx::ReadPhotoEntry(list.Element(i));
        ovx::PhotoToSave photo;
        // A folder that does not exist: the existence tests find nothing, deterministically.
        photo.folder = ovx::Text("/nonexistent-ovx-fuzz");
        photo.caption = ovx::PrepareCaption(entry.caption);
        photo.number = ovx::Text(std::to_string(i + 1));
        photo.dateText = ovx::AlbumDownload::UploadDateText(
            ovx::AlbumServiceProtocol::UploadSeconds(entry.timestamp));
        photo.extension = ovx::ImageExtension(entry);
        photo.photoId = entry.photoId;
        (void)ovx::ImageUrl(entry);
        ovx::PhotoToSave reduced = photo;
        reduced.caption = ovx::CjkOnly(photo.caption);
        for (const ovx::NamingScheme scheme :
             {ovx::NamingScheme::CaptionNumber, ovx::NamingScheme::NumberCaption,
              ovx::NamingScheme::CaptionDate, ovx::NamingScheme::Caption}) {
            CheckSafe(ovx::BuildPhotoName(photo, scheme, false));
            CheckSafe(ovx::BuildPhotoName(reduced, scheme, true));
        }
        CheckSafe(photo.photoId + photo.extension);
        // Captions name folders too, with a count text from the service behind them.
        CheckSafe(ovx::CleanNameText(entry.caption) + entry.timestamp);
    }
    return 0;
}
