#pragma once
// Photo file naming and saving: captions cleaned for file names, the four naming schemes with
// their fallbacks, and the save itself (a hidden temporary file renamed into place).

#include <cstddef>
#include <vector>

#include "catalogue/EngineView.h"
#include "runtime/Text.h"

namespace ovx {

class NewFile;
class RegexObject;

// Removes ":", "\", "/", "?", "*", "<", ">", "|", "：", "、", "？", "。", "（", "）", "·",
// "！", "，", ".", " " and "&", whole characters only. Also used for folder names.
Text CleanNameText(const Text& text);
// Only the characters U+4E00..U+9FA5 of the text, in order.
Text CjkOnly(const Text& text);
// The caption as names use it: double quotes removed, cleaned, every space (ASCII and
// full-width) removed.
Text PrepareCaption(const Text& captionMemberText);

// The longest file or folder name Linux file systems take, in bytes of UTF-8.
inline constexpr std::size_t kMaxNameBytes = 255;

// What SafeNameComponent does with a name longer than kMaxNameBytes.
enum class OverLongName {
    Cut,     // cut at a character boundary (folder names)
    Refuse,  // refuse it (file names: the next fallback name is tried)
};

// One file or folder name as the file system can take it, so that nothing built from service
// texts can reach outside its folder: "/" and control bytes (below 0x20) are dropped, "." and
// ".." are refused, and the length is bounded as `overLong` says. An empty result means the
// name is refused.
Text SafeNameComponent(const Text& name, OverLongName overLong);

// Joins a folder and a name with "/".
Text JoinPath(const Text& folder, const Text& name);

struct PhotoToSave {
    Text folder;     // the album folder
    Text caption;    // prepared
    Text number;     // photo number: sequence number or page-index text
    Text dateText;   // upload date-time as ToText gives it
    Text extension;  // with its dot: ".jpg", ".gif", ".png", ".webp"
    Text photoId;
};

// A scheme's names for a photo, in the order they are tried: its name, then the form it takes
// when that name is taken (caption + number for 内容, the number in front for 内容加日期; the
// numbered schemes have none).
std::vector<Text> PhotoNameChoices(const PhotoToSave& photo, NamingScheme scheme);

// The name of the first or second pass (file name only, no folder), for a scheme. Where a
// scheme tests for an existing file (content, content + date) the test is made in `folder`,
// in both passes; the second pass differs only in the caption the caller gives it.
Text BuildPhotoName(const PhotoToSave& photo, NamingScheme scheme, bool secondPass);

// Creates a new hidden temporary file in the folder (exclusively: never an existing file or a
// link); 0 or the errno.
int CreatePhotoTemporary(const Text& folder, NewFile& file);

// Where a finished temporary went.
struct PlacedFile {
    Text path;                    // empty when no name could be given
    bool alreadyThere = false;    // a file with the same bytes carried the name: no second copy
};

// Gives a finished (synced, closed) temporary of the photo's folder its name: the first-pass
// names, else the second pass's (caption reduced to its Chinese characters), else the photo
// id. A name is never taken from a file that holds other bytes: the next choice is tried, and
// after a pass's last choice the same name with "_2", "_3"… before the extension. A file with
// the same bytes under a name is this photo: the temporary is removed and that file's path
// returned. The temporary is gone afterwards either way. The folder is not synced: the caller
// syncs it (SyncFolder) before it records the photo, once for as many photos as it likes.
PlacedFile PlacePhoto(const PhotoToSave& photo, NamingScheme scheme, NewFile& temporary);
// The same beside a photo's path: its name with `extension` in place of its own (a live
// photo's video), then "_2", "_3"….
PlacedFile PlaceBeside(const Text& photoPath, const Text& extension, NewFile& temporary);
// The path PlacePhoto gives the photo when nothing carries its names yet.
Text FirstPhotoPath(const PhotoToSave& photo, NamingScheme scheme);

// Writes the bytes to a temporary, places it as PlacePhoto does and syncs the folder. Returns
// the path, or an empty text when all three passes failed.
Text SavePhoto(const PhotoToSave& photo, NamingScheme scheme, const Bytes& image);

// Saves bytes beside a saved photo as PlaceBeside does, the folder synced. Returns the path written, or an empty
// text on failure.
Text SaveBeside(const Text& photoPath, const Text& extension, const Bytes& bytes);

// Whether a file name is one of SavePhoto's temporaries (".ovx-" ... ".part").
bool IsPhotoTemporaryName(const Text& name);

// Removes the temporary files a killed run left in the folder; returns how many.
int RemoveLeftoverTemporaries(const Text& folder);

}  // namespace ovx
