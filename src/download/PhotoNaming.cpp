#include "download/PhotoNaming.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/DurableFile.h"
#include "runtime/Files.h"
#include "runtime/TextOps.h"
#include "web/RegexObject.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;

const Text kTemporaryPrefix(".ovx-");
const Text kTemporarySuffix(".part");

// Characters a file name loses, removed in this order.
const std::vector<Text>& RemovedCharacters() {
    static const std::vector<Text> removed = {
        Text(":"), Text("\\"), Text("/"), Text("?"), Text("*"), Text("<"), Text(">"),
        Text("|"), "："_t,     "、"_t,    "？"_t,    "。"_t,    "（"_t,    "）"_t,
        "·"_t,     "！"_t,     "，"_t,    Text("."), Text(" "), Text("&"),
    };
    return removed;
}

// The UTF-8 prefix of at most `limit` bytes that ends on a character boundary.
std::string CutUtf8(const std::string& utf8, std::size_t limit) {
    if (utf8.size() <= limit) return utf8;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    return utf8.substr(0, end);
}

Text TemporaryName() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(generator()));
    return kTemporaryPrefix + Text(hex) + kTemporarySuffix;
}

// True when a file (or anything else) already carries the name in the folder.
bool NameTaken(const Text& folder, const Text& name) {
    Text safe = SafeNameComponent(name, OverLongName::Refuse);
    return !safe.empty() && FileExists(JoinPath(folder, safe));
}

// Suffixed forms of a pass's last name tried before the pass gives up.
constexpr int kMostSuffixes = 1000;

// `name` with "_k" before its extension.
Text Suffixed(const Text& name, const Text& extension, int k) {
    const std::string_view n = name.view();
    const std::string_view e = extension.view();
    const bool hasExtension = n.size() > e.size() && n.substr(n.size() - e.size()) == e;
    const std::string_view stem = hasExtension ? n.substr(0, n.size() - e.size()) : n;
    return Text(stem) + Text("_") + ToText(k) + (hasExtension ? extension : Text());
}

enum class Tried { Placed, AlreadyThere, Refused };

// One pass: the choices in order, then the last one suffixed; never over other bytes.
Tried PlaceUnder(const Text& folder, const std::vector<Text>& choices, const Text& extension,
                 NewFile& temporary, Text& path) {
    if (choices.empty()) return Tried::Refused;
    const std::size_t count = choices.size() + kMostSuffixes - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const Text name = i < choices.size()
                              ? choices[i]
                              : Suffixed(choices.back(), extension,
                                         static_cast<int>(i - choices.size()) + 2);
        const Text safe = SafeNameComponent(name, OverLongName::Refuse);
        if (safe.empty()) return Tried::Refused;
        const Text target = JoinPath(folder, safe);
        const int err = RenameWithoutReplacing(temporary.Path(), ToPath(target));
        if (err == 0) {
            // The name reaches the disk with the folder's next sync (the caller's).
            temporary.Release();
            path = target;
            return Tried::Placed;
        }
        if (err != EEXIST) return Tried::Refused;
        if (SameFileContents(temporary.Path(), ToPath(target))) {
            temporary.Remove();
            path = target;
            return Tried::AlreadyThere;
        }
    }
    return Tried::Refused;
}

PlacedFile PlaceThrough(const Text& folder, const std::vector<std::vector<Text>>& passes,
                        const Text& extension, NewFile& temporary) {
    PlacedFile placed;
    for (const std::vector<Text>& choices : passes) {
        const Tried tried = PlaceUnder(folder, choices, extension, temporary, placed.path);
        if (tried == Tried::Refused) continue;
        placed.alreadyThere = tried == Tried::AlreadyThere;
        return placed;
    }
    temporary.Remove();
    return placed;
}

std::vector<std::vector<Text>> PhotoPasses(const PhotoToSave& photo, NamingScheme scheme) {
    PhotoToSave reduced = photo;
    reduced.caption = CjkOnly(photo.caption);
    return {PhotoNameChoices(photo, scheme), PhotoNameChoices(reduced, scheme),
            {photo.photoId + photo.extension}};
}

// The photo's folder and its name without the extension.
bool SplitPhotoPath(const Text& photoPath, Text& folder, Text& stem) {
    const std::string_view path = photoPath.view();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return false;
    std::string_view name = path.substr(slash + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    folder = Text(path.substr(0, slash));
    stem = Text(name);
    return true;
}

// The bytes in a new temporary of the folder, synced and closed; false when any step failed.
bool WriteTemporary(const Text& folder, const Bytes& bytes, NewFile& file) {
    return CreatePhotoTemporary(folder, file) == 0 && file.Write(bytes.data(), bytes.size()) == 0 &&
           file.Finish() == 0;
}

}  // namespace

Text CleanNameText(const Text& text) {
    Text out = text;
    for (const Text& removed : RemovedCharacters()) out = ReplaceText(out, removed);
    return out;
}

Text CjkOnly(const Text& text) {
    RegexObject regex;
    if (text.empty() || !regex.Create(Text("[\\u4e00-\\u9fa5]"), text, false, true)) return Text();
    Text out;
    const int count = regex.MatchCount();
    for (int i = 1; i <= count; ++i) out += regex.MatchText(i);
    return out;
}

