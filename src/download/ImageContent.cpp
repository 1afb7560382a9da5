#include "download/ImageContent.h"

#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The address's last path segment in lower case, without query and fragment.
std::string LastSegment(const Text& address) {
    const Text path = ToLowerCase(WithoutQueryAndFragment(address));
    const std::string_view p = path.view();
    const std::size_t slash = p.rfind('/');
    return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

Text PictureExtensionOf(std::string_view head) {
    using namespace std::string_view_literals;
    if (StartsWith(head, "\xFF\xD8\xFF"sv)) return Text(".jpg");
    if (StartsWith(head, "GIF87a"sv) || StartsWith(head, "GIF89a"sv)) return Text(".gif");
    if (StartsWith(head, "\x89PNG\r\n\x1A\n"sv)) return Text(".png");
    if (head.size() >= 12 && StartsWith(head, "RIFF"sv) && head.substr(8, 4) == "WEBP"sv)
        return Text(".webp");
    return Text();
}

bool IsIsoMedia(std::string_view head) {
    return head.size() >= 8 && head.substr(4, 4) == "ftyp";
}

Text PictureExtensionOfAddress(const Text& address) {
    const std::string segment = LastSegment(address);
    for (const char* extension : {".gif", ".png", ".webp"}) {
        if (EndsWith(segment, extension)) return Text(extension);
    }
    return Text(".jpg");
}

Text VideoExtensionOfAddress(const Text& address) {
    return EndsWith(LastSegment(address), ".mp4") ? Text(".mp4") : Text(".mov");
}

}  // namespace ovx
