#include "download/PhotoNaming.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "runtime/CodePage.h"
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

// Writes the bytes to a new hidden temporary file in the folder, makes them reach the disk and
// only then renames the file to `name`, so that a power cut never leaves a final name (or a
// recorded photo) without its bytes. Returns the final path, or an empty text when the name is
// refused or any step fails; a failed try leaves no file behind.
Text WriteIntoPlace(const Text& folder, const Text& name, const Bytes& bytes) {
    const Text safe = SafeNameComponent(name, OverLongName::Refuse);
    if (safe.empty()) return Text();
    const Text target = JoinPath(folder, safe);

    fs::path temporary;
    int err = EEXIST;
    for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
        temporary = ToPath(JoinPath(folder, TemporaryName()));
        // Created here or not at all: never an existing file, never a link's target.
        err = WriteNewFileDurably(temporary, bytes);
    }
    if (err != 0) return Text();
    std::error_code ec;
    fs::rename(temporary, ToPath(target), ec);
    if (ec) {
        fs::remove(temporary, ec);
        return Text();
    }
    // The new name itself; a folder that cannot be synced still holds the photo.
    SyncFolder(ToPath(folder.empty() ? Text(".") : folder));
    return target;
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

Text BuildPhotoName(const PhotoToSave& photo, NamingScheme scheme, bool /*secondPass*/) {
    // Both passes test for an existing file where the scheme does: an untested second pass
    // would overwrite another photo of the same second.
    const Text open("("), close(")");
    const Text& number = photo.number;
    switch (scheme) {
        case NamingScheme::CaptionNumber:
            return photo.caption + open + number + close + photo.extension;
        case NamingScheme::NumberCaption:
            return open + number + close + photo.caption + photo.extension;
        case NamingScheme::CaptionDate: {
            const Text dated = photo.caption + open + photo.dateText + close + photo.extension;
            if (!NameTaken(photo.folder, dated)) return dated;
            return "（"_t + number + "）"_t + dated;
        }
        case NamingScheme::Caption:
        default: {
            const Text caption = photo.caption.empty() ? open + number + close : photo.caption;
            const Text plain = caption + photo.extension;
            if (!NameTaken(photo.folder, plain)) return plain;
            return caption + open + number + close + photo.extension;
        }
    }
}

Text SavePhoto(const PhotoToSave& photo, NamingScheme scheme, const Bytes& image) {
    Text path = WriteIntoPlace(photo.folder, BuildPhotoName(photo, scheme, false), image);
    if (!path.empty()) return path;
    PhotoToSave reduced = photo;
    reduced.caption = CjkOnly(photo.caption);
    path = WriteIntoPlace(photo.folder, BuildPhotoName(reduced, scheme, true), image);
    if (!path.empty()) return path;
    return WriteIntoPlace(photo.folder, photo.photoId + photo.extension, image);
}

Text SaveBeside(const Text& photoPath, const Text& extension, const Bytes& bytes) {
    const std::string_view path = photoPath.view();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return Text();
    std::string_view name = path.substr(slash + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return WriteIntoPlace(Text(path.substr(0, slash)), Text(name) + extension, bytes);
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