Text PrepareCaption(const Text& captionMemberText) {
    return RemoveAllSpaces(CleanNameText(ReplaceText(captionMemberText, Text("\""))));
}

Text SafeNameComponent(const Text& name, OverLongName overLong) {
    std::string kept;
    kept.reserve(name.size());
    for (char c : name.bytes()) {
        // Neither byte can be part of a double-byte character (trail bytes are 0x30 and up).
        if (static_cast<unsigned char>(c) >= 0x20 && c != '/') kept.push_back(c);
    }
    Text out(std::move(kept));
    std::string utf8 = LocalToUtf8(out);
    if (utf8.size() > kMaxNameBytes) {
        if (overLong == OverLongName::Refuse) return Text();
        // GB18030 holds every character, so the cut UTF-8 converts back to the same length.
        out = Utf8ToLocal(CutUtf8(utf8, kMaxNameBytes));
    }
    if (out == Text(".") || out == Text("..")) return Text();
    return out;
}

Text JoinPath(const Text& folder, const Text& name) {
    if (folder.empty()) return name;
    if (folder.bytes().back() == '/') return folder + name;
    return folder + Text("/") + name;
}

std::vector<Text> PhotoNameChoices(const PhotoToSave& photo, NamingScheme scheme) {
    const Text open("("), close(")");
    const Text& number = photo.number;
    switch (scheme) {
        case NamingScheme::CaptionNumber:
            return {photo.caption + open + number + close + photo.extension};
        case NamingScheme::NumberCaption:
            return {open + number + close + photo.caption + photo.extension};
        case NamingScheme::CaptionDate: {
            const Text dated = photo.caption + open + photo.dateText + close + photo.extension;
            return {dated, "（"_t + number + "）"_t + dated};
        }
        case NamingScheme::Caption:
        default: {
            const Text caption = photo.caption.empty() ? open + number + close : photo.caption;
            return {caption + photo.extension, caption + open + number + close + photo.extension};
        }
    }
}

Text BuildPhotoName(const PhotoToSave& photo, NamingScheme scheme, bool /*secondPass*/) {
    // Both passes test for an existing file where the scheme does: an untested second pass
    // would overwrite another photo of the same second.
    const std::vector<Text> choices = PhotoNameChoices(photo, scheme);
    if (choices.size() > 1 && NameTaken(photo.folder, choices.front())) return choices[1];
    return choices.front();
}

int CreatePhotoTemporary(const Text& folder, NewFile& file) {
    int err = EEXIST;
    for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
        // Created here or not at all: never an existing file, never a link's target.
        err = file.Create(ToPath(JoinPath(folder, TemporaryName())));
    }
    return err;
}

PlacedFile PlacePhoto(const PhotoToSave& photo, NamingScheme scheme, NewFile& temporary) {
    return PlaceThrough(photo.folder, PhotoPasses(photo, scheme), photo.extension, temporary);
}

PlacedFile PlaceBeside(const Text& photoPath, const Text& extension, NewFile& temporary) {
    Text folder, stem;
    if (!SplitPhotoPath(photoPath, folder, stem)) {
        temporary.Remove();
        return {};
    }
    return PlaceThrough(folder, {{stem + extension}}, extension, temporary);
}

Text FirstPhotoPath(const PhotoToSave& photo, NamingScheme scheme) {
    for (const std::vector<Text>& choices : PhotoPasses(photo, scheme)) {
        const Text safe = SafeNameComponent(choices.front(), OverLongName::Refuse);
        if (!safe.empty()) return JoinPath(photo.folder, safe);
    }
    return Text();
}

Text SavePhoto(const PhotoToSave& photo, NamingScheme scheme, const Bytes& image) {
    NewFile file;
    if (!WriteTemporary(photo.folder, image, file)) return Text();
    const Text path = PlacePhoto(photo, scheme, file).path;
    // A folder that cannot be synced still holds the photo.
    if (!path.empty()) SyncFolder(ToPath(photo.folder.empty() ? Text(".") : photo.folder));
    return path;
}

Text SaveBeside(const Text& photoPath, const Text& extension, const Bytes& bytes) {
    Text folder, stem;
    NewFile file;
    if (!SplitPhotoPath(photoPath, folder, stem) || !WriteTemporary(folder, bytes, file))
        return Text();
    const Text path = PlaceBeside(photoPath, extension, file).path;
    if (!path.empty()) SyncFolder(ToPath(folder));
    return path;
}

bool IsPhotoTemporaryName(const Text& name) {
    const std::string& s = name.bytes();
    const std::string& prefix = kTemporaryPrefix.bytes();
    const std::string& suffix = kTemporarySuffix.bytes();
    return s.size() > prefix.size() + suffix.size() && s.compare(0, prefix.size(), prefix) == 0 &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int RemoveLeftoverTemporaries(const Text& folder) {
    int removed = 0;
    std::error_code ec;
    fs::directory_iterator it(ToPath(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (!IsPhotoTemporaryName(FromPath(it->path().filename()))) continue;
        std::error_code typeError;
        const fs::file_status status = it->symlink_status(typeError);
        if (typeError || !(fs::is_regular_file(status) || fs::is_symlink(status))) continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError)) ++removed;
    }
    return removed;
}

}  // namespace ovx
