#pragma once
// What a downloaded body is, judged by its first bytes, and the extension a saved file takes.

#include <cstddef>
#include <string_view>

#include "runtime/Text.h"

namespace ovx {

// How many first bytes the judgements below look at.
inline constexpr std::size_t kContentHeadBytes = 16;

// The extension (".jpg", ".gif", ".png", ".webp") of a JPEG, GIF, PNG or WebP image whose
// first bytes these are; empty for anything else.
Text PictureExtensionOf(std::string_view head);
// True for the first bytes of an ISO media file (MP4, QuickTime): "ftyp" at byte 4.
bool IsIsoMedia(std::string_view head);
// The picture extension (".gif", ".png", ".webp") the address's last path segment ends in
// (query and fragment ignored), else ".jpg".
Text PictureExtensionOfAddress(const Text& address);
// A live photo's video extension: ".mp4" when its address's path names one, else ".mov".
Text VideoExtensionOfAddress(const Text& address);

}  // namespace ovx
