#pragma once
// Photo file naming and saving: captions cleaned for file names, the four naming schemes with
// their fallbacks, and the save itself (a hidden temporary file renamed into place).

#include "catalogue/EngineView.h"
#include "runtime/Text.h"

namespace ovx {

class RegexObject;

// Removes ":", "\", "/", "?", "*", "<", ">", "|", "：", "、", "？", "。", "（", "）", "·",
// "！", "，", ".", " " and "&", whole characters only. Also used for folder names.
Text CleanNameText(const Text& text);
// Only the characters U+4E00..U+9FA5 of the text, in order.
Text CjkOnly(const Text& text);
// The caption as names use it: double quotes removed, cleaned, every space (ASCII and
// full-width) removed.
Text PrepareCaption(const Text& captionMemberText);

struct PhotoToSave {
    Text folder;       // the album folder
    Text caption;      // prepared
    Text number;       // photo number: sequence number or page-index text
    Text dateText;     // upload date-time as ToText gives it
    Text extension;    // ".jpg" or ".gif"
    Text photoId;
};

// The name of the first or second pass (file name only, no folder), for a scheme. The
// existence tests of the Part are made against `folder`.
Text BuildPhotoName(const PhotoToSave& photo, NamingScheme scheme, bool secondPass);

// Saves the bytes under the first-pass name, else the second-pass name (caption reduced to
// its Chinese characters), else the photo id. Each try writes a hidden temporary file in the
// folder and renames it into place, so no half-written photo ever carries a final name.
// Returns the path written, or an empty text when all three writes failed.
Text SavePhoto(const PhotoToSave& photo, NamingScheme scheme, const Bytes& image);

// Removes the temporary files a killed run left in the folder; returns how many.
int RemoveLeftoverTemporaries(const Text& folder);

}  // namespace ovx
